#include "property_table.h"

#include <cstdio>
#include <limits>
#include <map>
#include <utility>

#include "binary_property.h"
#include "bstr.h"
#include "error.h"
#include "error_translation.h"

namespace tandem::protected_audio {

namespace {

using enum ValueConverter;

constexpr PropertyRow kRows[] = {
    {-3, VT_BSTR, 4615, VT_BSTR, Copy},          {304, VT_DATE, 5121, VT_DATE, Copy},
    {305, VT_DATE, 5122, VT_DATE, Copy},         {500, VT_BSTR, 4677, VT_BSTR, Copy},
    {400, VT_I8, 4356, VT_I4, Narrowing},        {209, VT_BSTR, 6400, VT_I4, FormatName},
    {107, VT_I4, 4353, VT_I4, CodecCode},        {108, VT_I4, 4354, VT_I4, ModeCode},
    {401, VT_I8, 4352, VT_I4, Thousandths},      {110, VT_I4, 4355, VT_I4, Copy},
    {113, VT_I4, 4370, VT_I4, Copy},             {114, VT_I4, 4368, VT_I4, Copy},
    {130, VT_I4, 4364, VT_I4, Copy},             {211, VT_BSTR, 4656, VT_BSTR, Copy},
    {212, VT_BSTR, 4616, VT_BSTR, Copy},         {214, VT_BSTR, 4624, VT_BSTR, Copy},
    {218, VT_BSTR, 4617, VT_BSTR, Copy},         {219, VT_BSTR, 4658, VT_BSTR, Copy},
    {220, VT_BSTR, 4618, VT_BSTR, Copy},         {503, VT_BSTR, 4619, VT_BSTR, Copy},
    {11182, VT_UNKNOWN, 4647, VT_UNKNOWN, Picture}, {226, VT_BSTR, 4610, VT_BSTR, Copy},
    {227, VT_BSTR, 4611, VT_BSTR, Copy},         {145, VT_I4, 4362, VT_I4, Copy},
    {11134, VT_I4, 4361, VT_I4, Copy},           {309, VT_DATE, 5123, VT_DATE, Copy},
    {11184, VT_UNKNOWN, 4640, VT_UNKNOWN, Picture}, {11185, VT_UNKNOWN, 4643, VT_UNKNOWN, Picture},
    {11186, VT_UNKNOWN, 4644, VT_UNKNOWN, Picture}, {511, VT_BSTR, 4646, VT_BSTR, Copy},
    {512, VT_BSTR, 5385, VT_BSTR, Copy},         {513, VT_BSTR, 5426, VT_BSTR, Copy},
    {514, VT_BSTR, 5386, VT_BSTR, Copy},         {216, VT_BSTR, 4620, VT_BSTR, Copy},
    {221, VT_BSTR, 4614, VT_BSTR, Copy},         {129, VT_I4, 4357, VT_I4, Copy},
    {308, VT_DATE, 4662, VT_BSTR, YearText},
};

struct Index {
    std::map<LONG, const PropertyRow*> byProperty;
    std::map<LONG, const PropertyRow*> byTag;
};

// Built once for the process, on first use.
const Index& TableIndex() {
    static const Index index = [] {
        Index built;
        for (const PropertyRow& row : kRows) {
            built.byProperty.emplace(row.property, &row);
            built.byTag.emplace(row.tag, &row);
        }
        return built;
    }();
    return index;
}

constexpr std::pair<LONG, LONG> kCodecs[] = {
    {0, 256},    {1, 257},    {2, 258},    {3, 259},    {4, 260},    {5, 261},    {6, 262},    {9, 272},
    {4097, 263}, {4098, 264}, {4100, 271}, {8193, 265}, {8194, 266}, {8195, 267}, {8196, 268},
};

constexpr wchar_t kFormatName[] = L"Vaultone Audio";

void Expect(const VARIANT& value, VARTYPE type) {
    if (V_VT(&value) != type) ThrowHr(E_INVALIDARG);
}

Variant FromLongLong(LONGLONG value) {
    Variant out;
    V_VT(out.ptr()) = VT_I8;
    V_I8(out.ptr()) = value;
    return out;
}

LONG Narrow(LONGLONG value) {
    if (value < std::numeric_limits<LONG>::min() || value > std::numeric_limits<LONG>::max()) ThrowHr(E_INVALIDARG);
    return static_cast<LONG>(value);
}

Variant YearToText(DATE date) {
    SYSTEMTIME time{};
    if (!VariantTimeToSystemTime(date, &time)) return Variant::FromString(L"Invalid DateTime");
    wchar_t text[8];
    swprintf(text, 8, L"%04u", static_cast<unsigned>(time.wYear));
    return Variant::FromString(text);
}

Variant YearFromText(BSTR text) {
    SYSTEMTIME time{};
    long year = wcstol(BstrView(text).data(), nullptr, 10);
    if (year < 100 || year > 9999) ThrowHr(E_INVALIDARG);
    time.wYear = static_cast<WORD>(year);
    time.wMonth = 1;
    time.wDay = 1;
    Variant out;
    V_VT(out.ptr()) = VT_DATE;
    if (!SystemTimeToVariantTime(&time, &V_DATE(out.ptr()))) ThrowHr(E_INVALIDARG);
    return out;
}

Variant UnknownOf(IUnknown* object) {
    Variant out;
    V_VT(out.ptr()) = VT_UNKNOWN;
    V_UNKNOWN(out.ptr()) = object;
    return out;
}

Variant Copied(const VARIANT& value, VARTYPE type) {
    Expect(value, type);
    return Variant::Copy(value);
}

}  // namespace

const PropertyRow& RowOfProperty(LONG property) {
    const auto& rows = TableIndex().byProperty;
    auto found = rows.find(property);
    if (found == rows.end()) ThrowHr(kUnknownProperty);
    return *found->second;
}

const PropertyRow& RowOfTag(LONG tag) {
    const auto& rows = TableIndex().byTag;
    auto found = rows.find(tag);
    if (found == rows.end()) ThrowHr(kUnknownProperty);
    return *found->second;
}

bool HasTag(LONG tag) { return TableIndex().byTag.contains(tag); }

LONG CodecFromLibrary(LONG value) noexcept {
    for (auto [library, property] : kCodecs)
        if (library == value) return property;
    return 0;
}

LONG CodecToLibrary(LONG value) noexcept {
    // 256 stands for itself on the way to the library, not for 0.
    if (value == 256) return 256;
    for (auto [library, property] : kCodecs)
        if (property == value) return library;
    return 1;
}

LONG ModeFromLibrary(LONG value) noexcept {
    if (value >= 1 && value <= 14) return value + 255;
    if (value >= 16 && value <= 19) return value + 254;
    if (value >= 21 && value <= 24) return value + 256;
    return 0;
}

LONG ModeToLibrary(LONG value) noexcept {
    if (value >= 256 && value <= 269) return value - 255;
    if (value >= 270 && value <= 273) return value - 254;
    if (value >= 277 && value <= 280) return value - 256;
    return 0;
}

Variant ToTagValue(const PropertyRow& row, const VARIANT& property) {
    switch (row.converter) {
    case Copy: return Copied(property, row.propertyType);
    case Narrowing: Expect(property, VT_I8); return Variant::FromLong(Narrow(V_I8(&property)));
    case FormatName: return Variant();
    case CodecCode: Expect(property, VT_I4); return Variant::FromLong(CodecToLibrary(V_I4(&property)));
    case ModeCode: Expect(property, VT_I4); return Variant::FromLong(ModeToLibrary(V_I4(&property)));
    case Thousandths: Expect(property, VT_I8); return Variant::FromLong(Narrow(V_I8(&property) / 1000));
    case YearText: Expect(property, VT_DATE); return YearToText(V_DATE(&property));
    case Picture: {
        Expect(property, VT_UNKNOWN);
        if (!V_UNKNOWN(&property)) ThrowHr(E_INVALIDARG);
        ComPtr<IZephCsBinaryProperty> picture;
        CheckHr(V_UNKNOWN(&property)->QueryInterface(IID_IZephCsBinaryProperty, picture.put_void()));
        auto adapter = MakeComObject<ZephCsVltPcBinaryProperty>(std::move(picture));
        return UnknownOf(static_cast<IVltBinary*>(adapter.detach()));
    }
    }
    ThrowHr(E_UNEXPECTED);
}

Variant ToPropertyValue(const PropertyRow& row, const VARIANT& tag) {
    switch (row.converter) {
    case Copy: return Copied(tag, row.tagType);
    case Narrowing: Expect(tag, VT_I4); return FromLongLong(V_I4(&tag));
    case FormatName:
        Expect(tag, VT_I4);
        if (V_I4(&tag) != 1 && V_I4(&tag) != 128) ThrowHr(E_INVALIDARG);
        return Variant::FromString(kFormatName);
    case CodecCode: Expect(tag, VT_I4); return Variant::FromLong(CodecFromLibrary(V_I4(&tag)));
    case ModeCode: Expect(tag, VT_I4); return Variant::FromLong(ModeFromLibrary(V_I4(&tag)));
    case Thousandths: Expect(tag, VT_I4); return FromLongLong(static_cast<LONGLONG>(V_I4(&tag)) * 1000);
    case YearText: Expect(tag, VT_BSTR); return YearFromText(V_BSTR(&tag));
    case Picture: {
        Expect(tag, VT_UNKNOWN);
        if (!V_UNKNOWN(&tag)) ThrowHr(E_INVALIDARG);
        ComPtr<IVltBinary> binary;
        CheckHr(V_UNKNOWN(&tag)->QueryInterface(IID_IVltBinary, binary.put_void()));
        auto wrapper = MakeComObject<ZephCsVltFileBinaryProperty>(std::move(binary));
        return UnknownOf(static_cast<IZephCsBinaryProperty*>(wrapper.detach()));
    }
    }
    ThrowHr(E_UNEXPECTED);
}

}  // namespace tandem::protected_audio
