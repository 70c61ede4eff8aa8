#pragma once

#include <windows.h>

#include "ZephCs.h"
#include "com/com_object.h"
#include "com_ptr.h"

namespace tandem::zephcs {

// Writes the source's picture (property 11187) to the destination's output
// file (property 500) as it is: the stand-in does not scale pictures.
class Converter : public ComObjectRoot, public IZephCsConverter {
public:
    using Interfaces = InterfaceTable<IZephCsConverter>;

    STDMETHODIMP SetConverterCsManager(REFIID iid, IUnknown* manager) override;
    STDMETHODIMP SetConverterSource(REFIID iid, IZephCsMedia* source) override;
    STDMETHODIMP SetConverterDestination(REFIID iid, IZephCsMedia* destination) override;
    STDMETHODIMP SetConverterCallback(REFIID iid, IUnknown* callback) override;
    STDMETHODIMP OpenConverter(LONG option) override;
    STDMETHODIMP CloseConverter() override;

private:
    ComPtr<IZephCsManager> manager_;
    ComPtr<IZephCsMedia> source_;
    ComPtr<IZephCsMedia> destination_;
};

}  // namespace tandem::zephcs
