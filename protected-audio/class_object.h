#pragma once

#include <windows.h>

#include <string>

#include "ZephCs.h"
#include "class_context.h"
#include "com/com_object.h"

namespace tandem::protected_audio {

// Where the module lies: its settings file and handler libraries are beside it.
struct ModuleLocation {
    std::wstring modulePath;
};

// The content-source class: hands out content objects and players for
// protected files. Its state is fixed once it has started.
class ZephCsVltFileClass : public ComObjectRoot, public IZephCsClass {
public:
    using Interfaces = InterfaceTable<IZephCsClass>;

    explicit ZephCsVltFileClass(const ModuleLocation& location) : location_(location) {}

    // Creating the class fails with the start's failure.
    void FinalConstruct() { context_ = StartClass(location_.modulePath); }

    STDMETHODIMP OpenClass(LONG option) override;
    STDMETHODIMP CloseClass() override;
    STDMETHODIMP GetProperty(LONG id, VARIANT* value) override;
    STDMETHODIMP GetObject(REFIID sourceIid, IZephCsMedia* source, REFIID objectIid, void** out) override;
    STDMETHODIMP GetConverter(REFIID sourceIid, IZephCsMedia* source, REFIID destinationIid,
                              IZephCsMedia* destination, REFIID converterIid, void** out) override;
    STDMETHODIMP GetReader(REFIID sourceIid, IZephCsMedia* source, REFIID readerIid, void** out) override;
    STDMETHODIMP GetWriter(REFIID destinationIid, IZephCsMedia* destination, REFIID writerIid, void** out) override;

private:
    HRESULT AdmitConverter(IZephCsMedia& source, IZephCsMedia& destination) const;

    ModuleLocation location_;
    ClassContext context_;
};

}  // namespace tandem::protected_audio
