#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/support/CQiString.h"

namespace {

TEST(CQiString, EmptyStringsGiveAnEmptyTextNeverNull) {
    const CQiString empties[] = {CQiString(), CQiString(static_cast<const char*>(nullptr)), CQiString("")};
    for (const CQiString& s : empties) {
        ASSERT_NE(s.c_str(), nullptr);
        EXPECT_STREQ(s.c_str(), "");
        EXPECT_STREQ(static_cast<const char*>(s), "");
        EXPECT_EQ(s.Length(), 0u);
    }
}

TEST(CQiString, AppendingANullPointerChangesNothing) {
    CQiString s("abc");
    s += nullptr;
    EXPECT_STREQ(s.c_str(), "abc");
    EXPECT_EQ(s.Length(), 3u);
    s.Append(nullptr, 5);
    EXPECT_EQ(s.Length(), 3u);
    EXPECT_STREQ((s + static_cast<const char*>(nullptr)).c_str(), "abc");
}

TEST(CQiString, ConcatenationMakesNewValues) {
    CQiString a("/data");
    CQiString b("/ks");
    CQiString joined = a + b;
    EXPECT_STREQ(joined.c_str(), "/data/ks");
    EXPECT_EQ(joined.Length(), 8u);
    EXPECT_STREQ(a.c_str(), "/data");
    EXPECT_STREQ((a + "/t").c_str(), "/data/t");
    EXPECT_STREQ((a + CQiString()).c_str(), "/data");
    EXPECT_STREQ((CQiString() + a).c_str(), "/data");
}

TEST(CQiString, AppendGrowsAcrossManyStepsAndFromItsOwnText) {
    CQiString s("ab");
    for (int i = 0; i < 10; ++i) {
        s.Append(s.c_str(), s.Length());
    }
    EXPECT_EQ(s.Length(), 2u << 10);
    EXPECT_EQ(std::string(s.c_str()), [] {
        std::string t;
        for (int i = 0; i < 1024; ++i) {
            t += "ab";
        }
        return t;
    }());
}

TEST(CQiString, AppendTakesExactlyTheCountGiven) {
    CQiString s;
    s.Append("abcdef", 3);
    EXPECT_STREQ(s.c_str(), "abc");
    EXPECT_EQ(s.Length(), 3u);
}

TEST(CQiString, CopiesAreIndependent) {
    CQiString original("one");
    CQiString copy(original);
    copy += "two";
    CQiString assigned;
    assigned = copy;
    assigned = assigned;
    original = CQiString();
    EXPECT_STREQ(copy.c_str(), "onetwo");
    EXPECT_STREQ(assigned.c_str(), "onetwo");
    EXPECT_STREQ(original.c_str(), "");
    EXPECT_EQ(original.Length(), 0u);
}

TEST(CQiString, FromIntIsTheDecimalText) {
    EXPECT_STREQ(CQiString(0).c_str(), "0");
    EXPECT_STREQ(CQiString(-2147483647 - 1).c_str(), "-2147483648");
    EXPECT_STREQ(CQiString(8033).c_str(), "8033");
}

TEST(CQiString, OrdersAsMapKeysWithEmptyStringsEqual) {
    std::map<CQiString, CQiString> tables;
    tables["ks:b"] = "ks/b-2";
    tables["ks:a"] = "ks/a-1";
    tables[CQiString()] = "none";
    tables[""] = "still none";
    ASSERT_EQ(tables.size(), 3u);
    EXPECT_STREQ(tables.begin()->second.c_str(), "still none");
    EXPECT_STREQ(tables[CQiString("ks:a")].c_str(), "ks/a-1");
    EXPECT_LT(CQiString::Safe_strcmp(nullptr, "a"), 0);
    EXPECT_EQ(CQiString::Safe_strcmp(nullptr, ""), 0);
    EXPECT_EQ(CQiString::Safe_strcmp(nullptr, nullptr), 0);
}

TEST(AutoMemory, PtrConstIsNullWhileNothingIsInUseEvenWithABuffer) {
    CAutoMemory<char> memory(8);
    ASSERT_NE(memory.Ptr(), nullptr);
    EXPECT_EQ(memory.Ptr_const(), memory.Ptr());
    ASSERT_TRUE(memory.SetSize(0));
    EXPECT_NE(memory.Ptr(), nullptr);
    EXPECT_EQ(memory.Ptr_const(), nullptr);
    EXPECT_FALSE(memory.SetSize(9));
    EXPECT_EQ(memory.Size(), 0u);
}

TEST(AutoMemory, ReleaseClearsPointerSizeAndCapacity) {
    CAutoMemory<char> memory(16);
    memory.Release();
    EXPECT_EQ(memory.Ptr(), nullptr);
    EXPECT_EQ(memory.Size(), 0u);
    EXPECT_EQ(memory.Capacity(), 0u);
    memory.Release();
}

TEST(AutoMemory, AttachedForeignBufferIsNeverFreed) {
    // A stack record: freeing it here would corrupt the stack (ASan reports it).
    char record[32] = "init data";
    {
        CAutoMemory<char> memory;
        memory.Attach(record, sizeof record, false);
        EXPECT_FALSE(memory.IsOwned());
        EXPECT_EQ(memory.Ptr_const(), record);
        EXPECT_EQ(memory.Size(), sizeof record);
    }
    {
        CAutoMemory<char> memory;
        memory.Attach(record, sizeof record, false);
        memory.Release();
        EXPECT_EQ(memory.Ptr(), nullptr);
    }
    EXPECT_STREQ(record, "init data");
}

TEST(AutoMemory, OwnedBufferMovesAndDetachesWithoutDoubleFree) {
    CAutoMemory<char> first;
    char* raw = new char[4]();
    first.Attach(raw, 4, true);
    CAutoMemory<char> second(std::move(first));
    EXPECT_EQ(first.Ptr(), nullptr);
    EXPECT_EQ(second.Ptr(), raw);
    CAutoMemory<char> third(2);
    third = std::move(second);
    EXPECT_EQ(third.Ptr(), raw);
    char* taken = third.Detach();
    EXPECT_EQ(taken, raw);
    EXPECT_EQ(third.Ptr(), nullptr);
    delete[] taken;
}

}  // namespace
