#pragma once
// The pre-header that may precede an item's file header: flags, the item's version and a name. The wire form
// (payload of a PL_FS_PREHDR buffer) has the same layout with the two numbers in network byte order.
#include <cstddef>
#include <cstdint>

constexpr uint32_t FSR_PREHDR_HAS_VERSION = 0x1;
constexpr uint32_t FSR_PREHDR_HARD_LINK = 0x2;
constexpr uint32_t FSR_PREHDR_FIRST_NAME = 0x4;
constexpr uint32_t FSR_PREHDR_STUB = 0x8;
constexpr uint32_t FSR_PREHDR_STUB_NO_DATA = 0x10;
constexpr uint32_t FSR_PREHDR_SYNC_LAST_FILE = 0x80;

constexpr size_t FSR_PREHDR_NAME_SIZE = 1028;
// The most significant bytes of a name the record keeps.
constexpr size_t FSR_PREHDR_NAME_MAX = 1024;

struct FSRPreHeader {
    uint32_t flags;
    uint32_t version;
    char linkName[FSR_PREHDR_NAME_SIZE];
};

static_assert(sizeof(FSRPreHeader) == 1036, "FSRPreHeader is 1036 bytes");
static_assert(offsetof(FSRPreHeader, flags) == 0, "flags");
static_assert(offsetof(FSRPreHeader, version) == 4, "version");
static_assert(offsetof(FSRPreHeader, linkName) == 8, "linkName");
