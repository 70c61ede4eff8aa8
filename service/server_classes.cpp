#include "server_classes.h"

#include "MarloTandem.h"
#include "error.h"
#include "folder_watcher.h"
#include "service_resources.h"
#include "tn_storage_manager.h"

namespace tandem {

namespace {

template <class T>
std::function<ComPtr<IUnknown>()> ClassObjectMaker(AutomationContext* automation) {
    return [automation] {
        if (!automation) ThrowHr(E_UNEXPECTED);
        return MakeClassObject<T>(*automation);
    };
}

}  // namespace

std::vector<ServerClass> ServerClasses(AutomationContext* automation) {
    return {{CLSID_FolderWatcher, ClassObjectMaker<CFolderWatcher>(automation), IDR_FOLDERWATCHER_REGISTRY},
            {CLSID_TnStorageManager, ClassObjectMaker<CTnStorageManager>(automation), IDR_TNSTORAGEMANAGER_REGISTRY}};
}

std::vector<ClassObjectRegistration> RegisterClassObjects(const std::vector<ServerClass>& classes) {
    std::vector<ClassObjectRegistration> registrations;
    for (const ServerClass& entry : classes)
        registrations.push_back(RegisterClassObject(entry.clsid, entry.makeClassObject().get()));
    return registrations;
}

}  // namespace tandem
