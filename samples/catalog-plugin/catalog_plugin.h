#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "TandemPlugin.h"
#include "catalog_store.h"
#include "com/com_object.h"
#include "com/dispatch.h"

namespace tandem::catalog {

// {85FA59EA-E012-4318-BEB2-FEF8E0FAE511}
inline constexpr CLSID CLSID_TandemCatalog = {
    0x85fa59ea, 0xe012, 0x4318, {0xbe, 0xb2, 0xfe, 0xf8, 0xe0, 0xfa, 0xe5, 0x11}};

TypeLibrary& PluginLibrary();

// The sample content plug-in: keeps, for every folder it is handed, a catalog
// of its files with the properties the service reports for them.
class CTandemCatalog : public ComObjectRoot, public DispatchImpl<ITandemPlugin, PluginLibrary> {
public:
    using Interfaces = InterfaceTable<ITandemPlugin, Via<IDispatch, ITandemPlugin>>;

    explicit CTandemCatalog(std::shared_ptr<CatalogStore> store) : store_(std::move(store)) {}
    CTandemCatalog() : CTandemCatalog(CatalogStore::Shared()) {}

    STDMETHODIMP Open(BSTR owner, SAFEARRAY* properties) override;
    STDMETHODIMP Close() override;
    STDMETHODIMP ImportContent(ITandemContent* content) override;
    STDMETHODIMP ImportFolder(ITandemFolder* folder) override;
    STDMETHODIMP RefreshFolder(ITandemFolder* folder, ITandemProgressNotifier* notifier) override;
    STDMETHODIMP DeleteContent(BSTR path) override;
    STDMETHODIMP DeleteFolder(BSTR path, ITandemProgressNotifier* notifier) override;
    STDMETHODIMP RenameContent(BSTR oldPath, ITandemContent* content) override;
    STDMETHODIMP RenameFolder(BSTR oldPath, ITandemFolder* folder, ITandemProgressNotifier* notifier) override;
    STDMETHODIMP UpdateFolder(ITandemFolder* folder, SAFEARRAY* properties, ITandemProgressNotifier* notifier) override;

private:
    void Rebuild(ITandemFolder* folder, ITandemProgressNotifier* notifier);

    const std::shared_ptr<CatalogStore> store_;
};

// What a content object says of its file.
std::pair<std::wstring, CatalogEntry> ReadContent(ITandemContent* content);

}  // namespace tandem::catalog
