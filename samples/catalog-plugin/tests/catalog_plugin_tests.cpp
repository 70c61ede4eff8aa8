#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "bstr.h"
#include "catalog_files.h"
#include "catalog_plugin.h"
#include "catalog_store.h"
#include "com/type_library_registration.h"
#include "file_info_builder.h"
#include "folder_info_manager.h"
#include "module_path.h"
#include "plugin_object_fakes.h"
#include "plugin_object_services.h"
#include "registered_folder.h"
#include "tandem_content.h"
#include "tandem_folder.h"
#include "testing/com_apartment.h"
#include "testing/registry_sandbox.h"
#include "unique_resource.h"

using namespace tandem;
using namespace tandem::catalog;
using namespace tandem::test;

namespace {

// The plug-in as the service drives it, over the service's own content and
// folder objects for files on disk.
class CatalogPluginTest : public ::testing::Test {
protected:
    CatalogPluginTest() {
        RegisterTypeLibrary(ModuleDirectory(nullptr) + L"TandemPlugin.dll", RegistrationScope::Machine);
        store_ = std::make_shared<CatalogStore>(tree_.Folder(L"catalogs\\"), [](const std::wstring&, size_t) {});
        plugin_ = MakeComObject<CTandemCatalog>(store_);
        media_ = tree_.Folder(L"My M\u00fcsic");
    }

    ComPtr<ITandemFolder> Folder(const std::wstring& path) {
        auto registered = MakeShared<RegisteredFolder>(L"ID", FolderMonitorFactory());
        registered->WatchSubTree = true;
        return MakeTandemFolder(folders_.Get(path), registered, services_);
    }
    ComPtr<ITandemContent> Content(const std::wstring& path) {
        return MakeTandemContent(BuildContentInfo(source_, folders_, {}, path), services_);
    }
    std::map<std::wstring, CatalogEntry, LessNoCase> Entries() {
        const auto catalogs = store_->Snapshot();
        return catalogs.empty() ? std::map<std::wstring, CatalogEntry, LessNoCase>{} : catalogs.at(0).entries;
    }

    ComApartment apartment_;
    RegistrySandbox sandbox_;
    TempTree tree_;
    FakeSource source_;
    FolderInfoManager folders_{ExclusionList{}};
    PluginObjectServicesPtr services_ = MakePluginObjectServices(source_, folders_, {});
    std::shared_ptr<CatalogStore> store_;
    ComPtr<ComObject<CTandemCatalog>> plugin_;
    std::wstring media_;
};

}  // namespace

TEST_F(CatalogPluginTest, AnImportedFolderIsCataloguedWithItsSubFoldersAndProperties) {
    const std::wstring top = tree_.File(L"My M\u00fcsic\\one two.mp3", 7);
    tree_.Folder(L"My M\u00fcsic\\Sub");
    const std::wstring nested = tree_.File(L"My M\u00fcsic\\Sub\\deep.mp3", 5);
    ASSERT_EQ(plugin_->ImportFolder(Folder(media_).get()), S_OK);
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries.at(top).size, 7u);
    EXPECT_EQ(entries.at(nested).size, 5u);
    const std::vector<CatalogProperty> expected{{500, VT_BSTR, L"path"}, {11110, VT_I4, L"1"}};
    EXPECT_EQ(entries.at(nested).properties, expected);
    EXPECT_EQ(store_->Snapshot().at(0).root, media_);
}

TEST_F(CatalogPluginTest, FileChangesFollowImportRenameAndDelete) {
    ASSERT_EQ(plugin_->ImportFolder(Folder(media_).get()), S_OK);
    const std::wstring first = tree_.File(L"My M\u00fcsic\\a.jpg");
    ASSERT_EQ(plugin_->ImportContent(Content(first).get()), S_OK);
    const std::wstring renamed = media_ + L"\\b.jpg";
    ASSERT_TRUE(MoveFileW(first.c_str(), renamed.c_str()));
    ASSERT_EQ(plugin_->RenameContent(Bstr(first).get(), Content(renamed).get()), S_OK);
    EXPECT_EQ(Entries().size(), 1u);
    EXPECT_TRUE(Entries().contains(renamed));
    ASSERT_EQ(plugin_->DeleteContent(Bstr(renamed).get()), S_OK);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(plugin_->ImportContent(nullptr), E_POINTER);
}

TEST_F(CatalogPluginTest, ARefreshRebuildsWhatWasLostAndAFolderDeleteDropsItsFiles) {
    tree_.Folder(L"My M\u00fcsic\\Sub");
    const std::wstring kept = tree_.File(L"My M\u00fcsic\\Sub\\kept.mp3");
    store_->Put(media_ + L"\\gone.mp3", CatalogEntry{});
    ASSERT_EQ(plugin_->RefreshFolder(Folder(media_).get(), nullptr), S_OK);
    EXPECT_EQ(Entries().size(), 1u);
    EXPECT_TRUE(Entries().contains(kept));
    ASSERT_EQ(plugin_->DeleteFolder(Bstr(media_ + L"\\Sub").get(), nullptr), S_OK);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(store_->Snapshot().size(), 1u);
    ASSERT_EQ(plugin_->DeleteFolder(Bstr(media_).get(), nullptr), S_OK);
    EXPECT_TRUE(store_->Snapshot().empty());
}

TEST(CatalogModule, RegistersItsClassAndTogglesItsPluginEntry) {
    ComApartment apartment;
    RegistrySandbox sandbox;
    UniqueModule module(LoadLibraryW((ModuleDirectory(nullptr) + L"TandemCatalog.dll").c_str()));
    ASSERT_TRUE(module);
    const auto call = [&](const char* name) {
        return reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)))();
    };
    const auto install = reinterpret_cast<HRESULT(WINAPI*)(BOOL, const wchar_t*)>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "DllInstall")));
    const std::wstring entry = L"SOFTWARE\\Marlo Corporation\\Tandem Content Folder Watcher\\Plugin\\TandemCatalog";

    ASSERT_EQ(call("DllRegisterServer"), S_OK);
    const std::wstring clsid = GuidToString(CLSID_TandemCatalog);
    EXPECT_EQ(ReadString(OpenKey(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32").get(), nullptr),
              ModuleDirectory(nullptr) + L"TandemCatalog.dll");
    ASSERT_EQ(install(TRUE, L"plugin"), S_OK);
    EXPECT_EQ(ReadString(OpenKey(HKEY_LOCAL_MACHINE, entry).get(), L"CLSID"), clsid);
    EXPECT_EQ(install(TRUE, L"other"), E_INVALIDARG);
    ASSERT_EQ(install(FALSE, L"PLUGIN"), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, entry));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Marlo Corporation\\Tandem Content Folder Watcher\\Plugin"));
    ASSERT_EQ(call("DllUnregisterServer"), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Tandem.Catalog"));
}
