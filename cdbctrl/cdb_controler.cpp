#include "cdb_controler.h"

#include "ZephCdbSvc.h"
#include "com_ptr.h"
#include "database_service.h"

namespace tandem::cdbctrl {
namespace {

HRESULT ForwardToService(BSTR actor, BSTR command, long sizeParams, BSTR* paramList, BSTR target, BSTR subtarget) {
    const HRESULT state = CheckDatabaseService();
    if (state != S_OK) return state;
    ComPtr<IZephCdbCommand> service;
    if (FAILED(CoCreateInstance(CLSID_ZephCdbCommand, nullptr, CLSCTX_ALL, IID_IZephCdbCommand,
                                reinterpret_cast<void**>(service.put()))))
        return E_FAIL;
    return TranslateCommandResult(service->Execute(actor, command, sizeParams, paramList, target, subtarget));
}

}  // namespace

STDMETHODIMP CZephCdbControler::AccessGuard(BSTR, BSTR, long, BSTR*) { return ZEPHCDB_E_NOT_SUPPORTED; }

STDMETHODIMP CZephCdbControler::MediaControl(BSTR, BSTR, long, BSTR*, BSTR, BSTR) {
    return ZEPHCDB_E_NOT_SUPPORTED;
}

STDMETHODIMP CZephCdbControler::DatabaseControl(BSTR actor, BSTR command, long sizeParams, BSTR* paramList,
                                                BSTR target, BSTR subtarget) {
    // The list is handed on, and so read, by the service's proxy: a count it
    // could not read is refused here rather than walked.
    if (sizeParams < 0 || (sizeParams > 0 && !paramList)) return E_INVALIDARG;
    try {
        return ForwardToService(actor, command, sizeParams, paramList, target, subtarget);
    } catch (...) {
        return ZEPHCDB_E_EXCEPTION;
    }
}

}  // namespace tandem::cdbctrl
