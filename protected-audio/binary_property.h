#pragma once

#include <windows.h>

#include "VltLib.h"
#include "ZephCs.h"
#include "com/com_object.h"
#include "com_ptr.h"

namespace tandem::protected_audio {

// A picture of the library as the framework sees it. An instance made
// through the class factory wraps nothing and fails every call.
class ZephCsVltFileBinaryProperty : public ComObjectRoot, public IZephCsBinaryProperty {
public:
    using Interfaces = InterfaceTable<IZephCsBinaryProperty>;

    ZephCsVltFileBinaryProperty() = default;
    explicit ZephCsVltFileBinaryProperty(ComPtr<IVltBinary> binary) : binary_(std::move(binary)) {}

    STDMETHODIMP GetProperty(LONG id, VARIANT* value) override;
    STDMETHODIMP PutProperty(LONG id, VARIANT value) override;
    STDMETHODIMP GetData(LONG* size, BYTE** data) override;
    STDMETHODIMP PutData(LONG size, BYTE* data) override;
    STDMETHODIMP WriteToFile(BSTR fileName) override;
    STDMETHODIMP ReadFromFile(BSTR fileName) override;

private:
    ComPtr<IVltBinary> binary_;
};

// A framework picture handed to the library.
class ZephCsVltPcBinaryProperty : public ComObjectRoot, public IVltBinary {
public:
    using Interfaces = InterfaceTable<IVltBinary>;

    explicit ZephCsVltPcBinaryProperty(ComPtr<IZephCsBinaryProperty> binary) : binary_(std::move(binary)) {}

    STDMETHODIMP GetProperty(LONG id, VARIANT* value) override;
    STDMETHODIMP PutProperty(LONG id, VARIANT value) override;
    STDMETHODIMP GetData(LONG* size, BYTE** data) override;
    STDMETHODIMP PutData(LONG size, BYTE* data) override;
    STDMETHODIMP WriteToFile(BSTR fileName) override;
    STDMETHODIMP ReadFromFile(BSTR fileName) override;

private:
    ComPtr<IZephCsBinaryProperty> binary_;
};

// Picture-type codes and MIME types; a MIME type without a row is code 1.
LONG PictureCodeOf(BSTR mimeType) noexcept;
const wchar_t* MimeTypeOf(LONG code) noexcept;

}  // namespace tandem::protected_audio
