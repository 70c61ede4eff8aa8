#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog_files.h"
#include "catalog_store.h"
#include "plugin_object_fakes.h"

using namespace tandem;
using namespace tandem::catalog;

namespace {

class CatalogStoreTest : public ::testing::Test {
protected:
    std::unique_ptr<CatalogStore> Open() {
        return std::make_unique<CatalogStore>(directory_, [this](const std::wstring& file, size_t lines) {
            damaged_.emplace_back(file, lines);
        });
    }
    ParsedCatalog OnDisk(const std::wstring& root) {
        const auto bytes = ReadWholeFile(CatalogFileName(directory_, root));
        return bytes ? ParseCatalog(*bytes) : ParsedCatalog{};
    }

    test::TempTree tree_;
    const std::wstring directory_ = tree_.Folder(L"catalogs\\");
    std::vector<std::pair<std::wstring, size_t>> damaged_;
};

CatalogEntry Entry(ULONGLONG size) { return CatalogEntry{size, 2.0, {{500, VT_BSTR, L"x"}}}; }

}  // namespace

TEST_F(CatalogStoreTest, ChangesReachTheFileAndSurviveANewStore) {
    {
        auto store = Open();
        store->AddFolder(L"C:\\Media\\");
        store->Put(L"C:\\Media\\a.jpg", Entry(1));
        store->Put(L"C:\\Media\\b.jpg", Entry(2));
        store->Remove(L"c:\\media\\A.JPG");
        store->Flush();
        const ParsedCatalog parsed = OnDisk(L"c:\\MEDIA");
        ASSERT_TRUE(parsed.headerValid);
        EXPECT_EQ(parsed.catalog.root, L"C:\\Media");
        ASSERT_EQ(parsed.catalog.entries.size(), 1u);
        EXPECT_EQ(parsed.catalog.entries.at(L"C:\\Media\\b.jpg"), Entry(2));
        // Left for the store's end to write.
        store->Put(L"C:\\Media\\c.jpg", Entry(3));
    }
    const auto store = Open();
    const std::vector<Catalog> catalogs = store->Snapshot();
    ASSERT_EQ(catalogs.size(), 1u);
    EXPECT_EQ(catalogs[0].entries.size(), 2u);
    EXPECT_TRUE(damaged_.empty());
    EXPECT_EQ(CatalogFiles(directory_).size(), 1u);
}

TEST_F(CatalogStoreTest, AFolderAbsorbsTheCatalogsBelowItAndTakesThemAlongWhenRemoved) {
    auto store = Open();
    store->Put(L"C:\\Media\\Photos\\early.jpg", Entry(1));
    store->Flush();
    EXPECT_TRUE(OnDisk(L"C:\\Media\\Photos").headerValid);
    store->AddFolder(L"C:\\Media");
    store->Put(L"C:\\Media\\Photos\\Trip\\later.jpg", Entry(2));
    store->Flush();
    EXPECT_FALSE(OnDisk(L"C:\\Media\\Photos").headerValid);
    EXPECT_EQ(OnDisk(L"C:\\Media").catalog.entries.size(), 2u);

    store->RemoveFolder(L"C:\\Media\\Photos\\Trip");
    store->Flush();
    EXPECT_EQ(OnDisk(L"C:\\Media").catalog.entries.size(), 1u);
    store->RemoveFolder(L"C:\\Media\\");
    store->Flush();
    EXPECT_TRUE(CatalogFiles(directory_).empty());
}

TEST_F(CatalogStoreTest, ReplacingAFolderTouchesOnlyTheFilesBelowIt) {
    auto store = Open();
    store->AddFolder(L"C:\\Media");
    store->Put(L"C:\\Media\\top.jpg", Entry(1));
    store->Put(L"C:\\Media\\Sub\\old.jpg", Entry(2));
    std::map<std::wstring, CatalogEntry, LessNoCase> fresh{{L"C:\\Media\\Sub\\new.jpg", Entry(3)}};
    store->ReplaceFolder(L"C:\\Media\\Sub", std::move(fresh));
    const auto entries = store->Snapshot().at(0).entries;
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries.contains(L"C:\\Media\\top.jpg"));
    EXPECT_TRUE(entries.contains(L"C:\\Media\\Sub\\new.jpg"));
}

TEST_F(CatalogStoreTest, ADamagedFileIsToldAndWhatCanBeReadIsKept) {
    {
        auto store = Open();
        store->AddFolder(L"C:\\Media");
        store->Put(L"C:\\Media\\a.jpg", Entry(1));
        store->Put(L"C:\\Media\\b.jpg", Entry(2));
    }
    const std::wstring file = CatalogFileName(directory_, L"C:\\Media");
    auto bytes = *ReadWholeFile(file);
    bytes.resize(bytes.size() - 4);
    ReplaceFile(file, std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    ReplaceFile(directory_ + L"garbage.catalog", "not a catalog\n");

    const auto store = Open();
    ASSERT_EQ(damaged_.size(), 2u);
    const auto catalogs = store->Snapshot();
    ASSERT_EQ(catalogs.size(), 1u);
    EXPECT_EQ(catalogs[0].entries.size(), 2u);
    EXPECT_TRUE(catalogs[0].entries.at(L"C:\\Media\\b.jpg").properties.empty());
}

TEST_F(CatalogStoreTest, CatalogsLeftNestedOnDiskAreMergedAtLoad) {
    ReplaceFile(CatalogFileName(directory_, L"C:\\Media"), SerializeCatalog({L"C:\\Media", {{L"C:\\Media\\a", Entry(1)}}}));
    ReplaceFile(CatalogFileName(directory_, L"C:\\Media\\Sub"),
                SerializeCatalog({L"C:\\Media\\Sub", {{L"C:\\Media\\Sub\\b", Entry(2)}}}));
    Open()->Flush();
    EXPECT_EQ(CatalogFiles(directory_).size(), 1u);
    EXPECT_EQ(OnDisk(L"C:\\Media").catalog.entries.size(), 2u);
}
