#include <string>

#include "catalog_files.h"
#include "catalog_format.h"
#include "commands.h"
#include "console.h"
#include "error.h"

namespace tandem::ctl {
namespace {

using catalog::Catalog;
using catalog::ParsedCatalog;

// Every catalog the plug-in has written, read as far as it can be.
std::vector<ParsedCatalog> ReadCatalogs() {
    std::vector<ParsedCatalog> catalogs;
    try {
        const std::wstring directory = catalog::DefaultCatalogDirectory();
        for (const std::wstring& file : catalog::CatalogFiles(directory)) {
            const auto bytes = catalog::ReadWholeFile(file);
            if (!bytes) continue;
            ParsedCatalog parsed = catalog::ParseCatalog(*bytes);
            if (parsed.damagedLines > 0 || !parsed.headerValid)
                Err(L"tandemctl: " + file + L" is damaged; " + std::to_wstring(parsed.damagedLines) +
                    L" line(s) could not be read (a refresh of the folder rebuilds it)");
            if (parsed.headerValid) catalogs.push_back(std::move(parsed));
        }
    } catch (const HResultError& error) {
        throw CommandError(L"cannot read the catalog", error.hr());
    }
    return catalogs;
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 4];
    const DWORD size = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
    if (size == 0 || size >= MAX_PATH * 4)
        throw CommandError(L"cannot read the path \"" + path + L"\"", HRESULT_FROM_WIN32(GetLastError()));
    std::wstring text(full, size);
    if (text.size() > 3 && text.back() == L'\\') text.pop_back();
    return text;
}

}  // namespace

int CatalogCommand(const ParsedCommand& command) {
    const std::optional<std::wstring> below =
        command.positionals.empty() ? std::nullopt : std::optional(FullPath(command.positionals[0]));
    size_t files = 0;
    for (const ParsedCatalog& parsed : ReadCatalogs()) {
        for (const auto& [path, entry] : parsed.catalog.entries) {
            if (below && !catalog::IsUnder(path, *below) && _wcsicmp(path.c_str(), below->c_str()) != 0) continue;
            Out(path + L"\t" + std::to_wstring(entry.size) + L"\t" +
                catalog::DisplayDate(entry.lastWrite));
            ++files;
        }
    }
    Err(L"(" + std::to_wstring(files) + L" file(s))");
    return 0;
}

int PropsCommand(const ParsedCommand& command) {
    const std::wstring file = FullPath(command.positionals[0]);
    for (const ParsedCatalog& parsed : ReadCatalogs()) {
        const auto found = parsed.catalog.entries.find(file);
        if (found == parsed.catalog.entries.end()) continue;
        for (const catalog::CatalogProperty& property : found->second.properties)
            Out(std::to_wstring(property.id) + L"\t" + catalog::VarTypeName(property.type) + L"\t" +
                catalog::DisplayValue(property));
        return 0;
    }
    throw CommandError(file + L" is not in the catalog", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

}  // namespace tandem::ctl
