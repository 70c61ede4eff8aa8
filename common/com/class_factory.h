#pragma once

#include <windows.h>
#include <objbase.h>

#include "com_object.h"
#include "module_lock.h"

namespace tandem {

// The class object of COM class T.
template <class T>
class ClassFactory : public ComObjectRoot, public IClassFactory {
public:
    using Interfaces = InterfaceTable<IClassFactory>;
    static constexpr bool kLocksModule = false;

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return CreateComInstance<T>(outer, iid, out);
    }

    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            LockModule();
        } else {
            UnlockModule();
        }
        return S_OK;
    }
};

}  // namespace tandem
