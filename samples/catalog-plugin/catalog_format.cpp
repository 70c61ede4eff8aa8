#include "catalog_format.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

#include "bstr.h"
#include "error.h"
#include "variant.h"

namespace tandem::catalog {
namespace {

constexpr std::string_view kMagic = "TandemCatalog";
constexpr std::string_view kVersion = "1";

std::optional<std::wstring> Utf8ToWide(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0);
    if (size <= 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string WideToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) ThrowLastError();
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr,
                        nullptr);
    return narrow;
}

std::string Escape(std::wstring_view text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
            case L'\\': escaped += L"\\\\"; break;
            case L'\t': escaped += L"\\t"; break;
            case L'\n': escaped += L"\\n"; break;
            case L'\r': escaped += L"\\r"; break;
            default: escaped += c;
        }
    }
    return WideToUtf8(escaped);
}

std::optional<std::wstring> Unescape(std::string_view field) {
    std::optional<std::wstring> wide = Utf8ToWide(field);
    if (!wide) return std::nullopt;
    std::wstring text;
    text.reserve(wide->size());
    for (size_t i = 0; i < wide->size(); ++i) {
        if ((*wide)[i] != L'\\') {
            text += (*wide)[i];
            continue;
        }
        if (++i == wide->size()) return std::nullopt;
        switch ((*wide)[i]) {
            case L'\\': text += L'\\'; break;
            case L't': text += L'\t'; break;
            case L'n': text += L'\n'; break;
            case L'r': text += L'\r'; break;
            default: return std::nullopt;
        }
    }
    return text;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string_view::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

template <class T>
std::optional<T> Number(std::string_view field) {
    T value{};
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() || field.empty()) return std::nullopt;
    return value;
}

std::string FullDouble(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.17g", value);
    return text;
}

std::wstring WideFullDouble(double value) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.17g", value);
    return text;
}

// The reader's state between lines: the entry that P lines add to, if any.
class CatalogReader {
public:
    void Line(std::string_view line) {
        if (!result_.headerValid) return Header(line);
        const std::vector<std::string_view> fields = Fields(line);
        if (fields[0] == "C" && fields.size() == 4) return Content(fields);
        if (fields[0] == "P" && fields.size() == 4 && current_) return Property(fields);
        Damaged();
    }

    void Damaged() {
        ++result_.damagedLines;
        if (result_.headerValid) current_ = nullptr;
    }

    ParsedCatalog Result() && { return std::move(result_); }

private:
    void Header(std::string_view line) {
        const std::vector<std::string_view> fields = Fields(line);
        std::optional<std::wstring> root;
        if (fields.size() == 3 && fields[0] == kMagic && fields[1] == kVersion) root = Unescape(fields[2]);
        if (!root || root->empty()) return Damaged();
        result_.catalog.root = std::move(*root);
        result_.headerValid = true;
    }

    void Content(const std::vector<std::string_view>& fields) {
        std::optional<std::wstring> path = Unescape(fields[1]);
        const auto size = Number<ULONGLONG>(fields[2]);
        const auto lastWrite = Number<double>(fields[3]);
        if (!path || path->empty() || !size || !lastWrite) return Damaged();
        CatalogEntry& entry = result_.catalog.entries[std::move(*path)];
        entry = CatalogEntry{*size, *lastWrite, {}};
        current_ = &entry;
    }

    void Property(const std::vector<std::string_view>& fields) {
        const auto id = Number<LONG>(fields[1]);
        const auto type = Number<VARTYPE>(fields[2]);
        std::optional<std::wstring> value = Unescape(fields[3]);
        if (!id || !type || !value) return Damaged();
        current_->properties.push_back({*id, *type, std::move(*value)});
    }

    ParsedCatalog result_;
    CatalogEntry* current_ = nullptr;
};


}  // namespace

ParsedCatalog ParseCatalog(std::span<const std::byte> bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    CatalogReader reader;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            reader.Damaged();
            break;
        }
        reader.Line(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return std::move(reader).Result();
}

std::string SerializeCatalog(const Catalog& catalog) {
    std::string text;
    text.append(kMagic).append("\t").append(kVersion).append("\t").append(Escape(catalog.root)).append("\n");
    for (const auto& [path, entry] : catalog.entries) {
        text.append("C\t").append(Escape(path)).append("\t").append(std::to_string(entry.size));
        text.append("\t").append(FullDouble(entry.lastWrite)).append("\n");
        for (const CatalogProperty& property : entry.properties) {
            text.append("P\t").append(std::to_string(property.id)).append("\t");
            text.append(std::to_string(property.type)).append("\t").append(Escape(property.value)).append("\n");
        }
    }
    return text;
}

std::wstring FormatValue(const VARIANT& value) {
    switch (V_VT(&value)) {
        case VT_EMPTY:
        case VT_NULL: return {};
        case VT_BSTR: return std::wstring(BstrView(V_BSTR(&value)));
        case VT_R4: return WideFullDouble(V_R4(&value));
        case VT_R8: return WideFullDouble(V_R8(&value));
        case VT_DATE: return WideFullDouble(V_DATE(&value));
        case VT_BOOL: return V_BOOL(&value) ? L"-1" : L"0";
        default: break;
    }
    // Arrays and objects have no text form: their type is kept alone.
    Variant text;
    if (FAILED(VariantChangeTypeEx(text.ptr(), const_cast<VARIANT*>(&value), LOCALE_INVARIANT, 0, VT_BSTR)))
        return {};
    return std::wstring(BstrView(V_BSTR(&text.get())));
}

std::wstring DisplayDate(DATE date) {
    SYSTEMTIME time{};
    if (!VariantTimeToSystemTime(date, &time)) return WideFullDouble(date);
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
    return text;
}

std::wstring DisplayValue(const CatalogProperty& property) {
    const auto number = [&]() -> std::optional<double> {
        const std::string ascii(property.value.begin(), property.value.end());
        return Number<double>(ascii);
    };
    if (property.type == VT_R4 || property.type == VT_R8) {
        if (const auto value = number()) {
            wchar_t text[32];
            std::swprintf(text, 32, L"%.9g", *value);
            return text;
        }
    }
    if (property.type == VT_DATE) {
        if (const auto value = number()) return DisplayDate(*value);
    }
    return property.value;
}

std::wstring VarTypeName(VARTYPE type) {
    static const std::map<VARTYPE, const wchar_t*> names{
        {VT_EMPTY, L"VT_EMPTY"}, {VT_NULL, L"VT_NULL"}, {VT_I2, L"VT_I2"},     {VT_I4, L"VT_I4"},
        {VT_R4, L"VT_R4"},       {VT_R8, L"VT_R8"},     {VT_CY, L"VT_CY"},     {VT_DATE, L"VT_DATE"},
        {VT_BSTR, L"VT_BSTR"},   {VT_BOOL, L"VT_BOOL"}, {VT_I1, L"VT_I1"},     {VT_UI1, L"VT_UI1"},
        {VT_UI2, L"VT_UI2"},     {VT_UI4, L"VT_UI4"},   {VT_I8, L"VT_I8"},     {VT_UI8, L"VT_UI8"},
        {VT_INT, L"VT_INT"},     {VT_UINT, L"VT_UINT"}, {VT_DECIMAL, L"VT_DECIMAL"}};
    const auto found = names.find(type);
    return found != names.end() ? found->second : L"VT_" + std::to_wstring(type);
}

bool IsUnder(std::wstring_view path, std::wstring_view folder) noexcept {
    if (folder.empty() || path.size() <= folder.size()) return false;
    const bool separated = folder.back() == L'\\' || path[folder.size()] == L'\\';
    return separated && EqualsNoCase(path.substr(0, folder.size()), folder);
}

}  // namespace tandem::catalog
