// The controller as applications meet it: created through its registration
// (regsvr32), calling the stand-in database service in its own process.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

#include "ZephCdbCtrl.h"
#include "bstr.h"
#include "cdb_service_stand_in.h"
#include "com_ptr.h"
#include "registry.h"
#include "strings.h"
#include "testing/com_apartment.h"

namespace tandem::cdbctrl::test {
namespace {

constexpr HRESULT kNotSupported = static_cast<HRESULT>(0x80043001);
constexpr HRESULT kStarting = static_cast<HRESULT>(0x80042201);
constexpr HRESULT kStopping = static_cast<HRESULT>(0x80042202);
constexpr HRESULT kStopped = static_cast<HRESULT>(0x80042203);

ComPtr<IZephCdbControler> CreateController() {
    ComPtr<IZephCdbControler> controller;
    EXPECT_EQ(CoCreateInstance(CLSID_ZephCdbControler, nullptr, CLSCTX_INPROC_SERVER, IID_IZephCdbControler,
                               reinterpret_cast<void**>(controller.put())),
              S_OK);
    return controller;
}

// One DatabaseControl call's arguments, owned.
struct Call {
    Bstr actor{L"installer"};
    Bstr command{L"Attach"};
    std::vector<Bstr> params;
    Bstr target{L"Library"};
    Bstr subtarget{L"Music"};

    HRESULT On(IZephCdbControler* controller, std::optional<long> size = std::nullopt) {
        std::vector<BSTR> list;
        for (Bstr& p : params) list.push_back(p.get());
        return controller->DatabaseControl(actor.get(), command.get(), size.value_or(static_cast<long>(list.size())),
                                           list.empty() ? nullptr : list.data(), target.get(), subtarget.get());
    }
};

class Controller : public ::testing::Test {
protected:
    tandem::test::ComApartment apartment_;
};

TEST_F(Controller, ServiceAbsentGivesEFail) {
    CdbServiceStandIn standIn(false);
    Call call;
    EXPECT_EQ(call.On(CreateController().get()), E_FAIL);
}

TEST_F(Controller, AnswersByServiceStateAndCreatesNoObjectUnlessRunning) {
    CdbServiceStandIn standIn;
    ComPtr<IZephCdbControler> controller = CreateController();
    Call call;
    EXPECT_EQ(call.On(controller.get()), kStopped);
    standIn.Start();
    standIn.Hold(SERVICE_START_PENDING);
    EXPECT_EQ(call.On(controller.get()), kStarting);
    standIn.Hold(SERVICE_STOP_PENDING);
    EXPECT_EQ(call.On(controller.get()), kStopping);
    standIn.Release();
    standIn.Pause();
    EXPECT_EQ(call.On(controller.get()), E_FAIL);
    EXPECT_EQ(standIn.Created(), 0u);
    standIn.Continue();
    EXPECT_EQ(call.On(controller.get()), S_OK);
    EXPECT_EQ(standIn.Created(), 1u);
    EXPECT_EQ(standIn.Calls(), 1u);
    standIn.Stop();
}

TEST_F(Controller, ForwardsArgumentsUnchangedAndTranslatesTwoResults) {
    CdbServiceStandIn standIn;
    standIn.Start();
    ComPtr<IZephCdbControler> controller = CreateController();

    Call several;
    several.params = {Bstr(L"one"), Bstr(L"two words"), Bstr(L"")};
    EXPECT_EQ(several.On(controller.get()), S_OK);
    EXPECT_EQ(standIn.LastCall(), (std::vector<std::wstring>{L"s:installer", L"s:Attach", L"i:3", L"s:one",
                                                             L"s:two words", L"s:", L"s:Library", L"s:Music"}));

    Call none;
    none.actor = Bstr();
    none.subtarget = Bstr();
    EXPECT_EQ(none.On(controller.get()), S_OK);
    EXPECT_EQ(standIn.LastCall(),
              (std::vector<std::wstring>{L"n:", L"s:Attach", L"i:0", L"s:Library", L"n:"}));

    standIn.SetResult(S_FALSE);
    EXPECT_EQ(none.On(controller.get()), S_FALSE);
    standIn.SetResult(static_cast<HRESULT>(0x8004201C));
    EXPECT_EQ(none.On(controller.get()), kStarting);
    standIn.SetResult(static_cast<HRESULT>(0x80042104));
    EXPECT_EQ(none.On(controller.get()), kStopping);
    standIn.SetResult(static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(none.On(controller.get()), static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(standIn.Calls(), 6u);
    standIn.Stop();
}

// Made in this apartment, called from a single-threaded one through the
// module's own proxy, and from another process.
TEST_F(Controller, ServesOtherApartmentsAndProcesses) {
    CdbServiceStandIn standIn;
    standIn.Start();
    ComPtr<IZephCdbControler> controller = CreateController();
    ComPtr<IStream> stream;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IZephCdbControler, controller.get(), stream.put()), S_OK);
    HRESULT fromOtherApartment = E_UNEXPECTED;
    bool usedProxy = false;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            ComPtr<IZephCdbControler> proxy;
            if (SUCCEEDED(CoGetInterfaceAndReleaseStream(stream.detach(), IID_IZephCdbControler,
                                                         reinterpret_cast<void**>(proxy.put())))) {
                usedProxy = proxy.get() != controller.get();
                Call call;
                call.params = {Bstr(L"apartment")};
                fromOtherApartment = call.On(proxy.get());
            }
        }
        CoUninitialize();
    }).join();
    EXPECT_TRUE(usedProxy);
    EXPECT_EQ(fromOtherApartment, S_OK);
    EXPECT_EQ(standIn.LastCall()[3], L"s:apartment");

    EXPECT_EQ(RunBuilt(L"cdbctrl_client.exe", L"client Detach Library Photos p1 p2"), 0u);
    EXPECT_EQ(standIn.LastCall(), (std::vector<std::wstring>{L"s:client", L"s:Detach", L"i:2", L"s:p1", L"s:p2",
                                                             L"s:Library", L"s:Photos"}));
    standIn.SetResult(static_cast<HRESULT>(0x80042104));
    EXPECT_EQ(static_cast<HRESULT>(RunBuilt(L"cdbctrl_client.exe", L"client Detach Library Photos")), kStopping);
    standIn.Stop();
}

TEST_F(Controller, AccessAndMediaCommandsAreNotSupported) {
    CdbServiceStandIn standIn;
    ComPtr<IZephCdbControler> controller = CreateController();
    Bstr actor(L"a"), command(L"c"), param(L"p");
    BSTR list[] = {param.get()};
    EXPECT_EQ(controller->AccessGuard(actor.get(), command.get(), 1, list), kNotSupported);
    EXPECT_EQ(controller->MediaControl(actor.get(), command.get(), 1, list, nullptr, nullptr), kNotSupported);
    EXPECT_EQ(controller->MediaControl(nullptr, nullptr, -5, nullptr, nullptr, nullptr), kNotSupported);
}

TEST_F(Controller, RefusesAParameterCountItCannotRead) {
    CdbServiceStandIn standIn;
    standIn.Start();
    ComPtr<IZephCdbControler> controller = CreateController();
    Call call;
    EXPECT_EQ(call.On(controller.get(), -1), E_INVALIDARG);
    EXPECT_EQ(call.On(controller.get(), 2), E_INVALIDARG);
    EXPECT_EQ(standIn.Created(), 0u);
    standIn.Stop();
}

TEST(ControllerRegistration, Regsvr32WritesAndRemovesEveryEntry) {
    const std::wstring clsid = GuidToString(CLSID_ZephCdbControler);
    const std::wstring entries[] = {
        L"CLSID\\" + clsid + L"\\InprocServer32",
        L"ZephCdbCtrl.ZephCdbControler.1",
        L"ZephCdbCtrl.ZephCdbControler",
        L"AppID\\{1672D24B-C79F-4B9F-86E3-22E2137DA763}",
        L"AppID\\ZephCdbCtrl.DLL",
        L"TypeLib\\" + GuidToString(LIBID_ZephCdbCtrlLib) + L"\\1.0",
        L"Interface\\" + GuidToString(IID_IZephCdbControler) + L"\\ProxyStubClsid32",
    };
    {
        CdbServiceStandIn standIn(false);
        for (const std::wstring& key : entries) EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
        RegKey server = OpenKey(HKEY_CLASSES_ROOT, entries[0]);
        EXPECT_EQ(ReadString(server.get(), L"ThreadingModel"), L"Both");
        EXPECT_EQ(ReadString(OpenKey(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid).get(), nullptr),
                  L"ZephCdbControler Class");
        EXPECT_EQ(ReadString(OpenKey(HKEY_CLASSES_ROOT, entries[4]).get(), L"AppID"),
                  L"{1672D24B-C79F-4B9F-86E3-22E2137DA763}");
    }
    for (const std::wstring& key : entries) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
}

}  // namespace
}  // namespace tandem::cdbctrl::test
