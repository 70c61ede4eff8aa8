#pragma once

#include <windows.h>
#include <objbase.h>

#include "class_factory.h"
#include "com_object.h"
#include "unique_resource.h"

namespace tandem {

struct ClassObjectCookieTraits {
    using type = DWORD;
    static type invalid() noexcept { return 0; }
    static bool valid(type cookie) noexcept { return cookie != 0; }
    static void close(type cookie) noexcept { CoRevokeClassObject(cookie); }
};
// A class object registered with COM, revoked with the holder.
using ClassObjectRegistration = UniqueResource<ClassObjectCookieTraits>;

// Registers a local server's class object. Suspended registrations take no
// activations until ResumeClassObjects, so a server registers all of its
// classes before the first client gets in.
ClassObjectRegistration RegisterClassObject(REFCLSID clsid, IUnknown* classObject,
                                            DWORD context = CLSCTX_LOCAL_SERVER,
                                            DWORD flags = REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED);

template <class T>
ClassObjectRegistration RegisterClassFactory(REFCLSID clsid) {
    return RegisterClassObject(clsid, MakeComObject<ClassFactory<T>>().get());
}

void ResumeClassObjects();

}  // namespace tandem
