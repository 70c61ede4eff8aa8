#include "class_object_registration.h"

#include "error.h"

namespace tandem {

ClassObjectRegistration RegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD context, DWORD flags) {
    ClassObjectRegistration registration;
    CheckHr(CoRegisterClassObject(clsid, classObject, context, flags, registration.put()));
    return registration;
}

void ResumeClassObjects() { CheckHr(CoResumeClassObjects()); }

}  // namespace tandem
