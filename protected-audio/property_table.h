#pragma once

#include <windows.h>

#include "variant.h"

namespace tandem::protected_audio {

enum class ValueConverter { Copy, Narrowing, FormatName, CodecCode, ModeCode, Thousandths, YearText, Picture };

// One row of the table that pairs framework properties with library tags.
struct PropertyRow {
    LONG property;
    VARTYPE propertyType;
    LONG tag;
    VARTYPE tagType;
    ValueConverter converter;
};

// The row of a property or a tag; raises 0x80040408 when there is none.
const PropertyRow& RowOfProperty(LONG property);
const PropertyRow& RowOfTag(LONG tag);
bool HasTag(LONG tag);

// Conversions of one value; a value of the wrong type, or one that does not
// fit, raises E_INVALIDARG.
Variant ToTagValue(const PropertyRow& row, const VARIANT& property);
Variant ToPropertyValue(const PropertyRow& row, const VARIANT& tag);

// The codec and mode translations both ways.
LONG CodecFromLibrary(LONG value) noexcept;
LONG CodecToLibrary(LONG value) noexcept;
LONG ModeFromLibrary(LONG value) noexcept;
LONG ModeToLibrary(LONG value) noexcept;

}  // namespace tandem::protected_audio
