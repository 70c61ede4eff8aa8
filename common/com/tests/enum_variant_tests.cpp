#include <gtest/gtest.h>

#include <vector>

#include "bstr.h"
#include "com/enum_variant.h"
#include "com_fixture.h"
#include "variant.h"

using namespace tandem;
using namespace tandem::test;

namespace {

// Three values: 10, "twenty", 30.
ComPtr<IEnumVARIANT> MakeThree() {
    return MakeEnumVariant({Variant::FromLong(10), Variant::FromString(L"twenty"), Variant::FromLong(30)});
}

LONG NextLong(IEnumVARIANT* items) {
    Variant value;
    if (items->Next(1, value.put(), nullptr) != S_OK || value.type() != VT_I4) return -1;
    return V_I4(&value.get());
}

using EnumVariants = ComTest;

}  // namespace

TEST_F(EnumVariants, NextCopiesValuesAndReportsAShortFetch) {
    auto items = MakeThree();
    Variant values[4];
    ULONG fetched = 99;
    ASSERT_EQ(items->Next(2, values[0].put(), &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(V_I4(&values[0].get()), 10);
    ASSERT_EQ(values[1].type(), VT_BSTR);
    EXPECT_EQ(BstrView(V_BSTR(&values[1].get())), L"twenty");

    // The caller owns a copy: the snapshot's string is not handed out.
    Variant again;
    items->Reset();
    items->Skip(1);
    ASSERT_EQ(items->Next(1, again.put(), nullptr), S_OK);
    EXPECT_NE(V_BSTR(&again.get()), V_BSTR(&values[1].get()));

    VARIANT rest[3];
    ASSERT_EQ(items->Next(3, rest, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(V_I4(&rest[0]), 30);
    VariantClear(&rest[0]);

    EXPECT_EQ(items->Next(1, values[3].put(), &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(items->Next(1, values[3].put(), nullptr), S_FALSE);
    EXPECT_EQ(items->Next(0, values[3].put(), &fetched), S_OK);
}

TEST_F(EnumVariants, RefusesMissingPointers) {
    auto items = MakeThree();
    Variant values[2];
    EXPECT_EQ(items->Next(2, values[0].put(), nullptr), E_INVALIDARG);
    EXPECT_EQ(items->Next(1, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(items->Clone(nullptr), E_POINTER);
    // Nothing was consumed by the refused calls.
    EXPECT_EQ(NextLong(items.get()), 10);
}

TEST_F(EnumVariants, SkipResetAndClone) {
    auto items = MakeThree();
    EXPECT_EQ(items->Skip(2), S_OK);
    EXPECT_EQ(NextLong(items.get()), 30);
    EXPECT_EQ(items->Skip(1), S_FALSE);
    EXPECT_EQ(items->Reset(), S_OK);
    EXPECT_EQ(items->Skip(5), S_FALSE);
    EXPECT_EQ(NextLong(items.get()), -1);

    items->Reset();
    items->Skip(2);
    ComPtr<IEnumVARIANT> clone;
    ASSERT_HRESULT_SUCCEEDED(items->Clone(clone.put()));
    EXPECT_EQ(NextLong(clone.get()), 30);
    // Each keeps its own position over the shared values.
    EXPECT_EQ(NextLong(items.get()), 30);
    clone->Reset();
    EXPECT_EQ(NextLong(clone.get()), 10);
    items.reset();
    EXPECT_EQ(ModuleLockCount(), 1);
    clone->Skip(1);
    EXPECT_EQ(NextLong(clone.get()), 30);
}
