#pragma once

#include <windows.h>

#include "ZephCdbCtrl.h"
#include "com/com_object.h"

namespace tandem::cdbctrl {

// Forwards database commands to the common database service's command
// object once the service is running; keeps nothing between calls.
class CZephCdbControler : public ComObjectRoot, public IZephCdbControler {
public:
    using Interfaces = InterfaceTable<IZephCdbControler>;

    STDMETHODIMP AccessGuard(BSTR actor, BSTR command, long sizeParams, BSTR* paramList) override;
    STDMETHODIMP DatabaseControl(BSTR actor, BSTR command, long sizeParams, BSTR* paramList, BSTR target,
                                 BSTR subtarget) override;
    STDMETHODIMP MediaControl(BSTR actor, BSTR command, long sizeParams, BSTR* paramList, BSTR target,
                              BSTR subtarget) override;
};

}  // namespace tandem::cdbctrl
