// The protocol table: ordered codes, printable names, and layouts that cover their records exactly.
#include <gtest/gtest.h>

#include <string>

#include "platform/session/CWzNetwork.h"
#include "platform/session/FsrWireTable.h"
#include "protocol/FsrMessages.h"

namespace {

using wzsession::FieldKind;
using wzsession::RecordLayout;

// Every byte of the record belongs to exactly one field (pads included), fields in memory order, so a member
// left out of the table or listed twice shows.
void expectCovers(const RecordLayout& layout) {
    SCOPED_TRACE(layout.name);
    uint32_t at = 0;
    for (uint32_t i = 0; i < layout.fieldCount; ++i) {
        const wzsession::FieldLayout& f = layout.fields[i];
        if (f.kind == FieldKind::Tail) {
            EXPECT_EQ(i + 1, layout.fieldCount) << "a trailing part comes last";
            continue;
        }
        EXPECT_EQ(f.offset, at) << "field " << i;
        at = f.offset + f.width;
        if (f.kind == FieldKind::Nested || f.kind == FieldKind::Array) {
            expectCovers(*f.element);
        }
        if (f.kind == FieldKind::Nested) {
            EXPECT_EQ(f.width, f.element->size);
        }
    }
    EXPECT_EQ(at, layout.size);
}

TEST(RecordTable, CodesAreOrderedAndFoundByCode) {
    size_t count = 0;
    const wzsession::WireCode* codes = wzsession::wireCodes(&count);
    ASSERT_GT(count, 0u);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            EXPECT_LT(codes[i - 1].code, codes[i].code) << codes[i].name;
        }
        EXPECT_EQ(wzsession::findWireCode(codes[i].code), &codes[i]);
        EXPECT_GE(codes[i].code, 0x18000001u);
        EXPECT_LE(codes[i].code, 0x180000a2u);
    }
    EXPECT_EQ(wzsession::findWireCode(0x18000003), nullptr);
    EXPECT_EQ(wzsession::findWireCode(0x180000a3), nullptr);
}

TEST(RecordTable, EveryLayoutCoversItsRecord) {
    size_t count = 0;
    const wzsession::WireCode* codes = wzsession::wireCodes(&count);
    for (size_t i = 0; i < count; ++i) {
        if (codes[i].record != nullptr) {
            expectCovers(*codes[i].record);
        }
    }
}

TEST(RecordTable, NamesAreTheProtocolNamesOrHex) {
    EXPECT_STREQ(WZS_PRIM_STRING(FSR_MSG_SET_PARAMS), "FSR_MSG_SET_PARAMS");
    EXPECT_STREQ(WZS_PRIM_STRING(FSR_GET_META_DATA_FOLDER), "FSR_GET_META_DATA_FOLDER");
    EXPECT_STREQ(WZS_FileSystemRestore_PM_STRING(FSR_MSG_PROBE_RESTORE_HEAD), "FSR_MSG_PROBE_RESTORE_HEAD");
    EXPECT_STREQ(WZS_PRIM_STRING(0x180000a3), "0x180000a3");
    EXPECT_STREQ(WZS_PRIM_STRING(0x1234567800000001ul), "0x1234567800000001");
    // Two unknown names in one log line stay apart.
    const char* a = WZS_PRIM_STRING(0x18000003);
    const char* b = WZS_FileSystemRestore_PM_STRING(0x18000009);
    EXPECT_STREQ(a, "0x18000003");
    EXPECT_STREQ(b, "0x18000009");
}

}  // namespace
