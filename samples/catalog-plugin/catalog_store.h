#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "catalog_format.h"

namespace tandem::catalog {

// Told once for each catalog file that could be read only in part.
using DamageReporter = std::function<void(const std::wstring& file, size_t damagedLines)>;

// The catalogs of every folder the plug-in was handed, shared by all plug-in
// instances of the process (the service opens several per folder). Changes
// are written by a thread of the store a moment after they were made, so a
// burst of changes costs one write per catalog; the store's end writes what
// is left.
class CatalogStore {
public:
    CatalogStore(std::wstring directory, DamageReporter reporter);
    CatalogStore(const CatalogStore&) = delete;
    CatalogStore& operator=(const CatalogStore&) = delete;
    ~CatalogStore();

    // The instance for the default directory, made on first use and kept
    // while any caller holds it.
    static std::shared_ptr<CatalogStore> Shared();

    // A folder gets a catalog of its own unless a catalogued folder holds it;
    // catalogs of folders it holds are merged into it.
    void AddFolder(const std::wstring& folder);
    // A catalogued folder loses its catalog; any other folder its files.
    void RemoveFolder(const std::wstring& folder);
    // The files below folder are replaced by these, in one step.
    void ReplaceFolder(const std::wstring& folder, std::map<std::wstring, CatalogEntry, LessNoCase> entries);
    void Put(const std::wstring& path, CatalogEntry entry);
    void Remove(const std::wstring& path);

    // Writes every changed catalog now.
    void Flush();
    std::vector<Catalog> Snapshot() const;

private:
    using Catalogs = std::map<std::wstring, Catalog, LessNoCase>;

    void Load(const DamageReporter& reporter);
    Catalog& OwnerOf(const std::wstring& path);
    Catalogs::iterator FindOwner(const std::wstring& path);
    Catalog& AddFolderLocked(const std::wstring& folder);
    void Changed(const std::wstring& root);
    void WriterLoop();
    void WritePending(std::unique_lock<std::mutex>& hold);

    const std::wstring directory_;
    mutable std::mutex lock_;
    // Taken before lock_ by the one writing files.
    std::mutex writing_;
    std::condition_variable wake_;
    Catalogs catalogs_;
    std::set<std::wstring, LessNoCase> changed_;
    bool stopping_ = false;
    std::thread writer_;
};

}  // namespace tandem::catalog
