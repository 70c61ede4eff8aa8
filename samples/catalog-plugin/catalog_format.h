#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "strings.h"

namespace tandem::catalog {

// One property as the plug-in was given it: its identifier, the VARIANT type
// it came in and its value in the catalog's text form (FormatValue).
struct CatalogProperty {
    LONG id = 0;
    VARTYPE type = VT_EMPTY;
    std::wstring value;

    bool operator==(const CatalogProperty&) const = default;
};

struct CatalogEntry {
    ULONGLONG size = 0;
    DATE lastWrite = 0;
    std::vector<CatalogProperty> properties;

    bool operator==(const CatalogEntry&) const = default;
};

// The files known below one folder, by full path.
struct Catalog {
    std::wstring root;
    std::map<std::wstring, CatalogEntry, LessNoCase> entries;
};

struct ParsedCatalog {
    Catalog catalog;
    bool headerValid = false;
    // Lines that could not be read, with the properties that hung on them.
    size_t damagedLines = 0;
};

// The file, UTF-8 text, one record a line, fields split by tabs, and tab,
// line break and backslash in text escaped as \t, \n, \r and \\:
//   TandemCatalog  1  <root>
//   C  <path>  <size>  <last write as a DATE>
//   P  <id>  <VARIANT type>  <value>      (a property of the C line above)
// A file is read as far as it can be: a damaged line is skipped with the
// properties that follow it, and a last line without its line break is one
// that a write did not finish.
ParsedCatalog ParseCatalog(std::span<const std::byte> bytes);
std::string SerializeCatalog(const Catalog& catalog);

// The text form of a value: numbers in full precision (17 digits for
// floating-point and dates), booleans as -1 or 0, strings as they are; other
// types as the platform converts them to text, and empty when it cannot.
std::wstring FormatValue(const VARIANT& value);

// For people: doubles with 9 significant digits, dates in ISO 8601.
std::wstring DisplayValue(const CatalogProperty& property);
std::wstring DisplayDate(DATE date);
std::wstring VarTypeName(VARTYPE type);

bool IsUnder(std::wstring_view path, std::wstring_view folder) noexcept;

}  // namespace tandem::catalog
