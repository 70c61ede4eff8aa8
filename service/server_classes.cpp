#include "server_classes.h"

namespace tandem {

// FolderWatcher and TnStorageManager are entered here, each as
// {CLSID_..., &MakeClassObject<C...>, its registration script}, when their
// implementations join the program.
std::vector<ServerClass> ServerClasses() { return {}; }

std::vector<ClassObjectRegistration> RegisterClassObjects(const std::vector<ServerClass>& classes) {
    std::vector<ClassObjectRegistration> registrations;
    for (const ServerClass& entry : classes)
        registrations.push_back(RegisterClassObject(entry.clsid, entry.makeClassObject().get()));
    return registrations;
}

}  // namespace tandem
