#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "com/class_object_registration.h"
#include "automation_context.h"
#include "com/class_factory.h"
#include "com_ptr.h"

namespace tandem {

// A class clients create in this server.
struct ServerClass {
    CLSID clsid;
    std::function<ComPtr<IUnknown>()> makeClassObject;
    // The class's registration script (type "REGISTRY") in the program's resources.
    UINT registryResource;
};

// The server's creatable classes, FolderWatcher and TnStorageManager, whose
// objects work on automation. Registration needs no context; making class
// objects without one fails with E_UNEXPECTED.
std::vector<ServerClass> ServerClasses(AutomationContext* automation = nullptr);

// All suspended, so no client gets in before every class is there; resume
// them once the registrations are kept.
std::vector<ClassObjectRegistration> RegisterClassObjects(const std::vector<ServerClass>& classes);

template <class T, class... Context>
ComPtr<IUnknown> MakeClassObject(Context&... context) {
    auto factory = MakeComObject<ClassFactory<T, Context...>>(context...);
    return ComPtr<IUnknown>(static_cast<IClassFactory*>(factory.get()));
}

}  // namespace tandem
