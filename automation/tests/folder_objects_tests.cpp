#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "automation_fixture.h"
#include "bstr.h"
#include "error.h"
#include "safe_array.h"
#include "tn_registered_folder.h"
#include "tn_registered_folder_list.h"

using namespace tandem;

namespace {

SafeArray LongArray(const std::vector<LONG>& values) {
    SafeArray array(SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(values.size())));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        LONG value = values[i];
        CheckHr(SafeArrayPutElement(array.get(), &i, &value));
    }
    return array;
}

SafeArray StringArray(const std::vector<const wchar_t*>& values) {
    SafeArray array(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(values.size())));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        Bstr value(values[i]);
        CheckHr(SafeArrayPutElement(array.get(), &i, value.get()));
    }
    return array;
}

std::vector<LONG> Longs(SAFEARRAY* array) {
    SafeArray owned(array);
    LONG upper = -1;
    CheckHr(SafeArrayGetUBound(array, 1, &upper));
    const SafeArrayAccess access(array);
    return std::vector<LONG>(access.data<LONG>(), access.data<LONG>() + upper + 1);
}

std::vector<std::wstring> Strings(SAFEARRAY* array) {
    SafeArray owned(array);
    LONG upper = -1;
    CheckHr(SafeArrayGetUBound(array, 1, &upper));
    const SafeArrayAccess access(array);
    std::vector<std::wstring> result;
    for (LONG i = 0; i <= upper; ++i) result.emplace_back(BstrView(access.data<BSTR>()[i]));
    return result;
}

class FolderObjects : public ::testing::Test {
protected:
    FolderObjects() {
        registry_.ListStorage(L"SID-D", L"D:\\");
        context_ = std::make_unique<test::TestContext>();
        disk_ = context_->Storages().FindById(L"SID-D");
        music_ = Register(L"Player", L"Music");
        music_->SetDefaults({{3, L"three"}});
        music_->SetObjectCategories({4});
        music_->Refresh = zephfwStartupRefresh;
        object_ = MakeRegisteredFolderObject(*context_, music_);
    }
    SharedPtr<RegisteredFolder> Register(const std::wstring& owner, const std::wstring& path) {
        auto folder = context_->Folders().CreateFolder(*disk_, owner, path);
        context_->Folders().RegisterFolder(folder, *disk_);
        return folder;
    }
    static Variant Long(LONG value) { return Variant::FromLong(value); }
    static Variant Bool(VARIANT_BOOL value) {
        Variant result;
        V_VT(result.ptr()) = VT_BOOL;
        V_BOOL(result.ptr()) = value;
        return result;
    }
    Variant Property(TnRegisteredFolderPropertyTypes type) {
        Variant value;
        CheckHr(object_->GetPropertyEx(type, value.ptr()));
        return value;
    }
    Variant Status(TnFolderStatusTypes type) {
        Variant value;
        CheckHr(object_->GetStatusEx(type, value.ptr()));
        return value;
    }
    static std::wstring PathOf(ITnRegisteredFolder* folder) {
        Bstr path;
        CheckHr(folder->get_Path(path.put()));
        return path.str();
    }

    test::AutomationRegistry registry_;
    std::unique_ptr<test::TestContext> context_;
    SharedPtr<StorageInfo> disk_;
    SharedPtr<RegisteredFolder> music_;
    ComPtr<ComObject<CTnRegisteredFolder>> object_;
};

}  // namespace

TEST_F(FolderObjects, PropertiesAreACopyThatReachesTheFolderOnlyWhenApplied) {
    _zephfw_startup refresh = zephfwStartupSilent;
    CheckHr(object_->get_RefreshOnStartup(&refresh));
    EXPECT_EQ(refresh, zephfwStartupRefresh);
    CheckHr(object_->put_MonitoringBehavior(static_cast<_zephfw_behavior>(7)));
    CheckHr(object_->put_WatchSubTree(VARIANT_FALSE));
    CheckHr(object_->SetPropertyEx(tnRegisteredFolderProperty_RefreshOnStartup, Long(2).get()));
    EXPECT_EQ(V_I4(&Property(tnRegisteredFolderProperty_MonitoringBehavior).get()), 7);
    EXPECT_EQ(music_->Behavior, zephfwBehaviorMonitor);
    EXPECT_TRUE(music_->WatchSubTree);
    EXPECT_EQ(music_->Refresh, zephfwStartupRefresh);

    object_->ApplyToFolder();
    EXPECT_EQ(music_->Behavior, 7);
    EXPECT_FALSE(music_->WatchSubTree);
    EXPECT_EQ(music_->Refresh, zephfwStartupRefreshOnce);
}

TEST_F(FolderObjects, SetPropertyExChecksTypeAndRangeWithoutConverting) {
    EXPECT_EQ(object_->SetPropertyEx(tnRegisteredFolderProperty_MonitoringBehavior, Long(7).get()), E_INVALIDARG);
    EXPECT_EQ(object_->SetPropertyEx(tnRegisteredFolderProperty_MonitoringBehavior, Long(-1).get()), E_INVALIDARG);
    EXPECT_EQ(object_->SetPropertyEx(tnRegisteredFolderProperty_RefreshOnStartup, Bool(VARIANT_TRUE).get()),
              E_INVALIDARG);
    EXPECT_EQ(object_->SetPropertyEx(tnRegisteredFolderProperty_WatchSubTree, Long(1).get()), E_INVALIDARG);
    EXPECT_EQ(object_->SetPropertyEx(static_cast<TnRegisteredFolderPropertyTypes>(3), Long(1).get()), E_INVALIDARG);
    EXPECT_EQ(V_I4(&Property(tnRegisteredFolderProperty_MonitoringBehavior).get()), zephfwBehaviorMonitor);

    CheckHr(object_->SetPropertyEx(tnRegisteredFolderProperty_MonitoringBehavior, Long(0).get()));
    CheckHr(object_->SetPropertyEx(tnRegisteredFolderProperty_WatchSubTree, Bool(VARIANT_FALSE).get()));
    const Variant watch = Property(tnRegisteredFolderProperty_WatchSubTree);
    EXPECT_EQ(watch.type(), VT_BOOL);
    EXPECT_EQ(V_BOOL(&watch.get()), VARIANT_FALSE);
    _zephfw_behavior behavior = zephfwBehaviorMonitor;
    CheckHr(object_->get_MonitoringBehavior(&behavior));
    EXPECT_EQ(behavior, zephfwBehaviorIgnore);
    Variant none;
    EXPECT_EQ(object_->GetPropertyEx(static_cast<TnRegisteredFolderPropertyTypes>(3), none.ptr()), E_INVALIDARG);
    EXPECT_EQ(object_->GetPropertyEx(tnRegisteredFolderProperty_WatchSubTree, nullptr), E_POINTER);
    EXPECT_EQ(object_->get_WatchSubTree(nullptr), E_POINTER);
}

TEST_F(FolderObjects, DefaultPropertiesAreCheckedPairedAndKeptInIdOrder) {
    SafeArray ids = LongArray({9, 2, 9}), values = StringArray({L"nine", L"two", L"again"});
    SafeArray shortValues = StringArray({L"a", L"b"});
    EXPECT_EQ(object_->SetDefaultProperties(ids.get(), shortValues.get()), E_INVALIDARG);
    EXPECT_EQ(object_->SetDefaultProperties(nullptr, values.get()), E_INVALIDARG);
    EXPECT_EQ(object_->SetDefaultProperties(ids.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(object_->SetDefaultProperties(values.get(), ids.get()), E_INVALIDARG);
    SAFEARRAY *gotIds = nullptr, *gotValues = nullptr;
    CheckHr(object_->GetDefaultProperties(&gotIds, &gotValues));
    EXPECT_EQ(Longs(gotIds), std::vector<LONG>{3});
    EXPECT_EQ(Strings(gotValues), std::vector<std::wstring>{L"three"});

    CheckHr(object_->SetDefaultProperties(ids.get(), values.get()));
    CheckHr(object_->GetDefaultProperties(&gotIds, &gotValues));
    EXPECT_EQ(Longs(gotIds), (std::vector<LONG>{2, 9}));
    EXPECT_EQ(Strings(gotValues), (std::vector<std::wstring>{L"two", L"nine"}));
    EXPECT_EQ(object_->GetDefaultProperties(&gotIds, nullptr), E_POINTER);
    EXPECT_EQ(music_->Defaults().size(), 1u);
}

TEST_F(FolderObjects, CategoriesCollapseDuplicatesAndComeBackSorted) {
    SafeArray categories = LongArray({5, 1, 5});
    SafeArray strings = StringArray({L"1"});
    EXPECT_EQ(object_->SetObjectCategoryRestrictions(nullptr), E_INVALIDARG);
    EXPECT_EQ(object_->SetObjectCategoryRestrictions(strings.get()), E_INVALIDARG);
    SAFEARRAY* got = nullptr;
    CheckHr(object_->GetObjectCategoryRestrictions(&got));
    EXPECT_EQ(Longs(got), std::vector<LONG>{4});
    CheckHr(object_->SetObjectCategoryRestrictions(categories.get()));
    CheckHr(object_->GetObjectCategoryRestrictions(&got));
    EXPECT_EQ(Longs(got), (std::vector<LONG>{1, 5}));
    EXPECT_EQ(object_->GetObjectCategoryRestrictions(nullptr), E_POINTER);
}

TEST_F(FolderObjects, PathsOwnerStorageAndStatusAreReadLive) {
    EXPECT_EQ(PathOf(object_.get()), L"D:\\Music");
    Bstr owner;
    CheckHr(object_->get_OwnerApplication(owner.put()));
    EXPECT_EQ(owner.str(), L"Player");
    ComPtr<ITnStorageInfo> storage;
    CheckHr(object_->get_StorageInfo(storage.put()));
    Bstr id;
    CheckHr(storage->get_UniqueID(id.put()));
    EXPECT_EQ(id.str(), L"SID-D");
    EXPECT_EQ(object_->get_Path(nullptr), E_POINTER);
    EXPECT_EQ(object_->get_StorageInfo(nullptr), E_POINTER);

    EXPECT_EQ(V_BOOL(&Status(tnFolderStatusType_Busy).get()), VARIANT_FALSE);
    context_->commands.busy = true;
    EXPECT_EQ(V_BOOL(&Status(tnFolderStatusType_Busy).get()), VARIANT_TRUE);
    EXPECT_EQ(V_BOOL(&Status(tnFolderStatusType_Monitoring).get()), VARIANT_FALSE);
    music_->StartMonitor();
    const Variant monitoring = Status(tnFolderStatusType_Monitoring);
    EXPECT_EQ(monitoring.type(), VT_BOOL);
    EXPECT_EQ(V_BOOL(&monitoring.get()), VARIANT_TRUE);
    Variant none;
    EXPECT_EQ(object_->GetStatusEx(static_cast<TnFolderStatusTypes>(2), none.ptr()), E_INVALIDARG);
}

TEST_F(FolderObjects, MonitoringRefreshAndAbortGoToTheFolderOrItsStorage) {
    CheckHr(object_->StartMonitoring());
    EXPECT_EQ(context_->workers[L"SID-D"].starts, 1);
    EXPECT_EQ(context_->monitorStarts, 0);
    disk_->SetEnabled(true);
    CheckHr(object_->StartMonitoring());
    EXPECT_EQ(context_->monitorStarts, 1);
    EXPECT_TRUE(music_->IsMonitorRunning());
    CheckHr(object_->StopMonitoring());
    EXPECT_FALSE(music_->IsMonitorRunning());

    CheckHr(object_->Refresh());
    CheckHr(object_->AbortOperation(tnFolderOperationType_Rename));
    EXPECT_EQ(context_->commands.refreshed, std::vector<std::wstring>{L"D:\\Music\\"});
    ASSERT_EQ(context_->commands.cancelled.size(), 1u);
    EXPECT_EQ(context_->commands.cancelled[0].first, tnFolderOperationType_Rename);
    EXPECT_EQ(context_->commands.cancelled[0].second, L"D:\\Music\\");
}

TEST_F(FolderObjects, FolderListIsAOneBasedSnapshot) {
    Register(L"Viewer", L"Photos");
    auto list = MakeRegisteredFolderList(*context_);
    LONG count = 0;
    CheckHr(list->get_count(&count));
    ASSERT_EQ(count, 2);
    ComPtr<ITnRegisteredFolder> item;
    EXPECT_EQ(list->get_Item(0, item.put()), E_INVALIDARG);
    EXPECT_EQ(list->get_Item(3, item.put()), E_INVALIDARG);
    EXPECT_EQ(list->get_Item(2, nullptr), E_POINTER);
    CheckHr(list->get_Item(2, item.put()));
    EXPECT_EQ(PathOf(item.get()), L"D:\\Photos");

    // An unregistered folder stays in the list until its storage goes.
    context_->Folders().UnregisterFolder(music_, *disk_);
    CheckHr(list->get_Item(1, item.put()));
    EXPECT_EQ(PathOf(item.get()), L"D:\\Music");
    context_->Folders().UnregisterFolder(context_->Folders().AllFolders()[0], *disk_);
    context_->Storages().UnregisterStorage(disk_);
    EXPECT_EQ(list->get_Item(1, item.put()), E_INVALIDARG);
}

TEST_F(FolderObjects, EnumeratorDeliversFolderObjects) {
    Register(L"Viewer", L"Photos");
    ComPtr<IUnknown> unknown;
    CheckHr(MakeRegisteredFolderList(*context_)->get__NewEnum(unknown.put()));
    ComPtr<IEnumVARIANT> items;
    CheckHr(unknown.as(items));
    VARIANT values[3];
    ULONG fetched = 0;
    EXPECT_EQ(items->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(items->Next(3, values, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    std::vector<std::wstring> paths;
    for (ULONG i = 0; i < fetched; ++i) {
        // Script hosts walk only objects; a client reading the pointer as IUnknown still finds it.
        EXPECT_EQ(V_VT(&values[i]), VT_DISPATCH);
        ComPtr<ITnRegisteredFolder> folder;
        CheckHr(ComPtr<IUnknown>(V_UNKNOWN(&values[i])).as(folder));
        paths.push_back(PathOf(folder.get()));
        VariantClear(&values[i]);
    }
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"D:\\Music", L"D:\\Photos"}));
}

// JScript's Enumerator under Wine asks for the enumerator as a method call.
TEST_F(FolderObjects, LateBoundClientsGetTheEnumeratorAsAMethodCall) {
    ComPtr<IDispatch> list;
    CheckHr(MakeRegisteredFolderList(*context_).as(list));
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    ASSERT_HRESULT_SUCCEEDED(list->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_NEUTRAL, DISPATCH_METHOD, &none,
                                          result.put(), nullptr, nullptr));
    ASSERT_EQ(result.type(), VT_UNKNOWN);
    ComPtr<IEnumVARIANT> items;
    CheckHr(ComPtr<IUnknown>(V_UNKNOWN(&result.get())).as(items));
    VARIANT value;
    ASSERT_EQ(items->Next(1, &value, nullptr), S_OK);
    ComPtr<ITnRegisteredFolder> folder;
    CheckHr(ComPtr<IUnknown>(V_UNKNOWN(&value)).as(folder));
    VariantClear(&value);
    EXPECT_EQ(PathOf(folder.get()), L"D:\\Music");
}
