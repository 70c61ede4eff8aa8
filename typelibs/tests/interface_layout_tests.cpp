// The interfaces as clients and plug-ins are built against them: slots,
// dispatch ids, names, directions and types, read back from the libraries
// the modules carry.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MarloZephFw.h"
#include "TandemPlugin.h"
#include "error.h"
#include "type_attributes.h"
#include "type_description.h"

using namespace tandem;
using namespace tandem::typelibs;
using namespace tandem::typelibs::test;

namespace {

struct Method {
    int slot;
    DISPID id;
    INVOKEKIND kind;
    const wchar_t* name;
    const wchar_t* parameters;
};

struct InterfaceLayout {
    const wchar_t* library;
    const IID* iid;
    const wchar_t* name;
    const wchar_t* base;
    const wchar_t* help;
    std::vector<Method> methods;
};

void PrintTo(const InterfaceLayout& layout, std::ostream* os) { *os << testing::PrintToString(std::wstring(layout.name)); }

constexpr INVOKEKIND kFunc = INVOKE_FUNC;
constexpr INVOKEKIND kGet = INVOKE_PROPERTYGET;
constexpr INVOKEKIND kPut = INVOKE_PROPERTYPUT;

const wchar_t kZephFw[] = L"MarloZephFw.dll";
const wchar_t kPlugin[] = L"TandemPlugin.dll";

std::vector<InterfaceLayout> WatcherInterfaces() {
    return {
        {kZephFw, &IID_IFolderWatcher, L"IFolderWatcher", L"IDispatch", L"Interface MarloZephFw.IFolderWatcher",
         {
             {7, 1, kFunc, L"StartMonitoring",
              L"[in] BSTR appname, [in] BSTR folder, [in] long behavior, [out, retval] long* result"},
             {8, 2, kFunc, L"StopMonitoring", L"[in] BSTR appname, [in] BSTR folder, [out, retval] long* result"},
             {9, 3, kFunc, L"RegisterFolder",
              L"[in] BSTR appname, [in] BSTR folder, [in] long behavior, [out, retval] long* result"},
             {10, 4, kFunc, L"UnregisterFolder", L"[in] BSTR appname, [in] BSTR folder, [out, retval] long* result"},
             {11, 5, kFunc, L"GetStatusCount", L"[out] long* count, [out, retval] long* result"},
             {12, 6, kFunc, L"GetStatus",
              L"[in] long num, [out] BSTR* folder, [out] BSTR* owner, [out] long* behavior, [out] long* busy, "
              L"[out, retval] long* result"},
             {13, 7, kFunc, L"RefreshFolder",
              L"[in] BSTR appname, [in] BSTR folder, [in] long priority, [out, retval] long* result"},
             {14, 8, kFunc, L"RefreshFolderAbort", L"[in] BSTR appname, [in] BSTR folder, [out, retval] long* result"},
             {15, 9, kFunc, L"RefreshFolderOnStartup", L"[in] long startup, [in] long priority, [out, retval] long* result"},
             {16, 10, kFunc, L"GetEmptyCount", L"[out] long* count, [out, retval] long* result"},
         }},
        {kZephFw, &IID_IFolderWatcher2, L"IFolderWatcher2", L"IFolderWatcher", L"Interface MarloZephFw.IFolderWatcher2",
         {
             {17, 11, kFunc, L"RegisterFolder2",
              L"[in] BSTR appname, [in] BSTR folder, [in] long behavior, [in] SAFEARRAY(long) propId, "
              L"[in] SAFEARRAY(BSTR) propValue, [out, retval] long* result"},
             {18, 12, kFunc, L"GetStatus2",
              L"[in] long num, [out] BSTR* folder, [out] BSTR* owner, [out] long* behavior, [out] long* busy, "
              L"[out] SAFEARRAY(long)* propId, [out] SAFEARRAY(BSTR)* propValue, [out, retval] long* result"},
             {19, 13, kFunc, L"UpdateFolder",
              L"[in] BSTR appname, [in] BSTR folder, [in] SAFEARRAY(long) propId, [in] SAFEARRAY(BSTR) propValue, "
              L"[out, retval] long* result"},
             {20, 14, kFunc, L"CheckFolder", L"[in] BSTR folder, [out, retval] long* result"},
         }},
        {kZephFw, &IID_IFolderWatcher3, L"IFolderWatcher3", L"IFolderWatcher2", L"Interface MarloZephFw.IFolderWatcher3",
         {
             {21, 15, kGet, L"RegisteredFolders", L"[out, retval] ITnRegisteredFolderList** pVal"},
             {22, 16, kFunc, L"CreateRegisteredFolder",
              L"[in] BSTR strOwnerApplication, [in] BSTR strPath, [in] BSTR strUserID, [in] BSTR strPassword, "
              L"[out, retval] ITnRegisteredFolder** pVal"},
             {23, 17, kFunc, L"RegisterFolder3", L"[in] ITnRegisteredFolder* pFolder"},
             {24, 18, kFunc, L"UnregisterFolder2", L"[in] ITnRegisteredFolder* pFolder"},
             {25, 19, kFunc, L"UpdateFolder2", L"[in] ITnRegisteredFolder* pFolder"},
         }},
        {kZephFw, &IID_ITnRegisteredFolderList, L"ITnRegisteredFolderList", L"IDispatch",
         L"Interface MarloZephFw.ITnRegisteredFolderList",
         {
             {7, DISPID_NEWENUM, kGet, L"_NewEnum", L"[out, retval] IUnknown** pVal"},
             {8, DISPID_VALUE, kGet, L"Item", L"[in] long nIndex, [out, retval] ITnRegisteredFolder** pVal"},
             {9, 1, kGet, L"count", L"[out, retval] long* pVal"},
         }},
        {kZephFw, &IID_ITnRegisteredFolder, L"ITnRegisteredFolder", L"IDispatch",
         L"Interface MarloZephFw.ITnRegisteredFolder",
         {
             {7, 1, kGet, L"StorageInfo", L"[out, retval] ITnStorageInfo** pVal"},
             {8, 2, kGet, L"Path", L"[out, retval] BSTR* pVal"},
             {9, 3, kGet, L"OwnerApplication", L"[out, retval] BSTR* pVal"},
             {10, 4, kGet, L"MonitoringBehavior", L"[out, retval] _zephfw_behavior* pVal"},
             {11, 4, kPut, L"MonitoringBehavior", L"[in] _zephfw_behavior"},
             {12, 5, kGet, L"RefreshOnStartup", L"[out, retval] _zephfw_startup* pVal"},
             {13, 5, kPut, L"RefreshOnStartup", L"[in] _zephfw_startup"},
             {14, 6, kGet, L"WatchSubTree", L"[out, retval] VARIANT_BOOL* pVal"},
             {15, 6, kPut, L"WatchSubTree", L"[in] VARIANT_BOOL"},
             {16, 7, kFunc, L"SetPropertyEx", L"[in] TnRegisteredFolderPropertyTypes nPropertyType, [in] VARIANT newVal"},
             {17, 8, kFunc, L"GetPropertyEx",
              L"[in] TnRegisteredFolderPropertyTypes nPropertyType, [out, retval] VARIANT* pVal"},
             {18, 9, kFunc, L"GetStatusEx", L"[in] TnFolderStatusTypes nStatusType, [out, retval] VARIANT* pVal"},
             {19, 10, kFunc, L"GetDefaultProperties",
              L"[out] SAFEARRAY(long)* pPropIDs, [out] SAFEARRAY(BSTR)* pPropValues"},
             {20, 11, kFunc, L"SetDefaultProperties", L"[in] SAFEARRAY(long) pPropIDs, [in] SAFEARRAY(BSTR) pPropValues"},
             {21, 12, kFunc, L"GetObjectCategoryRestrictions", L"[out, retval] SAFEARRAY(long)* pVal"},
             {22, 13, kFunc, L"SetObjectCategoryRestrictions", L"[in] SAFEARRAY(long) newVal"},
             {23, 14, kFunc, L"StartMonitoring", L""},
             {24, 15, kFunc, L"StopMonitoring", L""},
             {25, 16, kFunc, L"Refresh", L""},
             {26, 17, kFunc, L"AbortOperation", L"[in] TnFolderOperationTypes nOperationType"},
         }},
        {kZephFw, &IID_ITnStorageInfo, L"ITnStorageInfo", L"IDispatch", L"Interface MarloZephFw.ITnStorageInfo",
         {
             {7, 1, kGet, L"RootPath", L"[out, retval] BSTR* pVal"},
             {8, 2, kGet, L"UniqueID", L"[out, retval] BSTR* pVal"},
             {9, 3, kGet, L"Enabled", L"[out, retval] VARIANT_BOOL* pVal"},
             {10, 4, kGet, L"StorageType", L"[out, retval] TnStorageTypes* pVal"},
             {11, 5, kGet, L"UserID", L"[out, retval] BSTR* pVal"},
             {12, 6, kFunc, L"SetIDAndPassword", L"[in] BSTR strUserID, [in] BSTR strPassword"},
         }},
        {kZephFw, &IID_ITnStorageInfoList, L"ITnStorageInfoList", L"IDispatch",
         L"Interface MarloZephFw.ITnStorageInfoList",
         {
             {7, DISPID_NEWENUM, kGet, L"_NewEnum", L"[out, retval] IUnknown** pVal"},
             {8, DISPID_VALUE, kGet, L"Item", L"[in] long nIndex, [out, retval] ITnStorageInfo** pVal"},
             {9, 1, kGet, L"count", L"[out, retval] long* pVal"},
         }},
        {kZephFw, &IID_ITnStorageManager, L"ITnStorageManager", L"IDispatch",
         L"Interface MarloZephFw.ITnStorageManager",
         {
             {7, 1, kFunc, L"AddStorage",
              L"[in] BSTR strRootPath, [in] BSTR strUserID, [in] BSTR strPassword, [out, retval] ITnStorageInfo** pVal"},
             {8, 2, kFunc, L"RemoveStorage", L"[in] BSTR strRootPath"},
             {9, 3, kGet, L"Storages", L"[out, retval] ITnStorageInfoList** pVal"},
         }},
    };
}

std::vector<InterfaceLayout> PluginInterfaces() {
    return {
        {kPlugin, &IID_ITandemFolder, L"ITandemFolder", L"IDispatch", L"Interface Marlo.TandemPluginLib.ITandemFolder",
         {
             {7, 1, kGet, L"Path", L"[out, retval] BSTR* pVal"},
             {8, 2, kGet, L"CreationTime", L"[out, retval] DATE* pVal"},
             {9, 3, kGet, L"LastWriteTime", L"[out, retval] DATE* pVal"},
             {10, 4, kGet, L"LastAccessTime", L"[out, retval] DATE* pVal"},
             {11, 5, kGet, L"Hidden", L"[out, retval] VARIANT_BOOL* pVal"},
             {12, 6, kGet, L"Name", L"[out, retval] BSTR* pVal"},
             {13, 7, kGet, L"SubFolders", L"[out, retval] ITandemFolderList** pVal"},
             {14, 8, kGet, L"SubContents", L"[out, retval] ITandemContentList** pVal"},
         }},
        {kPlugin, &IID_ITandemContent, L"ITandemContent", L"IDispatch", L"Interface Marlo.TandemPluginLib.ITandemContent",
         {
             {7, 1, kGet, L"Path", L"[out, retval] BSTR* pVal"},
             {8, 2, kGet, L"CreationTime", L"[out, retval] DATE* pVal"},
             {9, 3, kGet, L"LastWriteTime", L"[out, retval] DATE* pVal"},
             {10, 4, kGet, L"LastAccessTime", L"[out, retval] DATE* pVal"},
             {11, 5, kGet, L"Hidden", L"[out, retval] VARIANT_BOOL* pVal"},
             {12, 6, kGet, L"Size", L"[out, retval] uint64* pVal"},
             {13, 7, kFunc, L"GetProperty",
              L"[in] long nPropertyID, [in] SAFEARRAY(TandemProperty) pConverterParams, [out, retval] VARIANT* pVal"},
             {14, 8, kFunc, L"GetAllProperties", L"[out, retval] SAFEARRAY(TandemProperty)* pVal"},
         }},
        {kPlugin, &IID_ITandemFolderList, L"ITandemFolderList", L"IDispatch",
         L"Interface Marlo.TandemPluginLib.ITandemFolderList",
         {
             {7, DISPID_NEWENUM, kGet, L"_NewEnum", L"[out, retval] IUnknown** pVal"},
             {8, DISPID_VALUE, kGet, L"Item", L"[in] long nIndex, [out, retval] ITandemFolder** pVal"},
             {9, 1, kGet, L"Count", L"[out, retval] long* pVal"},
         }},
        {kPlugin, &IID_ITandemContentList, L"ITandemContentList", L"IDispatch",
         L"Interface Marlo.TandemPluginLib.ITandemContentList",
         {
             {7, DISPID_NEWENUM, kGet, L"_NewEnum", L"[out, retval] IUnknown** pVal"},
             {8, DISPID_VALUE, kGet, L"Item", L"[in] long nIndex, [out, retval] ITandemContent** pVal"},
             {9, 1, kGet, L"Count", L"[out, retval] long* pVal"},
         }},
        {kPlugin, &IID_ITandemProgressNotifier, L"ITandemProgressNotifier", L"IDispatch",
         L"Interface Marlo.TandemPluginLib.ITandemProgressNotifier",
         {
             {7, 1, kGet, L"Total", L"[out, retval] long* pVal"},
             {8, 1, kPut, L"Total", L"[in] long"},
             {9, 2, kGet, L"Progress", L"[out, retval] long* pVal"},
             {10, 2, kPut, L"Progress", L"[in] long"},
             {11, 3, kGet, L"Canceled", L"[out, retval] VARIANT_BOOL* pVal"},
         }},
        {kPlugin, &IID_ITandemPlugin, L"ITandemPlugin", L"IDispatch", L"Interface Marlo.TandemPluginLib.ITandemPlugin",
         {
             {7, 1, kFunc, L"Open", L"[in] BSTR strOwner, [in] SAFEARRAY(TandemProperty) pProperties"},
             {8, 2, kFunc, L"Close", L""},
             {9, 3, kFunc, L"ImportContent", L"[in] ITandemContent* pContent"},
             {10, 4, kFunc, L"ImportFolder", L"[in] ITandemFolder* pFolder"},
             {11, 5, kFunc, L"RefreshFolder", L"[in] ITandemFolder* pFolder, [in] ITandemProgressNotifier* pNotifier"},
             {12, 6, kFunc, L"DeleteContent", L"[in] BSTR strPath"},
             {13, 7, kFunc, L"DeleteFolder", L"[in] BSTR strPath, [in] ITandemProgressNotifier* pNotifier"},
             {14, 8, kFunc, L"RenameContent", L"[in] BSTR strOldPath, [in] ITandemContent* pContent"},
             {15, 9, kFunc, L"RenameFolder",
              L"[in] BSTR strOldPath, [in] ITandemFolder* pFolder, [in] ITandemProgressNotifier* pNotifier"},
             {16, 10, kFunc, L"UpdateFolder",
              L"[in] ITandemFolder* pFolder, [in] SAFEARRAY(TandemProperty) pProperties, "
              L"[in] ITandemProgressNotifier* pNotifier"},
         }},
    };
}

class InterfaceLayoutTest : public testing::TestWithParam<InterfaceLayout> {
protected:
    void SetUp() override {
        lib_ = LoadLibraryFile(GetParam().library);
        CheckHr(lib_->GetTypeInfoOfGuid(*GetParam().iid, type_.put()));
    }

    ComPtr<ITypeLib> lib_;
    ComPtr<ITypeInfo> type_;
};

TEST_P(InterfaceLayoutTest, IsADualAutomationInterfaceWithItsNameBaseAndHelp) {
    const InterfaceLayout& expected = GetParam();
    EXPECT_EQ(NameOf(type_.get()), expected.name);
    EXPECT_EQ(DocStringOf(type_.get()), expected.help);
    ComPtr<ITypeInfo> vtable = VtablePart(type_.get());
    const TypeAttr attr(vtable.get());
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    const WORD flags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(attr->wTypeFlags & flags, flags);
    ASSERT_EQ(attr->cImplTypes, 1);
    EXPECT_EQ(NameOf(ImplementedType(vtable.get(), 0).get()), expected.base);
}

TEST_P(InterfaceLayoutTest, MethodsKeepTheirSlotsIdsAndSignatures) {
    const std::vector<Method>& expected = GetParam().methods;
    ComPtr<ITypeInfo> vtable = VtablePart(type_.get());
    const TypeAttr attr(vtable.get());
    ASSERT_EQ(attr->cFuncs, expected.size());
    EXPECT_EQ(attr->cbSizeVft, (expected.back().slot + 1) * sizeof(void*));
    for (UINT i = 0; i < expected.size(); ++i) {
        const Method& method = expected[i];
        SCOPED_TRACE(testing::PrintToString(std::wstring(method.name)));
        const FuncDesc func(vtable.get(), i);
        EXPECT_EQ(func->oVft, method.slot * sizeof(void*));
        EXPECT_EQ(func->memid, method.id);
        EXPECT_EQ(func->invkind, method.kind);
        EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
        EXPECT_EQ(NameOf(vtable.get(), func->memid), method.name);
        EXPECT_EQ(DescribeParameters(vtable.get(), *func), method.parameters);
    }
}

INSTANTIATE_TEST_SUITE_P(Watcher, InterfaceLayoutTest, testing::ValuesIn(WatcherInterfaces()));
INSTANTIATE_TEST_SUITE_P(Plugin, InterfaceLayoutTest, testing::ValuesIn(PluginInterfaces()));

DISPID IdOfName(ITypeInfo* type, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    MEMBERID id = MEMBERID_NIL;
    CheckHr(type->GetIDsOfNames(names, 1, &id));
    return id;
}

TEST(LateBinding, InheritedDispatchIdsKeepTheirNumbers) {
    ComPtr<ITypeLib> lib = LoadLibraryFile(kZephFw);
    ComPtr<ITypeInfo> watcher3;
    CheckHr(lib->GetTypeInfoOfGuid(IID_IFolderWatcher3, watcher3.put()));
    EXPECT_EQ(IdOfName(watcher3.get(), L"RegisterFolder"), 3);
    EXPECT_EQ(IdOfName(watcher3.get(), L"CheckFolder"), 14);
    EXPECT_EQ(IdOfName(watcher3.get(), L"UpdateFolder2"), 19);
}

TEST(LateBinding, CountIsFoundWhateverItsCase) {
    ComPtr<ITypeLib> lib = LoadLibraryFile(kZephFw);
    ComPtr<ITypeInfo> folders;
    CheckHr(lib->GetTypeInfoOfGuid(IID_ITnRegisteredFolderList, folders.put()));
    EXPECT_EQ(IdOfName(folders.get(), L"Count"), 1);
    EXPECT_EQ(IdOfName(folders.get(), L"COUNT"), 1);
}

}  // namespace
