// A folder watcher called from another apartment, through the proxy/stub
// code of MarloZephFw.dll as registered by regsvr32.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "MarloZephFw.h"
#include "bstr.h"
#include "com_ptr.h"
#include "error.h"
#include "fake_folder_watcher.h"
#include "module_test_support.h"
#include "safe_array.h"

using namespace tandem;
using namespace tandem::typelibs::test;

namespace {

class Apartment {
public:
    explicit Apartment(COINIT model) { CheckHr(CoInitializeEx(nullptr, model)); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() { CoUninitialize(); }
};

struct Observed {
    HRESULT hr = E_UNEXPECTED;
    LONG startResult = 0;
    LONG registerResult = 0;
    LONG statusResult = 0;
    std::wstring folder;
    std::wstring owner;
    LONG behavior = 0;
    LONG busy = 0;
    std::vector<LONG> propIds;
    std::vector<std::wstring> propValues;
};

void MakeCalls(IFolderWatcher2* watcher, Observed& seen) {
    CheckHr(watcher->StartMonitoring(Bstr(L"player").get(), Bstr(L"C:\\Music").get(), 1, &seen.startResult));
    SafeArray ids(NewLongArray({5, 7, 11}));
    SafeArray values(NewBstrArray({L"alpha", L"", L"gamma"}));
    CheckHr(watcher->RegisterFolder2(Bstr(L"viewer").get(), Bstr(L"D:\\Photos").get(), 2, ids.get(), values.get(),
                                     &seen.registerResult));
    Bstr folder, owner;
    SafeArray outIds, outValues;
    CheckHr(watcher->GetStatus2(3, folder.put(), owner.put(), &seen.behavior, &seen.busy, outIds.put(),
                                outValues.put(), &seen.statusResult));
    seen.folder = folder.str();
    seen.owner = owner.str();
    seen.propIds = LongsOf(outIds.get());
    seen.propValues = StringsOf(outValues.get());
}

// Runs on a thread of its own, in a single-threaded apartment.
Observed CallThrough(IStream* marshalled) noexcept {
    Observed seen;
    seen.hr = CatchHr([&] {
        Apartment apartment(COINIT_APARTMENTTHREADED);
        ComPtr<IFolderWatcher2> proxy;
        CheckHr(CoGetInterfaceAndReleaseStream(marshalled, IID_IFolderWatcher2, proxy.put_void()));
        MakeCalls(proxy.get(), seen);
    });
    return seen;
}

TEST(CrossApartmentCalls, CarryStringsNumbersAndArraysBothWays) {
    ExclusiveRegistration registration(BuiltModulePath(L"MarloZephFw.dll"));
    ASSERT_EQ(RunRegsvr32(L"", registration.modulePath()), 0u);
    Apartment apartment(COINIT_MULTITHREADED);
    FakeFolderWatcher watcher;

    ComPtr<IStream> stream;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IFolderWatcher2, &watcher, stream.put()), S_OK);
    EXPECT_NE(GetModuleHandleW(L"MarloZephFw.dll"), nullptr) << "the stub does not come from the module";
    Observed seen;
    std::thread caller([&seen, marshalled = stream.detach()] { seen = CallThrough(marshalled); });
    caller.join();
    CoDisconnectObject(&watcher, 0);

    ASSERT_EQ(seen.hr, S_OK);
    EXPECT_EQ(watcher.started.appname, L"player");
    EXPECT_EQ(watcher.started.folder, L"C:\\Music");
    EXPECT_EQ(watcher.started.behavior, 1);
    EXPECT_EQ(seen.startResult, 2);

    EXPECT_EQ(watcher.registered.appname, L"viewer");
    EXPECT_EQ(watcher.registered.folder, L"D:\\Photos");
    EXPECT_EQ(watcher.registered.behavior, 2);
    EXPECT_EQ(watcher.registered.propIds, (std::vector<LONG>{5, 7, 11}));
    EXPECT_EQ(watcher.registered.propValues, (std::vector<std::wstring>{L"alpha", L"", L"gamma"}));
    EXPECT_EQ(seen.registerResult, 3);

    EXPECT_EQ(seen.folder, L"D:\\Photos");
    EXPECT_EQ(seen.owner, L"viewer");
    EXPECT_EQ(seen.behavior, 2);
    EXPECT_EQ(seen.busy, 1);
    EXPECT_EQ(seen.propIds, (std::vector<LONG>{4, 9}));
    EXPECT_EQ(seen.propValues, (std::vector<std::wstring>{L"x", L"y"}));
    EXPECT_EQ(seen.statusResult, 3);
    EXPECT_EQ(watcher.references(), 0u);
}

}  // namespace
