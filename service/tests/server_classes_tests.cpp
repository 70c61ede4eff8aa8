#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "com_ptr.h"
#include "server_classes.h"
#include "testing/com_apartment.h"

using namespace tandem;

namespace {

constexpr CLSID kProbeClass = {0x6C1B3F0E, 0x52D4, 0x4E4B, {0x9A, 0x61, 0x0D, 0x2E, 0x77, 0x45, 0x19, 0xB3}};

class Probe : public ComObjectRoot, public IPersist {
public:
    using Interfaces = InterfaceTable<IPersist>;
    STDMETHODIMP GetClassID(CLSID* id) override {
        *id = kProbeClass;
        return S_OK;
    }
};

HRESULT CreateProbe(ComPtr<IPersist>& probe) {
    return CoCreateInstance(kProbeClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IPersist, probe.put_void());
}

}  // namespace

TEST(ServerClasses, ClassObjectsServeClientsFromResumeUntilRevoked) {
    test::ComApartment apartment;
    {
        auto registrations = RegisterClassObjects({{kProbeClass, [] { return MakeClassObject<Probe>(); }, 0}});
        ASSERT_EQ(registrations.size(), 1u);
        ResumeClassObjects();
        ComPtr<IPersist> probe;
        ASSERT_EQ(CreateProbe(probe), S_OK);
        CLSID id{};
        EXPECT_EQ(probe->GetClassID(&id), S_OK);
        EXPECT_TRUE(IsEqualCLSID(id, kProbeClass));
    }
    ComPtr<IPersist> probe;
    EXPECT_TRUE(FAILED(CreateProbe(probe)));
}
