// A restore object copies what it needs of its item's header: each field, the inode from its two halves, the Apple
// marker by header version, the fork sizes, the owner of an impersonated restore and the stub flags.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/objects/RestoreUserGlobals.h"
#include "platform/log/LogWriter.h"
#include "tests/common/FactoryFixture.h"

namespace {

class HeaderFields : public fcltest::FactoryFixture {
protected:
    HeaderFields() : factory_(makeFactory()) {
        header_.mode = 0100644;
        header_.size = 1000;
    }

    std::unique_ptr<FsRestoreUnixObject> build() {
        return std::unique_ptr<FsRestoreUnixObject>(new FsRestoreFile(&header_, factory_.get()));
    }

    std::unique_ptr<FsRestoreUnixObjectsFactory> factory_;
    CXFileHeader header_;
};

struct FieldCase {
    const char* name;
    std::function<void(CXFileHeader&)> set;
    std::function<void(const FsRestoreUnixObject&)> check;
};

TEST_F(HeaderFields, EachFieldIsCopied) {
    const FieldCase cases[] = {
        {"mode keeps its low 32 bits", [](CXFileHeader& h) { h.mode = 0xabcd000041edULL; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._mode, 0x41edu); }},
        {"mtime keeps its low 32 bits", [](CXFileHeader& h) { h.mtime = 0x100000005ULL; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._mtime, 5u); }},
        {"ctime keeps its low 32 bits", [](CXFileHeader& h) { h.ctime = 0x2000000007ULL; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._ctime, 7u); }},
        {"atime", [](CXFileHeader& h) { h.atime = 0xfffffff0u; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._atime, 0xfffffff0u); }},
        {"uid and gid whole", [](CXFileHeader& h) { h.uid = 0x100000003ULL, h.gid = 0x200000004ULL; },
         [](const FsRestoreUnixObject& o) {
             EXPECT_EQ(o._uid, 0x100000003ULL);
             EXPECT_EQ(o._gid, 0x200000004ULL);
         }},
        {"size", [](CXFileHeader& h) { h.size = 0x123456789ULL; },
         [](const FsRestoreUnixObject& o) {
             EXPECT_EQ(o._filesize, 0x123456789ULL);
             EXPECT_EQ(o.hfsDataSize, 0x123456789ULL);
             EXPECT_EQ(o.hfsRsrcSize, 0u);
             EXPECT_EQ(o.hfsAttrSize, 0u);
         }},
        {"source platform", [](CXFileHeader& h) { h.sourcePlatform = -3; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._sourcePlatform, -3); }},
        {"flags and flags2", [](CXFileHeader& h) { h.flags = 0x8000000000000001ULL, h.flags2 = 0x20; },
         [](const FsRestoreUnixObject& o) {
             EXPECT_EQ(o._flags, 0x8000000000000001ULL);
             EXPECT_EQ(o._flags2, 0x20u);
         }},
        {"extent offset", [](CXFileHeader& h) { h.extentOffset = 1ULL << 40; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._extentFileOffset, 1ULL << 40); }},
        {"inode high and low", [](CXFileHeader& h) { h.inodeHigh = 0x12345678, h.inodeLow = 0x9abcdef0; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._inode, 0x123456789abcdef0ULL); }},
        {"inode low alone", [](CXFileHeader& h) { h.inodeLow = 0xffffffffu; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._inode, 0xffffffffULL); }},
        {"link count", [](CXFileHeader& h) { h.linkCount = 3; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._linkCount, 3u); }},
        {"device from the attribute word", [](CXFileHeader& h) { h.fileAttributes = 0x801; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._device, 0x801u); }},
        {"rdev", [](CXFileHeader& h) { h.rdev = 0x10803; },
         [](const FsRestoreUnixObject& o) { EXPECT_EQ(o._rdev, 0x10803u); }},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        header_ = CXFileHeader();
        c.set(header_);
        c.check(*build());
    }
}

TEST_F(HeaderFields, StartsUnopenedAndUnskipped) {
    auto object = build();
    EXPECT_EQ(object->_handle, -1);
    EXPECT_EQ(object->_rsrchandle, -1);
    EXPECT_EQ(object->_statReturn, FsRestoreUnixObject::kStatNotDone);
    EXPECT_EQ(object->_dontRestore, 0);
    EXPECT_EQ(object->_hardLink, 0);
    EXPECT_EQ(object->_holePending, 0);
    EXPECT_TRUE(object->isFileProcessed());
    EXPECT_EQ(object->_longPathHandler, nullptr);
    EXPECT_TRUE(object->_setLustreStripe);
    EXPECT_FALSE(object->_hsmEnabled) << "no job";
    EXPECT_EQ(object->_hsmCtx, nullptr);
    EXPECT_STREQ(object->_rsrcFilename, "");
}

TEST_F(HeaderFields, AppleMarkerIsReadByHeaderVersion) {
    const struct {
        uint32_t version;
        unsigned char bytes[4];
        uint32_t isFromHFS;
    } cases[] = {
        {0, {0x01, 0xff, 0xff, 0xff}, 1},           {2, {0x01, 0xff, 0xff, 0xff}, 1}, {0, {0x00, 0x01, 0x00, 0x00}, 0},
        {1, {0x01, 0xff, 0xff, 0xff}, 0x01ffffffu}, {1, {0x00, 0x00, 0x00, 0x05}, 5}, {1, {0x00, 0x00, 0x00, 0x00}, 0},
        {3, {0x15, 0x00, 0x00, 0x00}, 0x15},
    };
    for (const auto& c : cases) {
        header_ = CXFileHeader();
        header_.headerVersion = c.version;
        memcpy(&header_.isFromHFS, c.bytes, 4);
        EXPECT_EQ(build()->isFromHFS, c.isFromHFS) << "version " << c.version << " first byte " << int(c.bytes[0]);
    }
}

TEST_F(HeaderFields, AppleForkSizesNeverPassTheItemSize) {
    const struct {
        uint64_t size;
        uint64_t extentOffset;
        uint32_t flags2;
        uint64_t data, rsrc, attr, extentFileOffset;
    } cases[] = {
        {1000, 600, 0, 600, 308, 92, 600},
        {1000, 600, CXHDR_F2_EXTENT, 600, 308, 92, 0},  // an Apple extent item has no extent offset
        {692, 600, 0, 600, 0, 92, 600},
        {650, 600, 0, 600, 0, 50, 600},  // sizes that do not add up: the parts are cut, never wrapped
        {100, 600, 0, 100, 0, 0, 600},
        {0, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        header_ = CXFileHeader();
        header_.h_isHfs = 1;
        header_.size = c.size;
        header_.extentOffset = c.extentOffset;
        header_.flags2 = c.flags2;
        auto object = build();
        SCOPED_TRACE(std::to_string(c.size) + "/" + std::to_string(c.extentOffset));
        EXPECT_EQ(object->hfsDataSize, c.data);
        EXPECT_EQ(object->hfsRsrcSize, c.rsrc);
        EXPECT_EQ(object->hfsAttrSize, c.attr);
        EXPECT_EQ(object->_extentFileOffset, c.extentFileOffset);
    }
}

TEST_F(HeaderFields, EveryObjectStartsTheResourceForkAttributeAtZero) {
    lastOffset = 4096;
    build();
    EXPECT_EQ(lastOffset, 0u);
}

TEST_F(HeaderFields, RestoreUserOwnsTheItemsOfAnImpersonatedRestore) {
    header_.uid = 1;
    header_.gid = 2;
    uName = "restoreuser";
    uPwd.pw_uid = 1234;
    uPwd.pw_gid = 5678;
    wzlog::ScopedCapture capture;
    auto object = build();
    uName.clear();
    EXPECT_EQ(object->_uid, 1234u);
    EXPECT_EQ(object->_gid, 5678u);
    // The log line gives the header's owner.
    EXPECT_TRUE(capture->contains("uid=1 gid=2 mode=0x81a4"));

    auto ordinary = build();
    EXPECT_EQ(ordinary->_uid, 1u);
    EXPECT_EQ(ordinary->_gid, 2u);
}

TEST_F(HeaderFields, StubFlagsFollowTheHeaderAndTheJobOptions) {
    const uint32_t stubWithData = CXHDR_F2_STUB | CXHDR_F2_STUB_GUID;
    const struct {
        const char* name;
        uint32_t flags2;
        uint64_t flags;
        bool dataNotStub;
        bool isStub;
        bool skipStub;
    } cases[] = {
        {"plain file", 0, 0, true, false, false},
        {"stub", CXHDR_F2_STUB, 0, true, true, false},
        {"stub by flags word", 0, CXHDR_F_STUB, true, true, false},
        {"stub with data, data wanted", stubWithData, 0, true, true, true},
        {"stub with data, stubs wanted", stubWithData, 0, false, true, false},
        {"data marker alone", CXHDR_F2_STUB_GUID, 0, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeSettings(c.dataNotStub ? "[TaskOptions]\n7.84 = true\n" : "");
        factory_->InitializeJobOptions(kJobId);
        header_ = CXFileHeader();
        header_.flags2 = c.flags2;
        header_.flags = c.flags;
        auto object = build();
        EXPECT_EQ(object->_isStub, c.isStub);
        EXPECT_EQ(object->_dontRestoreStubWithGUID, c.skipStub);
        EXPECT_EQ(object->GetRestoredItemType(), c.isStub ? " STUB" : " DATA");
        object->setStubWithNoData(false);
        EXPECT_EQ(object->_dontRestoreStubWithGUID, c.skipStub);
        EXPECT_FALSE(object->IsStubWithNoData());
        // A stub without data has nothing to restore in place of the stub.
        object->setStubWithNoData(true);
        EXPECT_FALSE(object->_dontRestoreStubWithGUID);
        EXPECT_TRUE(object->IsStubWithNoData());
    }
}

TEST_F(HeaderFields, SkipAppleForksComesFromTheFactory) {
    writeSettings("[TaskOptions]\n7.56 = true\n");
    factory_->InitializeJobOptions(kJobId);
    EXPECT_TRUE(build()->_skipAppleForks);
    writeSettings("");
    factory_->InitializeJobOptions(kJobId);
    EXPECT_FALSE(build()->_skipAppleForks);
}

TEST_F(HeaderFields, SmallMembersKeepWhatTheyAreGiven) {
    auto object = build();
    object->setArchFileAppType(0x7d);
    object->setDocRestore(true);
    object->setTranslatedPathForExtentRestore("/x/extent");
    object->setExtentFileOffset(11);
    object->setNumExtents(12);
    object->setExtentId(13);
    object->setExtentSize(14);
    EXPECT_EQ(object->_archAppType, 0x7du);
    EXPECT_TRUE(object->_docRestore);
    EXPECT_EQ(object->_extentPath, "/x/extent");
    EXPECT_EQ(object->_extentFileOffset, 11u);
    EXPECT_EQ(object->_numExtents, 12u);
    EXPECT_EQ(object->_extentId, 13u);
    EXPECT_EQ(object->_extentSize, 14u);
    object->_filename = "/dest/item";
    object->_realName = "/dest/real";
    EXPECT_EQ(object->getTranslatedPathname(), "/dest/item");
    EXPECT_EQ(object->realName(), "/dest/real");
    object->_dontRestore = 1;
    EXPECT_FALSE(object->isFileProcessed());
}

}  // namespace
