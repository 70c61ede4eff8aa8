#include "catalog_plugin.h"

#include "bstr.h"
#include "com_ptr.h"
#include "error.h"
#include "safe_array.h"

namespace tandem::catalog {
namespace {

using Entries = std::map<std::wstring, CatalogEntry, LessNoCase>;

std::wstring FolderPath(ITandemFolder* folder) {
    if (!folder) ThrowHr(E_POINTER);
    Bstr path;
    CheckHr(folder->get_Path(path.put()));
    return path.str();
}

std::vector<CatalogProperty> ReadProperties(ITandemContent* content) {
    SafeArray array;
    CheckHr(content->GetAllProperties(array.put()));
    std::vector<CatalogProperty> properties;
    if (!array) return properties;
    VARTYPE type = VT_EMPTY;
    CheckHr(SafeArrayGetVartype(array.get(), &type));
    if (type != VT_RECORD || SafeArrayGetDim(array.get()) != 1 || array.get()->cbElements != sizeof(TandemProperty))
        ThrowHr(E_INVALIDARG);
    const SafeArrayAccess access(array.get());
    const auto* element = access.data<TandemProperty>();
    for (ULONG i = 0; i < array.get()->rgsabound[0].cElements; ++i, ++element)
        properties.push_back({element->ID, V_VT(&element->Value), FormatValue(element->Value)});
    return properties;
}

// Counts the files of a rebuild for the notifier and tells whether to go on.
class RebuildProgress {
public:
    explicit RebuildProgress(ITandemProgressNotifier* notifier) : notifier_(notifier) {}

    bool Canceled() const {
        VARIANT_BOOL canceled = VARIANT_FALSE;
        return notifier_ && SUCCEEDED(notifier_->get_Canceled(&canceled)) && canceled != VARIANT_FALSE;
    }
    void Found(LONG files) {
        total_ += files;
        if (notifier_) notifier_->put_Total(total_);
    }
    void Done() {
        if (notifier_) notifier_->put_Progress(++done_);
    }

private:
    ITandemProgressNotifier* notifier_;
    LONG total_ = 0;
    LONG done_ = 0;
};

void Collect(ITandemFolder* folder, Entries& entries, RebuildProgress& progress) {
    ComPtr<ITandemContentList> contents;
    CheckHr(folder->get_SubContents(contents.put()));
    LONG count = 0;
    CheckHr(contents->get_Count(&count));
    progress.Found(count);
    for (LONG i = 1; i <= count && !progress.Canceled(); ++i) {
        ComPtr<ITandemContent> content;
        CheckHr(contents->get_Item(i, content.put()));
        entries.insert(ReadContent(content.get()));
        progress.Done();
    }
    ComPtr<ITandemFolderList> folders;
    CheckHr(folder->get_SubFolders(folders.put()));
    CheckHr(folders->get_Count(&count));
    for (LONG i = 1; i <= count && !progress.Canceled(); ++i) {
        ComPtr<ITandemFolder> child;
        CheckHr(folders->get_Item(i, child.put()));
        Collect(child.get(), entries, progress);
    }
}

}  // namespace

TypeLibrary& PluginLibrary() {
    static TypeLibrary library(LIBID_MarloTandemPluginLib, 1, 0);
    return library;
}

std::pair<std::wstring, CatalogEntry> ReadContent(ITandemContent* content) {
    if (!content) ThrowHr(E_POINTER);
    Bstr path;
    CheckHr(content->get_Path(path.put()));
    CatalogEntry entry;
    CheckHr(content->get_Size(&entry.size));
    CheckHr(content->get_LastWriteTime(&entry.lastWrite));
    entry.properties = ReadProperties(content);
    return {path.str(), std::move(entry)};
}

STDMETHODIMP CTandemCatalog::Open(BSTR, SAFEARRAY*) { return S_OK; }

STDMETHODIMP CTandemCatalog::Close() {
    return CatchHr([&] { store_->Flush(); });
}

STDMETHODIMP CTandemCatalog::ImportContent(ITandemContent* content) {
    return CatchHr([&] {
        auto [path, entry] = ReadContent(content);
        store_->Put(path, std::move(entry));
    });
}

STDMETHODIMP CTandemCatalog::ImportFolder(ITandemFolder* folder) {
    return CatchHr([&] { Rebuild(folder, nullptr); });
}

STDMETHODIMP CTandemCatalog::RefreshFolder(ITandemFolder* folder, ITandemProgressNotifier* notifier) {
    return CatchHr([&] { Rebuild(folder, notifier); });
}

STDMETHODIMP CTandemCatalog::DeleteContent(BSTR path) {
    return CatchHr([&] { store_->Remove(std::wstring(BstrView(path))); });
}

STDMETHODIMP CTandemCatalog::DeleteFolder(BSTR path, ITandemProgressNotifier*) {
    return CatchHr([&] { store_->RemoveFolder(std::wstring(BstrView(path))); });
}

STDMETHODIMP CTandemCatalog::RenameContent(BSTR oldPath, ITandemContent* content) {
    return CatchHr([&] {
        auto [path, entry] = ReadContent(content);
        store_->Remove(std::wstring(BstrView(oldPath)));
        store_->Put(path, std::move(entry));
    });
}

STDMETHODIMP CTandemCatalog::RenameFolder(BSTR oldPath, ITandemFolder* folder, ITandemProgressNotifier* notifier) {
    return CatchHr([&] {
        Rebuild(folder, notifier);
        store_->RemoveFolder(std::wstring(BstrView(oldPath)));
    });
}

STDMETHODIMP CTandemCatalog::UpdateFolder(ITandemFolder* folder, SAFEARRAY*, ITandemProgressNotifier* notifier) {
    return CatchHr([&] { Rebuild(folder, notifier); });
}

// A canceled rebuild keeps the catalog as it was rather than a part of it.
void CTandemCatalog::Rebuild(ITandemFolder* folder, ITandemProgressNotifier* notifier) {
    const std::wstring path = FolderPath(folder);
    Entries entries;
    RebuildProgress progress(notifier);
    Collect(folder, entries, progress);
    if (progress.Canceled()) ThrowHr(E_ABORT);
    store_->ReplaceFolder(path, std::move(entries));
}

}  // namespace tandem::catalog
