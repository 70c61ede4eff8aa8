// The libraries themselves, their enumerations, the property record, the
// event interfaces and the service's classes.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "MarloTandem.h"
#include "strings.h"
#include "MarloZephFw.h"
#include "TandemPlugin.h"
#include "bstr.h"
#include "error.h"
#include "type_attributes.h"
#include "type_description.h"

using namespace tandem;
using namespace tandem::typelibs;
using namespace tandem::typelibs::test;

namespace {

struct LibraryCase {
    const wchar_t* file;
    const wchar_t* name;
    const GUID* libid;
    const wchar_t* help;
};

void PrintTo(const LibraryCase& c, std::ostream* os) { *os << testing::PrintToString(std::wstring(c.file)); }

class LibraryTest : public testing::TestWithParam<LibraryCase> {};

TEST_P(LibraryTest, CarriesItsIdentityVersionAndLocale) {
    const LibraryCase& expected = GetParam();
    ComPtr<ITypeLib> lib = LoadLibraryFile(expected.file);
    const LibAttr attr(lib.get());
    EXPECT_EQ(GuidToString(attr->guid), GuidToString(*expected.libid));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0x409u);
    EXPECT_EQ(attr->syskind, SYS_WIN64);
    Bstr name, help;
    CheckHr(lib->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr));
    EXPECT_EQ(name.str(), expected.name);
    EXPECT_EQ(help.str(), expected.help);
}

INSTANTIATE_TEST_SUITE_P(All, LibraryTest,
                         testing::Values(LibraryCase{L"MarloZephFw.dll", L"MarloZephFw", &LIBID_MarloZephFw,
                                                     L"Marlo ZephFw 1.0 Type Library"},
                                         LibraryCase{L"TandemPlugin.dll", L"MarloTandemPluginLib",
                                                     &LIBID_MarloTandemPluginLib, L"Marlo TandemPlugin 1.0 Type Library"},
                                         LibraryCase{L"MarloTandem.tlb", L"MarloTandem", &LIBID_MarloTandem,
                                                     L"Marlo Tandem 1.0 Type Library"}));

// Constants numbered from the first value on, in the order listed.
struct EnumCase {
    const wchar_t* name;
    const wchar_t* guid;  // null: the enumeration has none
    LONG first;
    std::vector<std::wstring> constants;
};

void PrintTo(const EnumCase& c, std::ostream* os) { *os << testing::PrintToString(std::wstring(c.name)); }

std::vector<EnumCase> WatcherEnums() {
    return {
        {L"_zephfw_startup", nullptr, 0, {L"zephfwStartupSilent", L"zephfwStartupRefresh", L"zephfwStartupRefreshOnce"}},
        {L"_zephfw_priority", nullptr, 0,
         {L"zephfwPriorityLowest", L"zephfwPriorityLow", L"zephfwPriorityNormal", L"zephfwPriorityHigh",
          L"zephfwPriorityHighest"}},
        {L"_zephfw_behavior", nullptr, 0, {L"zephfwBehaviorIgnore", L"zephfwBehaviorMonitor", L"zephfwBehaviorMonitorOnce"}},
        {L"_zephfw_reason", nullptr, 0, {L"zephfwReasonNotice", L"zephfwReasonError"}},
        {L"_zephfw_info", nullptr, 0x600A0001,
         {L"ZEPHFW_I_PROC_INPROGRESS", L"ZEPHFW_I_PROC_COMPLETE", L"ZEPHFW_I_PROC_ABORTED", L"ZEPHFW_I_STAT_LIST_CHANGED",
          L"ZEPHFW_I_STAT_FOLDER_ADDED", L"ZEPHFW_I_STAT_FOLDER_REMOVED"}},
        {L"TnStorageTypes", L"{1BFAACC9-463A-486C-A7E1-FF182B9E363E}", 0,
         {L"tnStorageType_Unknown", L"tnStorageType_Fixed", L"tnStorageType_Removable", L"tnStorageType_Remote",
          L"tnStorageType_CDROM", L"tnStorageType_RAMDisk"}},
        {L"TnRegisteredFolderPropertyTypes", L"{395AE3F3-1109-4A48-B20D-BC98CC764C66}", 0,
         {L"tnRegisteredFolderProperty_MonitoringBehavior", L"tnRegisteredFolderProperty_RefreshOnStartup",
          L"tnRegisteredFolderProperty_WatchSubTree"}},
        {L"TnFolderStatusTypes", L"{D7BE1135-9B02-49A2-9991-F0AAA539B39F}", 0,
         {L"tnFolderStatusType_Busy", L"tnFolderStatusType_Monitoring"}},
        {L"TnFolderOperationTypes", L"{FA11ABE0-1D74-4BFB-A710-71BF276D202D}", 0,
         {L"tnFolderOperationType_Refresh", L"tnFolderOperationType_Delete", L"tnFolderOperationType_Rename",
          L"tnFolderOperationType_Update"}},
        {L"TnStorageEventTypes", nullptr, 0,
         {L"tnStorageEventType_Added", L"tnStorageEventType_Removed", L"tnStorageEventType_Enabled",
          L"tnStorageEventType_Disabled"}},
    };
}

class EnumTest : public testing::TestWithParam<EnumCase> {};

TEST_P(EnumTest, HasItsConstantsAndGuidOrNone) {
    const EnumCase& expected = GetParam();
    ComPtr<ITypeLib> lib = LoadLibraryFile(L"MarloZephFw.dll");
    ComPtr<ITypeInfo> type = TypeNamed(lib.get(), expected.name);
    const TypeAttr attr(type.get());
    EXPECT_EQ(attr->typekind, TKIND_ENUM);
    EXPECT_EQ(GuidToString(attr->guid), expected.guid ? expected.guid : GuidToString(GUID_NULL));
    ASSERT_EQ(attr->cVars, expected.constants.size());
    for (UINT i = 0; i < expected.constants.size(); ++i) {
        const VarDesc var(type.get(), i);
        EXPECT_EQ(NameOf(type.get(), var->memid), expected.constants[i]);
        ASSERT_EQ(var->varkind, VAR_CONST);
        EXPECT_EQ(V_I4(var->lpvarValue), expected.first + static_cast<LONG>(i)) << testing::PrintToString(expected.constants[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Watcher, EnumTest, testing::ValuesIn(WatcherEnums()));

// Plug-ins get SAFEARRAYs of this record through IRecordInfo, which copies by
// the library's layout: it has to be the compiler's. The 32-bit layout is 24
// bytes; a 64-bit VARIANT takes 24 bytes on its own, which makes 32.
TEST(TandemPropertyRecord, MatchesTheCompiledLayoutWithTheValueAtEight) {
    ComPtr<ITypeLib> lib = LoadLibraryFile(L"TandemPlugin.dll");
    ComPtr<ITypeInfo> type = TypeNamed(lib.get(), L"TandemProperty");
    const TypeAttr attr(type.get());
    EXPECT_EQ(attr->typekind, TKIND_RECORD);
    EXPECT_EQ(GuidToString(attr->guid), L"{1ACDFC2A-C0D9-4431-97EE-64714CF5F58E}");
    EXPECT_EQ(attr->cbSizeInstance, sizeof(TandemProperty));
    EXPECT_EQ(attr->cbSizeInstance, sizeof(void*) == 8 ? 32u : 24u);
    ASSERT_EQ(attr->cVars, 2);
    const VarDesc id(type.get(), 0);
    const VarDesc value(type.get(), 1);
    EXPECT_EQ(NameOf(type.get(), id->memid), L"ID");
    EXPECT_EQ(id->oInst, 0u);
    EXPECT_EQ(id->elemdescVar.tdesc.vt, VT_I4);
    EXPECT_EQ(NameOf(type.get(), value->memid), L"Value");
    EXPECT_EQ(value->oInst, 8u);
    EXPECT_EQ(value->oInst, offsetof(TandemProperty, Value));
    EXPECT_EQ(value->elemdescVar.tdesc.vt, VT_VARIANT);
}

struct EventMethod {
    DISPID id;
    const wchar_t* name;
    const wchar_t* parameters;
};

struct EventCase {
    const IID* iid;
    const wchar_t* name;
    std::vector<EventMethod> methods;
};

void PrintTo(const EventCase& c, std::ostream* os) { *os << testing::PrintToString(std::wstring(c.name)); }

std::vector<EventCase> WatcherEvents() {
    return {
        {&DIID__IFolderWatcherEvents, L"_IFolderWatcherEvents",
         {
             {1, L"OnRefreshFolder", L"[in] BSTR folder, [in] long reason, [in] long param, [in] long progress"},
             {2, L"OnStatusChange", L"[in] BSTR folder, [in] long reason, [in] long param"},
             {3, L"OnLoadingComplete", L"[in] BSTR file, [in] long reason, [in] long param"},
         }},
        {&DIID__ITnRegisteredFolderEvents, L"_ITnRegisteredFolderEvents",
         {
             {1, L"OnStatusChangeEx",
              L"[in] TnFolderStatusTypes nStatusType, [in] ITnRegisteredFolder* pRegisteredFolder, "
              L"[in] VARIANT oldValue, [in] VARIANT newValue"},
             {2, L"OnOperationProgress",
              L"[in] TnFolderOperationTypes nOperationType, [in] ITnRegisteredFolder* pRegisteredFolder, "
              L"[in] float nPercentage"},
             {3, L"OnOperationAbort",
              L"[in] TnFolderOperationTypes nOperationType, [in] ITnRegisteredFolder* pRegisteredFolder"},
         }},
        {&DIID__ITnStorageManagerEvents, L"_ITnStorageManagerEvents",
         {
             {1, L"OnStorageEvent", L"[in] TnStorageEventTypes nEventType, [in] ITnStorageInfo* pStorageInfo"},
         }},
    };
}

class EventInterfaceTest : public testing::TestWithParam<EventCase> {};

TEST_P(EventInterfaceTest, IsAPureDispinterfaceWithItsMethods) {
    const EventCase& expected = GetParam();
    ComPtr<ITypeLib> lib = LoadLibraryFile(L"MarloZephFw.dll");
    ComPtr<ITypeInfo> type;
    CheckHr(lib->GetTypeInfoOfGuid(*expected.iid, type.put()));
    EXPECT_EQ(NameOf(type.get()), expected.name);
    const TypeAttr attr(type.get());
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_FALSE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    ASSERT_EQ(attr->cFuncs, expected.methods.size());
    for (UINT i = 0; i < expected.methods.size(); ++i) {
        const EventMethod& method = expected.methods[i];
        SCOPED_TRACE(testing::PrintToString(std::wstring(method.name)));
        const FuncDesc func(type.get(), i);
        EXPECT_EQ(func->funckind, FUNC_DISPATCH);
        EXPECT_EQ(func->memid, method.id);
        EXPECT_EQ(NameOf(type.get(), func->memid), method.name);
        EXPECT_EQ(DescribeParameters(type.get(), *func), method.parameters);
    }
}

INSTANTIATE_TEST_SUITE_P(Watcher, EventInterfaceTest, testing::ValuesIn(WatcherEvents()));

struct Implemented {
    std::wstring name;
    INT flags;
};

bool operator==(const Implemented& a, const Implemented& b) { return a.name == b.name && a.flags == b.flags; }

void PrintTo(const Implemented& i, std::ostream* os) { *os << testing::PrintToString(i.name) << " flags " << i.flags; }

// The service's classes refer to the watcher library instead of copying its
// interfaces, so that registering them leaves the interfaces' entries alone.
class ServiceClasses : public testing::Test {
protected:
    std::vector<Implemented> ImplementedBy(ITypeInfo* type) {
        std::vector<Implemented> result;
        for (UINT i = 0, n = TypeAttr(type)->cImplTypes; i < n; ++i) {
            ComPtr<ITypeInfo> impl = ImplementedType(type, i);
            ComPtr<ITypeLib> container;
            UINT index = 0;
            CheckHr(impl->GetContainingTypeLib(container.put(), &index));
            EXPECT_EQ(GuidToString(LibAttr(container.get())->guid), GuidToString(LIBID_MarloZephFw));
            INT flags = 0;
            CheckHr(type->GetImplTypeFlags(i, &flags));
            result.push_back({NameOf(impl.get()), flags});
        }
        return result;
    }

    // Holding the watcher library open lets the references into it resolve
    // without a registration.
    ComPtr<ITypeLib> watcher_ = LoadLibraryFile(L"MarloZephFw.dll");
    ComPtr<ITypeLib> lib_ = LoadLibraryFile(L"MarloTandem.tlb");
};

TEST_F(ServiceClasses, AreTheOnlyTypesOfTheLibrary) {
    ASSERT_EQ(lib_->GetTypeInfoCount(), 2u);
    for (UINT i = 0; i < 2; ++i) {
        TYPEKIND kind = TKIND_MAX;
        CheckHr(lib_->GetTypeInfoType(i, &kind));
        EXPECT_EQ(kind, TKIND_COCLASS);
    }
}

TEST_F(ServiceClasses, FolderWatcherListsItsInterfaceAndDefaultSource) {
    ComPtr<ITypeInfo> type;
    CheckHr(lib_->GetTypeInfoOfGuid(CLSID_FolderWatcher, type.put()));
    EXPECT_EQ(NameOf(type.get()), L"FolderWatcher");
    EXPECT_EQ(DocStringOf(type.get()), L"Marlo.Tandem.FolderWatcher Class");
    EXPECT_TRUE(TypeAttr(type.get())->wTypeFlags & TYPEFLAG_FCANCREATE);
    const std::vector<Implemented> expected{
        {L"IFolderWatcher3", IMPLTYPEFLAG_FDEFAULT},
        {L"_IFolderWatcherEvents", IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
        {L"_ITnRegisteredFolderEvents", IMPLTYPEFLAG_FSOURCE},
    };
    EXPECT_EQ(ImplementedBy(type.get()), expected);
}

TEST_F(ServiceClasses, StorageManagerListsItsInterfaceAndDefaultSource) {
    ComPtr<ITypeInfo> type;
    CheckHr(lib_->GetTypeInfoOfGuid(CLSID_TnStorageManager, type.put()));
    EXPECT_EQ(NameOf(type.get()), L"TnStorageManager");
    EXPECT_EQ(DocStringOf(type.get()), L"Marlo.Tandem.TnStorageManager Class");
    EXPECT_TRUE(TypeAttr(type.get())->wTypeFlags & TYPEFLAG_FCANCREATE);
    const std::vector<Implemented> expected{
        {L"ITnStorageManager", IMPLTYPEFLAG_FDEFAULT},
        {L"_ITnStorageManagerEvents", IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
    };
    EXPECT_EQ(ImplementedBy(type.get()), expected);
}

}  // namespace
