#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "bstr.h"
#include "error.h"
#include "file_info_builder.h"
#include "file_name_checker.h"
#include "safe_array.h"
#include "variant.h"
#include "file_info_list.h"
#include "tandem_content.h"
#include "tandem_folder.h"
#include "plugin_object_fakes.h"
#include "testing/com_apartment.h"
#include "unique_resource.h"

using namespace tandem;
using namespace tandem::test;

namespace {

class PluginObjects : public ::testing::Test {
protected:
    PluginObjects() : services_(MakePluginObjectServices(source_, folders_, {})) {}

    ComPtr<ITandemContent> Content(const std::wstring& path) {
        return MakeTandemContent(BuildContentInfo(source_, folders_, {}, path), services_);
    }
    ComPtr<ITandemFolder> Folder(const std::wstring& path, SharedPtr<RegisteredFolder> registered = nullptr) {
        return MakeTandemFolder(folders_.Get(path), std::move(registered), services_);
    }
    static SharedPtr<RegisteredFolder> Registered(bool subTree, std::set<LONG> categories = {}) {
        auto folder = MakeShared<RegisteredFolder>(L"ID", FolderMonitorFactory());
        folder->WatchSubTree = subTree;
        folder->SetObjectCategories(std::move(categories));
        return folder;
    }
    template <class List>
    static LONG CountOf(List* list) {
        LONG count = -1;
        EXPECT_EQ(list->get_Count(&count), S_OK);
        return count;
    }
    static std::wstring PathOf(ITandemFolder* folder) {
        Bstr path;
        EXPECT_EQ(folder->get_Path(path.put()), S_OK);
        return path.str();
    }

    test::ComApartment apartment_;
    TempTree tree_;
    FakeSource source_;
    FolderInfoManager folders_{ExclusionList{}};
    PluginObjectServicesPtr services_;
};

DATE ExpectedLocalDate(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    FILETIME local;
    SYSTEMTIME calendar;
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &calendar);
    calendar.wMilliseconds = 0;
    DATE date = 0;
    SystemTimeToVariantTime(&calendar, &date);
    return date;
}

}  // namespace

TEST_F(PluginObjects, ContentReportsPathTimesSizeAndHiddenAncestor) {
    tree_.Folder(L"Hide", FILE_ATTRIBUTE_HIDDEN);
    const std::wstring path = tree_.File(L"Hide\\a.jpg", 1234);
    auto content = Content(path);
    Bstr text;
    ASSERT_EQ(content->get_Path(text.put()), S_OK);
    EXPECT_EQ(text.str(), path);
    DATE written = 0;
    ASSERT_EQ(content->get_LastWriteTime(&written), S_OK);
    EXPECT_DOUBLE_EQ(written, ExpectedLocalDate(path));
    ULONGLONG size = 0;
    ASSERT_EQ(content->get_Size(&size), S_OK);
    EXPECT_EQ(size, 1234u);
    VARIANT_BOOL hidden = VARIANT_FALSE;
    ASSERT_EQ(content->get_Hidden(&hidden), S_OK);
    EXPECT_EQ(hidden, VARIANT_TRUE);
    EXPECT_EQ(content->get_Size(nullptr), E_POINTER);
}

TEST_F(PluginObjects, ExcludedFileIsAbsent) {
    const std::wstring path = tree_.File(L"a.tmp");
    ExclusionList files{MakeFileChecker(L"*.tmp")};
    EXPECT_EQ(CatchHr([&] { BuildContentInfo(source_, folders_, files, path); }), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(PluginObjects, FolderPathAndNameHaveNoTrailingBackslash) {
    const std::wstring path = tree_.Folder(L"Music");
    auto folder = Folder(path + L"\\");
    EXPECT_EQ(PathOf(folder.get()), path);
    Bstr name;
    ASSERT_EQ(folder->get_Name(name.put()), S_OK);
    EXPECT_EQ(name.str(), L"Music");
}

// A separator doubled after the root once made the parent walk recurse
// without end.
TEST_F(PluginObjects, DoubledSeparatorsNameTheSameFolder) {
    const std::wstring path = tree_.Folder(L"Music");
    const size_t afterRoot = path.find(L'\\') + 1;
    const std::wstring doubled = path.substr(0, afterRoot) + L"\\\\" + path.substr(afterRoot) + L"\\\\";
    EXPECT_EQ(folders_.Get(doubled).get(), folders_.Get(path).get());
    EXPECT_EQ(PathOf(Folder(doubled).get()), path);
}

TEST_F(PluginObjects, ListsCountFromOneAndEnumerateAsUnknown) {
    tree_.File(L"a.jpg");
    tree_.File(L"b.jpg");
    auto folder = Folder(tree_.Root());
    ComPtr<ITandemContentList> list;
    ASSERT_EQ(folder->get_SubContents(list.put()), S_OK);
    ASSERT_EQ(CountOf(list.get()), 2);
    ComPtr<ITandemContent> item;
    EXPECT_EQ(list->get_Item(0, item.put()), E_INVALIDARG);
    EXPECT_EQ(list->get_Item(3, item.put()), E_INVALIDARG);
    EXPECT_EQ(list->get_Item(1, item.put()), S_OK);
    EXPECT_TRUE(item);

    ComPtr<IUnknown> unknown;
    ASSERT_EQ(list->get__NewEnum(unknown.put()), S_OK);
    ComPtr<IEnumVARIANT> items;
    ASSERT_EQ(unknown.as(items), S_OK);
    VARIANT values[3];
    EXPECT_EQ(items->Next(2, values, nullptr), E_POINTER);
    EXPECT_EQ(items->Next(3, nullptr, nullptr), E_POINTER);
    ULONG fetched = 0;
    ASSERT_EQ(items->Next(3, values, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(V_VT(&values[0]), VT_UNKNOWN);
    for (ULONG i = 0; i < fetched; ++i) VariantClear(&values[i]);
    EXPECT_EQ(items->Reset(), S_OK);
    EXPECT_EQ(items->Skip(1), S_OK);
    ComPtr<IEnumVARIANT> clone;
    ASSERT_EQ(items->Clone(clone.put()), S_OK);
    EXPECT_EQ(clone->Skip(2), S_FALSE);
    EXPECT_EQ(items->Next(1, values, nullptr), S_OK);
    VariantClear(&values[0]);
}

TEST_F(PluginObjects, SubFoldersFollowSubTreeAndHiddenRules) {
    tree_.Folder(L"Open");
    tree_.Folder(L"Secret", FILE_ATTRIBUTE_HIDDEN);
    tree_.File(L"x.jpg");
    tree_.File(L"h.jpg", 3, FILE_ATTRIBUTE_HIDDEN);

    auto flat = Folder(tree_.Root(), Registered(false));
    ComPtr<ITandemFolderList> subFolders;
    ComPtr<ITandemContentList> contents;
    ASSERT_EQ(flat->get_SubFolders(subFolders.put()), S_OK);
    ASSERT_EQ(flat->get_SubContents(contents.put()), S_OK);
    EXPECT_EQ(CountOf(subFolders.get()), 0);
    EXPECT_EQ(CountOf(contents.get()), 1);

    auto deep = Folder(tree_.Root(), Registered(true));
    ASSERT_EQ(deep->get_SubFolders(subFolders.put()), S_OK);
    ASSERT_EQ(CountOf(subFolders.get()), 1);
    ComPtr<ITandemFolder> only;
    ASSERT_EQ(subFolders->get_Item(1, only.put()), S_OK);
    EXPECT_EQ(PathOf(only.get()), tree_.Root() + L"Open");
    ComPtr<ITandemFolderList> again;
    ASSERT_EQ(deep->get_SubFolders(again.put()), S_OK);
    EXPECT_EQ(again.get(), subFolders.get());
}

TEST_F(PluginObjects, InsideAHiddenFolderBothListsAreEmpty) {
    tree_.Folder(L"Secret", FILE_ATTRIBUTE_HIDDEN);
    tree_.Folder(L"Secret\\Inner");
    tree_.File(L"Secret\\x.jpg");
    auto folder = Folder(tree_.Root() + L"Secret", Registered(true));
    ComPtr<ITandemFolderList> subFolders;
    ComPtr<ITandemContentList> contents;
    ASSERT_EQ(folder->get_SubFolders(subFolders.put()), S_OK);
    ASSERT_EQ(folder->get_SubContents(contents.put()), S_OK);
    EXPECT_EQ(CountOf(subFolders.get()), 0);
    EXPECT_EQ(CountOf(contents.get()), 0);
}

TEST_F(PluginObjects, SubContentsKeepOnlyRestrictedCategories) {
    tree_.File(L"3-small.jpg");
    tree_.File(L"5-song.wav");
    auto folder = Folder(tree_.Root(), Registered(true, {3}));
    ComPtr<ITandemContentList> contents;
    ASSERT_EQ(folder->get_SubContents(contents.put()), S_OK);
    ASSERT_EQ(CountOf(contents.get()), 1);
    ComPtr<ITandemContent> item;
    ASSERT_EQ(contents->get_Item(1, item.put()), S_OK);
    Bstr path;
    ASSERT_EQ(item->get_Path(path.put()), S_OK);
    EXPECT_EQ(path.str(), tree_.Root() + L"3-small.jpg");
}

TEST_F(PluginObjects, FailedListingIsRetried) {
    const std::wstring path = tree_.Folder(L"Gone");
    auto folder = Folder(path);
    RemoveDirectoryW(path.c_str());
    ComPtr<ITandemContentList> contents;
    EXPECT_TRUE(FAILED(folder->get_SubContents(contents.put())));
    CreateDirectoryW(path.c_str(), nullptr);
    EXPECT_EQ(folder->get_SubContents(contents.put()), S_OK);
}

TEST_F(PluginObjects, AllPropertiesAreOneRecordArrayReadOnce) {
    auto content = Content(tree_.File(L"a.jpg"));
    for (int round = 0; round < 2; ++round) {
        SafeArray array;
        ASSERT_EQ(content->GetAllProperties(array.put()), S_OK);
        VARTYPE type = VT_EMPTY;
        ASSERT_EQ(SafeArrayGetVartype(array.get(), &type), S_OK);
        EXPECT_EQ(type, VT_RECORD);
        ASSERT_EQ(array.get()->rgsabound[0].cElements, 2u);
        const SafeArrayAccess access(array.get());
        const auto* element = access.data<TandemProperty>();
        EXPECT_EQ(element[0].ID, 500);
        EXPECT_EQ(BstrView(V_BSTR(&element[0].Value)), L"path");
        EXPECT_EQ(element[1].ID, 11110);
    }
    EXPECT_EQ(source_.reads, 1);
}

TEST_F(PluginObjects, GetPropertyTakesOnlyPropertyRecordsAsParameters) {
    auto content = Content(tree_.File(L"a.jpg"));
    SAFEARRAYBOUND bound{2, 0};
    SafeArray records(SafeArrayCreateEx(VT_RECORD, 1, &bound, services_->propertyRecord.get()));
    Variant value;
    ASSERT_EQ(content->GetProperty(500, records.get(), value.put()), S_OK);
    EXPECT_EQ(source_.lastParams, 2u);
    EXPECT_EQ(value.type(), VT_BSTR);
    SafeArray longs(SafeArrayCreateVector(VT_I4, 0, 3));
    ASSERT_EQ(content->GetProperty(7, longs.get(), value.put()), S_OK);
    EXPECT_EQ(source_.lastParams, 0u);
    EXPECT_EQ(value.type(), VT_EMPTY);
}
