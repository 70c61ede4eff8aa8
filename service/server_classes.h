#pragma once

#include <windows.h>

#include <vector>

#include "com/class_object_registration.h"
#include "com_ptr.h"

namespace tandem {

// A class clients create in this server.
struct ServerClass {
    CLSID clsid;
    ComPtr<IUnknown> (*makeClassObject)();
    // The class's registration script (type "REGISTRY") in the program's resources.
    UINT registryResource;
};

// The server's creatable classes, FolderWatcher and TnStorageManager.
std::vector<ServerClass> ServerClasses();

// All suspended, so no client gets in before every class is there; resume
// them once the registrations are kept.
std::vector<ClassObjectRegistration> RegisterClassObjects(const std::vector<ServerClass>& classes);

template <class T>
ComPtr<IUnknown> MakeClassObject() {
    auto factory = MakeComObject<ClassFactory<T>>();
    return ComPtr<IUnknown>(static_cast<IClassFactory*>(factory.get()));
}

}  // namespace tandem
