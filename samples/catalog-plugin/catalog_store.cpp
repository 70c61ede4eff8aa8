#include "catalog_store.h"

#include <chrono>
#include <optional>

#include "catalog_files.h"
#include "error.h"
#include "catalog_event_log.h"
#include "paths.h"

namespace tandem::catalog {
namespace {

// Long enough to gather a burst of settled changes into one write.
constexpr auto kWriteDelay = std::chrono::milliseconds(250);

std::wstring ParentOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(0, slash);
}

}  // namespace

CatalogStore::CatalogStore(std::wstring directory, DamageReporter reporter) : directory_(std::move(directory)) {
    Load(reporter);
    writer_ = std::thread([this] { WriterLoop(); });
}

CatalogStore::~CatalogStore() {
    {
        std::lock_guard hold(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    writer_.join();
}

std::shared_ptr<CatalogStore> CatalogStore::Shared() {
    static std::mutex creation;
    static std::weak_ptr<CatalogStore> instance;
    std::lock_guard hold(creation);
    std::shared_ptr<CatalogStore> store = instance.lock();
    if (!store) {
        store = std::make_shared<CatalogStore>(DefaultCatalogDirectory(), ReportDamagedCatalog);
        instance = store;
    }
    return store;
}

void CatalogStore::Load(const DamageReporter& reporter) {
    std::map<std::wstring, size_t, LessNoCase> readEntries;
    for (const std::wstring& file : CatalogFiles(directory_)) {
        const auto bytes = ReadWholeFile(file);
        if (!bytes) continue;
        ParsedCatalog parsed = ParseCatalog(*bytes);
        if (parsed.damagedLines > 0 || !parsed.headerValid) reporter(file, parsed.damagedLines);
        if (!parsed.headerValid) continue;
        readEntries[parsed.catalog.root] = parsed.catalog.entries.size();
        // A catalog of a folder that another catalogued folder holds is merged into it.
        Catalog& catalog = AddFolderLocked(parsed.catalog.root);
        catalog.entries.merge(parsed.catalog.entries);
        if (!EqualsNoCase(catalog.root, parsed.catalog.root)) Changed(parsed.catalog.root);
    }
    // Only merged catalogs need writing, and the files of those merged away removing.
    std::erase_if(changed_, [&](const std::wstring& root) {
        const auto catalog = catalogs_.find(root);
        return catalog != catalogs_.end() && catalog->second.entries.size() == readEntries[root];
    });
}

CatalogStore::Catalogs::iterator CatalogStore::FindOwner(const std::wstring& path) {
    Catalogs::iterator owner = catalogs_.end();
    for (auto it = catalogs_.begin(); it != catalogs_.end(); ++it) {
        const bool holds = EqualsNoCase(path, it->first) || IsUnder(path, it->first);
        if (holds && (owner == catalogs_.end() || it->first.size() > owner->first.size())) owner = it;
    }
    return owner;
}

// A file reported before its folder was handed over gets a catalog for its
// own folder, which the registered folder absorbs when it comes.
Catalog& CatalogStore::OwnerOf(const std::wstring& path) {
    const auto owner = FindOwner(path);
    return owner != catalogs_.end() ? owner->second : AddFolderLocked(ParentOf(path));
}

Catalog& CatalogStore::AddFolderLocked(const std::wstring& folder) {
    const std::wstring root = WithoutTrailingBackslash(folder);
    if (const auto owner = FindOwner(root); owner != catalogs_.end()) return owner->second;
    Catalog catalog{root, {}};
    for (auto it = catalogs_.begin(); it != catalogs_.end();) {
        if (!IsUnder(it->first, root)) {
            ++it;
            continue;
        }
        catalog.entries.merge(it->second.entries);
        Changed(it->first);
        it = catalogs_.erase(it);
    }
    Changed(root);
    return catalogs_.emplace(root, std::move(catalog)).first->second;
}

void CatalogStore::AddFolder(const std::wstring& folder) {
    {
        std::lock_guard hold(lock_);
        AddFolderLocked(folder);
    }
    wake_.notify_all();
}

void CatalogStore::RemoveFolder(const std::wstring& folder) {
    const std::wstring root = WithoutTrailingBackslash(folder);
    {
        std::lock_guard hold(lock_);
        // Catalogs of folders below it go with it.
        for (auto it = catalogs_.begin(); it != catalogs_.end();) {
            if (EqualsNoCase(it->first, root) || IsUnder(it->first, root)) {
                Changed(it->first);
                it = catalogs_.erase(it);
            } else {
                ++it;
            }
        }
        if (const auto owner = FindOwner(root); owner != catalogs_.end()) {
            std::erase_if(owner->second.entries, [&](const auto& entry) { return IsUnder(entry.first, root); });
            Changed(owner->first);
        }
    }
    wake_.notify_all();
}

void CatalogStore::ReplaceFolder(const std::wstring& folder,
                                 std::map<std::wstring, CatalogEntry, LessNoCase> entries) {
    const std::wstring root = WithoutTrailingBackslash(folder);
    {
        std::lock_guard hold(lock_);
        Catalog& catalog = AddFolderLocked(root);
        std::erase_if(catalog.entries, [&](const auto& entry) { return IsUnder(entry.first, root); });
        catalog.entries.merge(entries);
        Changed(catalog.root);
    }
    wake_.notify_all();
}

void CatalogStore::Put(const std::wstring& path, CatalogEntry entry) {
    {
        std::lock_guard hold(lock_);
        Catalog& catalog = OwnerOf(path);
        catalog.entries[path] = std::move(entry);
        Changed(catalog.root);
    }
    wake_.notify_all();
}

void CatalogStore::Remove(const std::wstring& path) {
    {
        std::lock_guard hold(lock_);
        const auto owner = FindOwner(path);
        if (owner == catalogs_.end() || owner->second.entries.erase(path) == 0) return;
        Changed(owner->first);
    }
    wake_.notify_all();
}

void CatalogStore::Changed(const std::wstring& root) { changed_.insert(root); }

std::vector<Catalog> CatalogStore::Snapshot() const {
    std::lock_guard hold(lock_);
    std::vector<Catalog> catalogs;
    for (const auto& [root, catalog] : catalogs_) catalogs.push_back(catalog);
    return catalogs;
}

void CatalogStore::Flush() {
    std::unique_lock hold(lock_);
    WritePending(hold);
}

// Serialised under the lock, written outside it, so the plug-in calls are not
// held up by the disk; one writer at a time, so the newer text is written last.
void CatalogStore::WritePending(std::unique_lock<std::mutex>& hold) {
    hold.unlock();
    std::unique_lock writing(writing_);
    hold.lock();
    std::vector<std::pair<std::wstring, std::optional<std::string>>> writes;
    for (const std::wstring& root : changed_) {
        const auto it = catalogs_.find(root);
        writes.emplace_back(CatalogFileName(directory_, root),
                            it != catalogs_.end() ? std::optional(SerializeCatalog(it->second)) : std::nullopt);
    }
    changed_.clear();
    hold.unlock();
    for (const auto& [file, content] : writes) {
        try {
            if (content)
                ReplaceFile(file, *content);
            else
                RemoveFile(file);
        } catch (const HResultError& error) {
            ReportWriteFailure(file, error.hr());
        }
    }
    writing.unlock();
    hold.lock();
}

void CatalogStore::WriterLoop() {
    std::unique_lock hold(lock_);
    for (;;) {
        wake_.wait(hold, [this] { return stopping_ || !changed_.empty(); });
        if (!stopping_) wake_.wait_for(hold, kWriteDelay, [this] { return stopping_; });
        WritePending(hold);
        if (stopping_) return;
    }
}

}  // namespace tandem::catalog
