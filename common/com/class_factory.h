#pragma once

#include <windows.h>
#include <objbase.h>

#include <tuple>

#include "com_object.h"
#include "module_lock.h"

namespace tandem {

// The class object of COM class T. Its objects are made with references to
// the Context objects the factory was made with (none by default).
template <class T, class... Context>
class ClassFactory : public ComObjectRoot, public IClassFactory {
public:
    using Interfaces = InterfaceTable<IClassFactory>;
    static constexpr bool kLocksModule = false;

    explicit ClassFactory(Context&... context) noexcept : context_(context...) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return std::apply([&](Context&... context) { return CreateComInstance<T>(outer, iid, out, context...); },
                          context_);
    }

    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            LockModule();
        } else {
            UnlockModule();
        }
        return S_OK;
    }

private:
    std::tuple<Context&...> context_;
};

}  // namespace tandem
