// Files of Windows clients, from the factory's choice to the close: only the main data stream reaches the file,
// wherever the buffers cut the backup stream and whatever holes it holds; the file takes owner 0, group 0 and a
// fixed mode; a stub's data comes from the stream the job's stub type names; failures fail the item.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "clRestore/objects/FsRestoreWindowsFile.h"
#include "clRestore/objects/ObjectData.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/common/WinBackupStream.h"
#include "tests/unit/factory/JobFactoryFixture.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

using fcltest::WinBackupStream;

const unsigned long kOutOfPlaceFile = FSR_OPT_OUT_OF_PLACE | FSR_OPT_DEST_IS_FILE | FSR_OPT_OVERWRITE;
const int kWindowsPlatform = 2;

// One piece the stream hands the object: data bytes, or a hole of that many zeros.
struct Piece {
    bool hole;
    std::string bytes;
};

// `bytes` in data buffers ending at each of `cuts`.
std::vector<Piece> buffers(const std::string& bytes, const std::vector<size_t>& cuts) {
    std::vector<Piece> pieces;
    size_t from = 0;
    std::vector<size_t> ends = cuts;
    ends.push_back(bytes.size());
    for (size_t end : ends) {
        pieces.push_back({false, bytes.substr(from, end - from)});
        from = end;
    }
    return pieces;
}

class WindowsFile : public fcltest::JobFactoryFixture {
protected:
    WindowsFile() {
        // A device item whose contents go into a regular file: the factory's road to a Windows file.
        job_.restoreDataInRawDev = 1;
        job_._rawDevAsRegularFile = 1;
    }

    // The object the factory makes for a Windows item at `dest`.
    std::unique_ptr<FsRestoreWindowsFile> create(CXFileHeader& h, const std::string& dest) {
        factory_ = make(kOutOfPlaceFile, dest);
        std::unique_ptr<FsRestoreObject> object(factory_->createRestoreObject(&h, 0));
        auto* file = dynamic_cast<FsRestoreWindowsFile*>(object.get());
        EXPECT_NE(file, nullptr);
        if (file != nullptr) {
            object.release();
        }
        return std::unique_ptr<FsRestoreWindowsFile>(file);
    }

    CXFileHeader windowsHeader(uint32_t mode = S_IFCHR | 0644) {
        return header("C:\\data\\item", mode, kWindowsPlatform);
    }

    // Open, the pieces, close: 1 when every step succeeded.
    int restore(FsRestoreWindowsFile& file, const std::vector<Piece>& pieces) {
        if (file.openObject() != 1) {
            return 0;
        }
        for (const Piece& piece : pieces) {
            const int result = piece.hole ? file.makeHole(static_cast<unsigned int>(piece.bytes.size()))
                                          : file.writeData(const_cast<char*>(piece.bytes.data()),
                                                           static_cast<int>(piece.bytes.size()));
            if (result != 1) {
                file.closeObject();
                return 0;
            }
        }
        return file.closeObject();
    }

    std::unique_ptr<fcltest::FactoryView> factory_;
};

TEST_F(WindowsFile, OnlyTheMainDataReachesTheFileWhereverTheBuffersCutTheStream) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    WinBackupStream stream;
    stream.security(std::string("\x01\x00\x04\x80 descriptor", 15))
        .data("0123456789")
        .alternate("Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3")
        .stream(WinBackupStream::kObjectId, std::string(16, 'o'));
    const std::string bytes = stream.bytes();
    const std::string dest = scratch_ / "restored";
    for (size_t at = 0; at < bytes.size(); ++at) {
        std::vector<size_t> cuts;
        if (at > 0) {
            cuts = {at, std::min(at + 7, bytes.size())};
        }
        CXFileHeader h = windowsHeader();
        h.size = bytes.size();
        auto file = create(h, dest);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(restore(*file, buffers(bytes, cuts)), 1) << "cut at " << at;
        EXPECT_EQ(factory_->getErrCode(), 0u);
        ASSERT_EQ(fcltest::readFile(dest), "0123456789") << "cut at " << at;
    }
}

TEST_F(WindowsFile, RestoredUnderADestinationDirectoryWithFixedOwnerAndMode) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    const std::string bytes = WinBackupStream().security("SD").data("0123456789").alternate("a", "b").bytes();
    CXFileHeader h = windowsHeader();
    h.size = bytes.size();
    h.uid = 1234;
    h.gid = 5678;
    factory_ = make(FSR_OPT_OUT_OF_PLACE | FSR_OPT_OVERWRITE, scratch_.path());
    std::unique_ptr<FsRestoreObject> object(factory_->createRestoreObject(&h, 0));
    auto* file = dynamic_cast<FsRestoreWindowsFile*>(object.get());
    ASSERT_NE(file, nullptr);
    const std::string path = object->getTranslatedPathname();
    ASSERT_EQ(restore(*file, buffers(bytes, {25})), 1);
    EXPECT_EQ(fcltest::readFile(path), "0123456789") << path;
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(WindowsFile, HolesOfTheItemAreStreamBytesWrittenAsZeros) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    // Zeros inside the main data, and zeros across the end of a security descriptor into the next header's place:
    // each run is sent as a hole, and what follows must still be read where it stands in the stream.
    const std::string main = "head" + std::string(300, '\0') + "tail";
    WinBackupStream stream;
    stream.security(std::string("SD") + std::string(40, '\0')).data(main).alternate("ads", "not data");
    const std::string bytes = stream.bytes();
    const size_t mainAt = bytes.find("head");
    const size_t sdZeros = bytes.find(std::string(40, '\0'), 20);
    const std::vector<Piece> pieces = {
        {false, bytes.substr(0, sdZeros)},
        {true, std::string(40, '\0')},
        {false, bytes.substr(sdZeros + 40, mainAt + 4 - (sdZeros + 40))},
        {true, std::string(300, '\0')},
        {false, bytes.substr(mainAt + 304)},
    };
    const std::string dest = scratch_ / "holes";
    CXFileHeader h = windowsHeader();
    h.size = bytes.size();
    auto file = create(h, dest);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(restore(*file, pieces), 1);
    EXPECT_EQ(factory_->getErrCode(), 0u);
    EXPECT_EQ(fcltest::readFile(dest), main);
}

TEST_F(WindowsFile, FailuresFailTheItem) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    const struct {
        const char* name;
        std::string bytes;
        bool fullDisk;
        unsigned long error;
    } cases[] = {
        {"stream id beyond the format", WinBackupStream().header(10, 4, 0).raw("data").bytes(), false,
         fclitem::kWriteFailed},
        {"name longer than the format allows", WinBackupStream().header(4, 0, 300).bytes(), false,
         fclitem::kWriteFailed},
        {"main data written to a full disk", WinBackupStream().data("data").bytes(), true, fclitem::kDiskFull},
    };
    for (const auto& c : cases) {
        wzlog::ScopedCapture capture;
        const std::string dest = scratch_ / "failing";
        CXFileHeader h = windowsHeader();
        h.size = c.bytes.size();
        auto file = create(h, dest);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(file->openObject(), 1) << c.name;
        if (c.fullDisk) {
            const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
            ASSERT_GE(full, 0);
            ASSERT_GE(dup2(full, file->_handle), 0);
            close(full);
        }
        EXPECT_EQ(file->writeData(const_cast<char*>(c.bytes.data()), static_cast<int>(c.bytes.size())), 0) << c.name;
        EXPECT_EQ(factory_->getErrCode(), c.error) << c.name;
        EXPECT_TRUE(capture->contains("WinStreamParser::parse fail for file '" + dest + "'")) << c.name;
        file->closeObject();
    }
}

TEST_F(WindowsFile, AStreamThatEndsInsideAStreamFailsTheItem) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    const std::string whole = WinBackupStream().security("SD").alternate("ads", "0123456789").bytes();
    const size_t name = whole.find(WinBackupStream::utf16(":ads"));
    const struct {
        const char* name;
        std::string bytes;
        unsigned long error;
    } cases[] = {
        {"whole", whole, 0},
        {"inside a header", whole.substr(0, 22 + 12), fclitem::kWriteFailed},
        {"inside a name", whole.substr(0, name + 3), fclitem::kWriteFailed},
        {"inside the data", whole.substr(0, whole.size() - 1), fclitem::kWriteFailed},
    };
    for (const auto& c : cases) {
        const std::string dest = scratch_ / "short";
        CXFileHeader h = windowsHeader();
        auto file = create(h, dest);
        ASSERT_NE(file, nullptr);
        restore(*file, buffers(c.bytes, {}));
        EXPECT_EQ(factory_->getErrCode(), c.error) << c.name;
    }
}

TEST_F(WindowsFile, ExtentsAreWrittenAsTheyComeAndSkippedItemsDropTheirData) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    const std::string bytes = WinBackupStream().data("main").bytes();
    {
        const std::string dest = scratch_ / "extent";
        CXFileHeader h = windowsHeader();
        h.h_flags2 |= CXHDR_F2_EXTENT;
        auto file = create(h, dest);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(file->openObject(), 1);
        EXPECT_EQ(file->writeData(const_cast<char*>(bytes.data()), static_cast<int>(bytes.size())), 1);
        file->closeObject();
        EXPECT_EQ(fcltest::readFile(dest), bytes);
    }
    {
        const std::string dest = scratch_ / "skipped";
        CXFileHeader h = windowsHeader();
        auto file = create(h, dest);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(file->openObject(), 1);
        file->_dontRestore = 1;
        EXPECT_EQ(file->writeData(const_cast<char*>(bytes.data()), static_cast<int>(bytes.size())), 1);
        EXPECT_EQ(file->makeHole(100), 1);
        file->_dontRestore = 0;
        file->closeObject();
        EXPECT_EQ(fcltest::readFile(dest), "");
    }
}

TEST_F(WindowsFile, OwnerGroupAndModeAreFixed) {
    const struct {
        uint32_t mode;
        bool personalWorkstation;
        uint32_t expected;
    } cases[] = {
        {S_IFCHR | 0644, false, S_IFCHR | 0700},
        {S_IFCHR | 0644, true, S_IFCHR | 0777},
        {S_IFBLK | 06755, false, S_IFBLK | 06700},
        {S_IFBLK | 01000, true, S_IFBLK | 01777},
    };
    for (const auto& c : cases) {
        job_._personalWorkstation = c.personalWorkstation;
        CXFileHeader h = windowsHeader(c.mode);
        h.uid = 1234;
        h.gid = 5678;
        auto file = create(h, scratch_ / "mode");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->_mode, c.expected) << std::oct << c.mode;
        EXPECT_EQ(file->_uid, 0u);
        EXPECT_EQ(file->_gid, 0u);
    }
}

TEST_F(WindowsFile, StubDataComesFromTheStreamTheStubTypeNames) {
    const std::string stub = "stub bytes";
    const std::string sparseStub = "from the sparse block";
    const struct {
        const char* name;
        int stubType;
        uint32_t attributes;
        unsigned int stubStream;
        int stubTypeAfter;
        WinBackupStream stream;
        std::string stubData;
        std::string file;
    } cases[] = {
        {"reparse point of a Windows client", 2, 0x400, 8, 1, WinBackupStream().data("main").reparse(stub), stub,
         "main"},
        {"data-stream stub of a Windows client", 1, 0x20, 1, 2, WinBackupStream().data(stub), stub, ""},
        {"data-stream stub whose data is in its sparse block", 2, 0, 1, 2,
         WinBackupStream().data("").sparseBlock(0x4000, sparseStub), sparseStub, ""},
        {"stub of a file server", 3, 0x400, 1, 3, WinBackupStream().data(stub), stub, ""},
        {"stub of a NAS client", 4, 0, 1, 4, WinBackupStream().data(stub), stub, ""},
        {"no stub type", 0, 0x400, WinStreamParser::kNoStubStream, 0, WinBackupStream().data("main").reparse("reparse"),
         "reparse", "main"},
        {"the stub is bounded", 1, 0x400, 8, 1, WinBackupStream().reparse(std::string(3000, 'b')),
         std::string(kStubDataSize, 'b'), ""},
    };
    for (const auto& c : cases) {
        job_.SetSourceStubType(c.stubType);
        CXFileHeader h = windowsHeader();
        h.h_flags2 |= CXHDR_F2_STUB;
        h.fileAttributes = c.attributes;
        const std::string dest = scratch_ / "stub";
        auto file = create(h, dest);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->_winStreamRestore.getStubdataStreamId(), c.stubStream) << c.name;
        EXPECT_EQ(job_.GetSourceStubType(), c.stubTypeAfter) << c.name;
        // The data path alone, into a file of the test's: how a stub is made is the storage layer's business.
        file->_handle = open(dest.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(file->_handle, 0);
        file->_winStreamRestore.setHandle(file->_handle);
        const std::string bytes = c.stream.bytes();
        EXPECT_EQ(file->writeData(const_cast<char*>(bytes.data()), static_cast<int>(bytes.size())), 1) << c.name;
        file->closeObject();
        EXPECT_EQ(std::string(
                      file->_stubData.begin(),
                      file->_stubData.begin() + static_cast<long>(std::min(file->_stubData.size(), c.stubData.size()))),
                  c.stubData)
            << c.name;
        EXPECT_EQ(fcltest::readFile(dest), c.file) << c.name;
    }
}

}  // namespace
