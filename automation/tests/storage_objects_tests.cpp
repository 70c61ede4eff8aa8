#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include "automation_fixture.h"
#include "bstr.h"
#include "error.h"
#include "event_sink.h"
#include "testing/test_drive.h"
#include "tn_storage_info.h"
#include "tn_storage_manager.h"

using namespace tandem;
using test::RecordingSink;
using test::TestDrive;

namespace {

// Drive letters are unique per test: ctest runs the tests of this program in parallel.
class StorageObjects : public ::testing::Test {
protected:
    StorageObjects() {
        registry_.ListStorage(L"SID-D", L"D:\\");
        registry_.ListStorage(L"SID-S", L"\\\\srv\\share\\", tnStorageType_Remote);
        context_ = std::make_unique<test::TestContext>();
        manager_.attach(MakeComObject<CTnStorageManager>(*context_).detach());
    }

    ComPtr<ComObject<RecordingSink>> AdviseSink() {
        ComPtr<IConnectionPointContainer> container;
        CheckHr(manager_.as(container));
        ComPtr<IConnectionPoint> point;
        CheckHr(container->FindConnectionPoint(DIID__ITnStorageManagerEvents, point.put()));
        ComPtr<ComObject<RecordingSink>> sink;
        DWORD cookie = 0;
        CheckHr(point->Advise(test::NewSink(DIID__ITnStorageManagerEvents, &sink).get(), &cookie));
        return sink;
    }
    ComPtr<ITnStorageInfo> Add(const wchar_t* root) {
        ComPtr<ITnStorageInfo> storage;
        CheckHr(manager_->AddStorage(Bstr(root).get(), nullptr, nullptr, storage.put()));
        return storage;
    }
    static std::wstring Text(HRESULT (STDMETHODCALLTYPE ITnStorageInfo::*get)(BSTR*), ITnStorageInfo* storage) {
        Bstr text;
        CheckHr((storage->*get)(text.put()));
        return text.str();
    }
    static std::wstring IdOf(const VARIANT& storage) {
        ComPtr<ITnStorageInfo> info;
        CheckHr(ComPtr<IUnknown>(V_UNKNOWN(&storage)).as(info));
        return Text(&ITnStorageInfo::get_UniqueID, info.get());
    }
    ComPtr<ITnStorageInfoList> List() {
        ComPtr<ITnStorageInfoList> list;
        CheckHr(manager_->get_Storages(list.put()));
        return list;
    }

    test::AutomationRegistry registry_;
    std::unique_ptr<test::TestContext> context_;
    ComPtr<ITnStorageManager> manager_;
};

}  // namespace

TEST_F(StorageObjects, AddStorageRegistersOnceStartsTheStorageAndAnnouncesIt) {
    TestDrive drive(L'Q', DRIVE_FIXED);
    auto sink = AdviseSink();
    EXPECT_EQ(manager_->AddStorage(Bstr(L"Q:").get(), nullptr, nullptr, nullptr), E_POINTER);
    auto first = Add(L"Q:");
    auto second = Add(L"Q:\\");
    const std::wstring id = Text(&ITnStorageInfo::get_UniqueID, first.get());
    EXPECT_EQ(Text(&ITnStorageInfo::get_UniqueID, second.get()), id);
    EXPECT_EQ(Text(&ITnStorageInfo::get_RootPath, first.get()), L"Q:\\");
    EXPECT_EQ(Text(&ITnStorageInfo::get_UserID, first.get()), L"");
    TnStorageTypes type = tnStorageType_Unknown;
    CheckHr(first->get_StorageType(&type));
    EXPECT_EQ(type, tnStorageType_Fixed);
    EXPECT_EQ(context_->workers[id].starts, 2);

    ASSERT_EQ(sink->Calls().size(), 1u);
    const test::Call call = sink->Calls()[0];
    EXPECT_EQ(call.member, 1);
    EXPECT_EQ(V_I4(&call.arguments[0].get()), tnStorageEventType_Added);
    ComPtr<ITnStorageInfo> announced;
    CheckHr(ComPtr<IDispatch>(V_DISPATCH(&call.arguments[1].get())).as(announced));
    EXPECT_EQ(Text(&ITnStorageInfo::get_UniqueID, announced.get()), id);
}

TEST_F(StorageObjects, AnotherPasswordForARegisteredShareIsRefused) {
    StorageInfo& share = *context_->Storages().FindById(L"SID-S");
    share.SetCredentials(L"user", L"right");
    ComPtr<ITnStorageInfo> storage;
    EXPECT_EQ(manager_->AddStorage(Bstr(L"\\\\srv\\share").get(), Bstr(L"user").get(), Bstr(L"wrong").get(),
                                   storage.put()),
              E_ACCESSDENIED);
    EXPECT_FALSE(storage);
}

TEST_F(StorageObjects, RemoveStorageRefusesWhileFoldersRemainAndAnnouncesTheRemoval) {
    auto disk = context_->Storages().FindById(L"SID-D");
    auto folder = context_->Folders().CreateFolder(*disk, L"Player", L"Music");
    context_->Folders().RegisterFolder(folder, *disk);
    auto sink = AdviseSink();
    auto kept = MakeStorageInfoObject(disk);

    EXPECT_EQ(manager_->RemoveStorage(Bstr(L"E:\\").get()), E_INVALIDARG);
    EXPECT_EQ(manager_->RemoveStorage(Bstr(L"d:").get()), E_INVALIDARG);
    EXPECT_EQ(context_->Storages().FindByRoot(L"D:\\"), disk);
    EXPECT_TRUE(sink->Calls().empty());

    context_->Folders().UnregisterFolder(folder, *disk);
    EXPECT_EQ(manager_->RemoveStorage(Bstr(L"d:").get()), S_OK);
    EXPECT_EQ(CatchHr([&] { context_->Storages().FindByRoot(L"D:\\"); }), E_INVALIDARG);
    EXPECT_FALSE(TryOpenKey(registry_.storages.get(), L"SID-D").has_value());
    ASSERT_EQ(sink->Calls().size(), 1u);
    EXPECT_EQ(V_I4(&sink->Calls()[0].arguments[0].get()), tnStorageEventType_Removed);
    // A removed storage stays readable through an object that holds it.
    EXPECT_EQ(Text(&ITnStorageInfo::get_UniqueID, kept.get()), L"SID-D");
}

TEST_F(StorageObjects, StorageListIsAOneBasedSnapshotInRootOrder) {
    auto list = List();
    LONG count = 0;
    EXPECT_EQ(list->get_count(nullptr), E_POINTER);
    CheckHr(list->get_count(&count));
    ASSERT_EQ(count, 2);
    ComPtr<ITnStorageInfo> item;
    EXPECT_EQ(list->get_Item(0, item.put()), E_INVALIDARG);
    EXPECT_EQ(list->get_Item(3, item.put()), E_INVALIDARG);
    EXPECT_EQ(list->get_Item(1, nullptr), E_POINTER);
    CheckHr(list->get_Item(1, item.put()));
    EXPECT_EQ(Text(&ITnStorageInfo::get_UniqueID, item.get()), L"SID-D");
    CheckHr(list->get_Item(2, item.put()));
    EXPECT_EQ(Text(&ITnStorageInfo::get_RootPath, item.get()), L"\\\\srv\\share");

    CheckHr(manager_->RemoveStorage(Bstr(L"D:").get()));
    CheckHr(list->get_count(&count));
    EXPECT_EQ(count, 2);
    CheckHr(List()->get_count(&count));
    EXPECT_EQ(count, 1);
}

TEST_F(StorageObjects, EnumeratorDeliversNewObjectsAndClonesKeepTheirPosition) {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(List()->get__NewEnum(nullptr), E_POINTER);
    CheckHr(List()->get__NewEnum(unknown.put()));
    ComPtr<IEnumVARIANT> items;
    CheckHr(unknown.as(items));
    VARIANT values[3];
    ULONG fetched = 0;
    EXPECT_EQ(items->Next(2, values, nullptr), E_POINTER);
    EXPECT_EQ(items->Next(1, values, &fetched), S_OK);
    EXPECT_EQ(IdOf(values[0]), L"SID-D");
    EXPECT_EQ(V_VT(&values[0]), VT_DISPATCH);
    VariantClear(&values[0]);

    ComPtr<IEnumVARIANT> clone;
    CheckHr(items->Clone(clone.put()));
    EXPECT_EQ(items->Next(3, values, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(IdOf(values[0]), L"SID-S");
    VariantClear(&values[0]);
    CheckHr(clone->Next(1, values, nullptr));
    EXPECT_EQ(IdOf(values[0]), L"SID-S");
    VariantClear(&values[0]);

    CheckHr(items->Reset());
    EXPECT_EQ(items->Skip(2), S_OK);
    EXPECT_EQ(items->Skip(1), S_FALSE);
}

TEST_F(StorageObjects, SetIDAndPasswordRestartsTheStorageWithTheNewCredentials) {
    auto share = MakeStorageInfoObject(context_->Storages().FindById(L"SID-S"));
    auto& counts = context_->workers[L"SID-S"];
    CheckHr(share->SetIDAndPassword(Bstr(L"user").get(), Bstr(L"secret").get()));
    EXPECT_EQ(Text(&ITnStorageInfo::get_UserID, share.get()), L"user");
    EXPECT_TRUE(context_->Storages().FindById(L"SID-S")->CheckCredentials(L"user", L"secret"));
    EXPECT_EQ(counts.stops, 1);
    EXPECT_EQ(counts.starts, 1);

    CheckHr(share->SetIDAndPassword(nullptr, nullptr));
    EXPECT_EQ(Text(&ITnStorageInfo::get_UserID, share.get()), L"");
    EXPECT_FALSE(context_->Storages().FindById(L"SID-S")->HasCredentials());
    EXPECT_EQ(counts.starts, 2);
}

TEST_F(StorageObjects, GettersReadTheLiveRecordAndRefuseNullPointers) {
    auto record = context_->Storages().FindById(L"SID-D");
    auto disk = MakeStorageInfoObject(record);
    VARIANT_BOOL enabled = VARIANT_TRUE;
    CheckHr(disk->get_Enabled(&enabled));
    EXPECT_EQ(enabled, VARIANT_FALSE);
    record->SetEnabled(true);
    CheckHr(disk->get_Enabled(&enabled));
    EXPECT_EQ(enabled, VARIANT_TRUE);
    EXPECT_EQ(disk->get_Enabled(nullptr), E_POINTER);
    EXPECT_EQ(disk->get_RootPath(nullptr), E_POINTER);
    EXPECT_EQ(disk->get_UniqueID(nullptr), E_POINTER);
    EXPECT_EQ(disk->get_UserID(nullptr), E_POINTER);
    EXPECT_EQ(disk->get_StorageType(nullptr), E_POINTER);
    EXPECT_EQ(Text(&ITnStorageInfo::get_RootPath, disk.get()), L"D:\\");
}

TEST_F(StorageObjects, LateBoundClientsReachMembersByNameIgnoringCase) {
    ComPtr<IDispatch> list;
    CheckHr(List().as(list));
    for (const wchar_t* name : {L"count", L"COUNT"}) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        CheckHr(list->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
        EXPECT_EQ(id, 1);
    }
    Variant result;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    CheckHr(list->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.ptr(), nullptr,
                         nullptr));
    EXPECT_EQ(V_I4(&result.get()), 2);

    Variant index = Variant::FromLong(2);
    DISPPARAMS one{index.ptr(), nullptr, 1, 0};
    CheckHr(list->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &one, result.put(),
                         nullptr, nullptr));
    ASSERT_EQ(result.type(), VT_DISPATCH);
    ComPtr<IDispatch> storage(V_DISPATCH(&result.get()));
    DISPID rootId = DISPID_UNKNOWN;
    LPOLESTR rootName[] = {const_cast<LPOLESTR>(L"rootpath")};
    CheckHr(storage->GetIDsOfNames(IID_NULL, rootName, 1, LOCALE_USER_DEFAULT, &rootId));
    Variant root;
    CheckHr(storage->Invoke(rootId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, root.ptr(), nullptr,
                            nullptr));
    EXPECT_STREQ(V_BSTR(&root.get()), L"\\\\srv\\share");
}

// A script engine may ask for the enumerator as a property or as a method.
TEST_F(StorageObjects, LateBoundClientsGetTheEnumeratorEitherWay) {
    ComPtr<IDispatch> list;
    CheckHr(List().as(list));
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (WORD flags : {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_METHOD | DISPATCH_PROPERTYGET}) {
        SCOPED_TRACE(flags);
        Variant result;
        ASSERT_HRESULT_SUCCEEDED(
            list->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_NEUTRAL, flags, &none, result.put(), nullptr, nullptr));
        ASSERT_EQ(result.type(), VT_UNKNOWN);
        ComPtr<IEnumVARIANT> items;
        CheckHr(ComPtr<IUnknown>(V_UNKNOWN(&result.get())).as(items));
        VARIANT value;
        ASSERT_EQ(items->Next(1, &value, nullptr), S_OK);
        EXPECT_EQ(IdOf(value), L"SID-D");
        VariantClear(&value);
    }
}

TEST_F(StorageObjects, ClassInfoNamesTheEventInterfaceAsDefaultSource) {
    ComPtr<IProvideClassInfo2> info;
    CheckHr(manager_.as(info));
    GUID source = GUID_NULL;
    CheckHr(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_TRUE(IsEqualGUID(source, DIID__ITnStorageManagerEvents));
    ComPtr<ITypeInfo> type;
    CheckHr(info->GetClassInfo(type.put()));
    TYPEATTR* attributes = nullptr;
    CheckHr(type->GetTypeAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(attributes->guid, CLSID_TnStorageManager));
    type->ReleaseTypeAttr(attributes);
    ComPtr<ISupportErrorInfo> errors;
    CheckHr(manager_.as(errors));
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_ITnStorageManager), S_OK);
}

namespace {

// An outer object that aggregates the storage manager and answers nothing itself.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }

    ULONG refs = 1;
    ComPtr<IUnknown> inner;
};

}  // namespace

TEST_F(StorageObjects, TheManagerCanBeAggregated) {
    Outer outer;
    ComPtr<ITnStorageManager> refused;
    EXPECT_EQ(CreateComInstance<CTnStorageManager>(&outer, IID_ITnStorageManager, refused.put_void(), *context_),
              CLASS_E_NOAGGREGATION);
    CheckHr(CreateComInstance<CTnStorageManager>(&outer, IID_IUnknown, outer.inner.put_void(), *context_));
    {
        ComPtr<ITnStorageManager> manager;
        CheckHr(outer.QueryInterface(IID_ITnStorageManager, manager.put_void()));
        EXPECT_EQ(outer.refs, 2u);
        ComPtr<IUnknown> identity;
        CheckHr(manager.as(identity));
        EXPECT_EQ(identity.get(), &outer);
        ComPtr<IConnectionPointContainer> container;
        CheckHr(manager.as(container));
        ComPtr<IConnectionPoint> point;
        CheckHr(container->FindConnectionPoint(DIID__ITnStorageManagerEvents, point.put()));
        ComPtr<IConnectionPointContainer> back;
        CheckHr(point->GetConnectionPointContainer(back.put()));
        EXPECT_EQ(back, container);
    }
    EXPECT_EQ(outer.refs, 1u);
    outer.inner.reset();
}
