#pragma once

#include <windows.h>
#include <oleauto.h>

namespace tandem {

// ISupportErrorInfo answering S_OK for the listed interfaces, S_FALSE for
// any other.
template <class... Interfaces>
class SupportErrorInfoImpl : public ISupportErrorInfo {
public:
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
        return (IsEqualIID(iid, __uuidof(Interfaces)) || ...) ? S_OK : S_FALSE;
    }

protected:
    SupportErrorInfoImpl() = default;
    ~SupportErrorInfoImpl() = default;
};

}  // namespace tandem
