#pragma once

#include <windows.h>

#include "ZephCdbSvc.h"
#include "com/com_object.h"

namespace tandem::cdbsvc {

// The service's command object: records each call under the service's key
// and answers with the result the tests chose there.
class CZephCdbCommand : public ComObjectRoot, public IZephCdbCommand {
public:
    using Interfaces = InterfaceTable<IZephCdbCommand>;
    static constexpr bool kLocksModule = false;

    CZephCdbCommand();

    STDMETHODIMP GetVersion(long* version) override;
    STDMETHODIMP Execute(BSTR actor, BSTR command, long sizeParams, BSTR* paramList, BSTR target,
                         BSTR subtarget) override;
};

}  // namespace tandem::cdbsvc
