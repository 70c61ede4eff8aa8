// regsvr32 registers orvparser.ax in the build prefix's registry; the filter
// mapper then finds it by its input type and COM creates it by class.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "com_ptr.h"
#include "common/testing/com_apartment.h"
#include "common/testing/machine_lock.h"
#include "error.h"
#include "module_path.h"
#include "common/testing/child_process.h"
#include "orvak_guids.h"
#include "orvak_parser.h"
#include "registry.h"
#include "strings.h"
#include "unique_resource.h"

using namespace tandem;
using namespace tandem::orvak;

namespace {

DWORD RunRegsvr32(const std::wstring& switches) {
    return tandem::test::RunProgram(L"regsvr32.exe /s " + switches + L" \"" + ModuleDirectory(nullptr) + L"orvparser.ax\"");
}

std::optional<std::wstring> Value(const std::wstring& key, const wchar_t* name) {
    std::optional<RegKey> opened = TryOpenKey(HKEY_CLASSES_ROOT, key);
    if (!opened) return std::nullopt;
    return TryReadString(opened->get(), name);
}

// The friendly name the mapper lists for filters taking a stream of the codec.
std::optional<std::wstring> MatchingFilterName() {
    ComPtr<IFilterMapper2> mapper;
    CheckHr(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                             mapper.put_void()));
    const GUID types[2] = {MEDIATYPE_Stream, kOrvakSubtype};
    ComPtr<IEnumMoniker> monikers;
    CheckHr(mapper->EnumMatchingFilters(monikers.put(), 0, FALSE, MERIT_DO_NOT_USE + 1, TRUE, 1, types, nullptr,
                                        nullptr, FALSE, FALSE, 0, nullptr, nullptr, nullptr));
    for (;;) {
        ComPtr<IMoniker> moniker;
        if (monikers->Next(1, moniker.put(), nullptr) != S_OK) return std::nullopt;
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void()))) continue;
        VARIANT clsid;
        VariantInit(&clsid);
        if (FAILED(bag->Read(L"CLSID", &clsid, nullptr))) continue;
        const bool ours = clsid.vt == VT_BSTR && GuidToString(kOrvakParserClsid) == clsid.bstrVal;
        VariantClear(&clsid);
        if (!ours) continue;
        VARIANT name;
        VariantInit(&name);
        CheckHr(bag->Read(L"FriendlyName", &name, nullptr));
        std::wstring text = name.vt == VT_BSTR ? name.bstrVal : L"";
        VariantClear(&name);
        return text;
    }
}

}  // namespace

TEST(OrvparserRegistration, Regsvr32RegistersAndRemovesClassAndFilter) {
    tandem::test::MachineLock lock(L"Local\\TandemOrvparserRegistrationTests");
    tandem::test::ComApartment apartment;
    const std::wstring classKey = L"CLSID\\" + GuidToString(kOrvakParserClsid);

    ASSERT_EQ(RunRegsvr32(L""), 0u);
    EXPECT_EQ(Value(classKey + L"\\InprocServer32", nullptr), ModuleDirectory(nullptr) + L"orvparser.ax");
    EXPECT_EQ(Value(classKey + L"\\InprocServer32", L"ThreadingModel"), L"Both");
    EXPECT_EQ(MatchingFilterName(), kFilterName);

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(CoCreateInstance(kOrvakParserClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.put_void()),
              S_OK);
    CLSID clsid{};
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, kOrvakParserClsid);
    ComPtr<IPin> input;
    EXPECT_EQ(filter->FindPin(L"Input", input.put()), S_OK);
    filter.reset();

    ASSERT_EQ(RunRegsvr32(L"/u"), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));
    EXPECT_EQ(MatchingFilterName(), std::nullopt);
}
