#include "odkit.h"

#include <gtest/gtest.h>

#include <functional>

TEST(OdkitArray, CopiesShareTheBufferUntilOneChanges)
{
    OdArray<int> a{1, 2, 3};
    OdArray<int> b = a;
    EXPECT_TRUE(a.sharesBufferWith(b));
    EXPECT_EQ(a.getPtr(), b.getPtr());
    EXPECT_EQ(a.bufferRefCount(), 2);

    b[0] = 10; // the write copies first
    EXPECT_FALSE(a.sharesBufferWith(b));
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(b[0], 10);
    EXPECT_EQ(a.bufferRefCount(), 1);
    EXPECT_EQ(b.bufferRefCount(), 1);
}

TEST(OdkitArray, EveryKindOfChangeDetaches)
{
    OdArray<int> base{1, 2, 3, 4};
    auto check = [&](const char* what, const std::function<void(OdArray<int>&)>& change) {
        OdArray<int> copy = base;
        change(copy);
        EXPECT_EQ(base, (OdArray<int>{1, 2, 3, 4})) << what;
        EXPECT_FALSE(base.sharesBufferWith(copy)) << what;
    };
    check("append", [](OdArray<int>& c) { c.append(5); });
    check("insertAt", [](OdArray<int>& c) { c.insertAt(0, 0); });
    check("removeAt", [](OdArray<int>& c) { c.removeAt(1); });
    check("setAt", [](OdArray<int>& c) { c.setAt(2, 9); });
    check("resize", [](OdArray<int>& c) { c.resize(2); });
    check("reverse", [](OdArray<int>& c) { c.reverse(); });
    check("mutable iteration", [](OdArray<int>& c) {
        for (int& v : c)
            v *= 2;
    });
    check("asArrayPtr", [](OdArray<int>& c) { c.asArrayPtr()[0] = 7; });
}

TEST(OdkitArray, ReadingDoesNotCopy)
{
    OdArray<int> a{1, 2, 3};
    const OdArray<int> b = a;
    int sum = 0;
    for (int v : b)
        sum += v;
    sum += b[1] + b.first() + b.last();
    EXPECT_EQ(sum, 6 + 2 + 1 + 3);
    EXPECT_TRUE(a.sharesBufferWith(b));
}

TEST(OdkitArray, OutOfRangeRaisesInvalidIndexOnBothSidesOfTheLimit)
{
    OdArray<int> a{1, 2, 3};
    EXPECT_EQ(a[2], 3);
    EXPECT_THROW(a[3], OdError_InvalidIndex);
    EXPECT_THROW(a.at(100), OdError_InvalidIndex);
    EXPECT_NO_THROW(a.insertAt(3, 4)); // at the end is allowed
    EXPECT_THROW(a.insertAt(5, 4), OdError_InvalidIndex);
    EXPECT_THROW(a.removeAt(4), OdError_InvalidIndex);
    try {
        a.getAt(7);
    } catch (const OdError& e) {
        EXPECT_EQ(e.code(), eInvalidIndex);
    }
    OdArray<int> empty;
    EXPECT_THROW(empty.first(), OdError_InvalidIndex);
}

TEST(OdkitArray, InsertRemoveFindAndAppendSelf)
{
    OdArray<OdString> a;
    EXPECT_EQ(a.append(L"b"), 0u);
    EXPECT_EQ(a.append(L"d"), 1u);
    a.insertAt(0, L"a");
    a.insertAt(2, L"c");
    EXPECT_EQ(a, (OdArray<OdString>{L"a", L"b", L"c", L"d"}));
    OdArray<OdString>::size_type at = 0;
    EXPECT_TRUE(a.find(L"c", at));
    EXPECT_EQ(at, 2u);
    EXPECT_TRUE(a.remove(L"b"));
    EXPECT_FALSE(a.contains(L"b"));
    a.append(a);
    EXPECT_EQ(a, (OdArray<OdString>{L"a", L"c", L"d", L"a", L"c", L"d"}));
    a.removeSubArray(1, 3);
    EXPECT_EQ(a, (OdArray<OdString>{L"a", L"c", L"d"}));
    a.clear();
    EXPECT_TRUE(a.isEmpty());
}

TEST(OdkitArray, GrowsPastManyReallocationsKeepingValues)
{
    OdArray<double> a;
    for (int i = 0; i < 10000; ++i)
        a.push_back(i * 0.5);
    ASSERT_EQ(a.size(), 10000u);
    EXPECT_GE(a.physicalLength(), 10000u);
    for (int i = 0; i < 10000; i += 997)
        EXPECT_EQ(a[OdUInt32(i)], i * 0.5);
    a.resize(3, 9.0);
    EXPECT_EQ(a, (OdArray<double>{0.0, 0.5, 1.0}));
    a.resize(5, 9.0);
    EXPECT_EQ(a, (OdArray<double>{0.0, 0.5, 1.0, 9.0, 9.0}));
}

TEST(OdkitArray, AppendingAnElementOfItselfIsSafe)
{
    OdArray<OdString> a{L"x"};
    for (int i = 0; i < 20; ++i)
        a.append(a[0]); // the source lives in the buffer that may move
    EXPECT_EQ(a.size(), 21u);
    EXPECT_EQ(a.last(), OdString(L"x"));
}
