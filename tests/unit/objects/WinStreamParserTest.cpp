// The Windows backup-stream parser: every stream kind reaches its handler whole and in order, wherever the item's
// buffers cut the stream (headers and names included, across any number of buffers); format errors stop the parse;
// the restore family writes only the main data and collects a stub's data from the stream that carries it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "clRestore/objects/ObjectData.h"
#include "clRestore/objects/WinStreamParser.h"
#include "platform/log/LogWriter.h"
#include "tests/common/WinBackupStream.h"

namespace {

using fcltest::WinBackupStream;

// One stream as its handler saw it: pieces joined, each piece checked against the stream's size and offset.
struct SeenStream {
    uint32_t id;
    std::string name;
    uint64_t size;
    std::string bytes;
    bool operator==(const SeenStream& o) const {
        return id == o.id && name == o.name && size == o.size && bytes == o.bytes;
    }
};

std::ostream& operator<<(std::ostream& out, const SeenStream& s) {
    return out << "{id " << s.id << ", name of " << s.name.size() << " bytes, size " << s.size << ", " << s.bytes.size()
               << " bytes}";
}

class Recorder : public WinStreamParser {
public:
    std::vector<SeenStream> streams;
    std::vector<std::pair<uint64_t, uint64_t>> pieces;  // (offset, length) of each handler call
    int failOn = -1;                                    // a handler of this id answers -1

    int note(uint32_t id, const char* data, unsigned int length, unsigned long long size, unsigned long long offset) {
        pieces.emplace_back(offset, length);
        if (offset == 0) {
            const WinStreamHeader& h = streamHeader();
            streams.push_back({id, std::string(reinterpret_cast<const char*>(streamName()), h.dwStreamNameSize), size,
                               std::string()});
        }
        SeenStream& s = streams.back();
        EXPECT_EQ(s.id, id);
        EXPECT_EQ(s.size, size);
        EXPECT_EQ(s.bytes.size(), offset);
        s.bytes.append(data, length);
        return static_cast<int>(id) == failOn ? -1 : 0;
    }
#define FCL_RECORD(handler, id)                                                                       \
    int handler(const char* d, unsigned int n, unsigned long long s, unsigned long long o) override { \
        return note(id, d, n, s, o);                                                                  \
    }
    FCL_RECORD(handleInvalid, 0)
    FCL_RECORD(handleData, 1)
    FCL_RECORD(handleEaData, 2)
    FCL_RECORD(handleSecurityData, 3)
    FCL_RECORD(handleAlternateData, 4)
    FCL_RECORD(handleLink, 5)
    FCL_RECORD(handlePropertyData, 6)
    FCL_RECORD(handleObjectId, 7)
    FCL_RECORD(handleReparseData, 8)
    FCL_RECORD(handleSparseBlock, 9)
#undef FCL_RECORD
};

// Feeds `bytes` in buffers ending at each of `cuts` (and at the end); the first failing answer, else 0.
int feed(WinStreamParser& parser, const std::string& bytes, const std::vector<size_t>& cuts) {
    size_t from = 0;
    std::vector<size_t> ends = cuts;
    ends.push_back(bytes.size());
    for (size_t end : ends) {
        // Each buffer is its own allocation, so a read past its end shows under the sanitizers.
        std::vector<char> buffer(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(end));
        const int result = parser.parse(buffer.data(), static_cast<unsigned int>(buffer.size()));
        if (result != 0) {
            return result;
        }
        from = end;
    }
    return 0;
}

// Every way of cutting worth trying: two buffers split at each byte, and buffers of each fixed size up to
// `maxChunk` (a header or name then spans up to 20 or 256 buffers).
std::vector<std::vector<size_t>> everyCut(size_t length, size_t maxChunk) {
    std::vector<std::vector<size_t>> ways;
    for (size_t at = 1; at < length; ++at) {
        ways.push_back({at});
    }
    for (size_t chunk = 1; chunk <= maxChunk; ++chunk) {
        std::vector<size_t> cuts;
        for (size_t at = chunk; at < length; at += chunk) {
            cuts.push_back(at);
        }
        ways.push_back(cuts);
    }
    return ways;
}

std::string describe(const std::vector<size_t>& cuts) {
    std::string text = "cuts at";
    for (size_t i = 0; i < cuts.size() && i < 4; ++i) {
        text += " " + std::to_string(cuts[i]);
    }
    return cuts.size() > 4 ? text + " ..." : text;
}

// A stream with one of every kind, names short, long and cut-prone, an empty stream and sparse blocks.
WinBackupStream everyKind() {
    WinBackupStream s;
    s.security(std::string("\x01\x00\x04\x80SD", 6))
        .eaData("EA")
        .data("0123456789")
        .alternate("Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3")
        .stream(WinBackupStream::kAlternate, "", WinBackupStream::utf16(":empty:$DATA"))
        .stream(WinBackupStream::kAlternate, "longest", std::string(256, 'N'))
        .stream(WinBackupStream::kLink, "link")
        .stream(WinBackupStream::kProperty, "prop")
        .stream(WinBackupStream::kObjectId, std::string(16, '\x07'))
        .reparse("reparse data")
        .sparseBlock(0x10000, "sparse one")
        .sparseBlock(0x20000, std::string(40, 'S'))
        .stream(WinBackupStream::kInvalid, "??");
    return s;
}

std::vector<SeenStream> expectedEveryKind() {
    const std::string le = WinBackupStream::littleEndian(0x10000, 8);
    const std::string le2 = WinBackupStream::littleEndian(0x20000, 8);
    return {
        {3, "", 6, std::string("\x01\x00\x04\x80SD", 6)},
        {2, "", 2, "EA"},
        {1, "", 10, "0123456789"},
        {4, WinBackupStream::utf16(":Zone.Identifier:$DATA"), 24, "[ZoneTransfer]\r\nZoneId=3"},
        {4, std::string(256, 'N'), 7, "longest"},
        {5, "", 4, "link"},
        {6, "", 4, "prop"},
        {7, "", 16, std::string(16, '\x07')},
        {8, "", 12, "reparse data"},
        {9, "", 18, le + "sparse one"},
        {9, "", 48, le2 + std::string(40, 'S')},
        {0, "", 2, "??"},
    };
}

TEST(WinStreamParser, EveryStreamKindReachesItsHandlerWholeWhereverTheBuffersAreCut) {
    const std::string bytes = everyKind().bytes();
    const std::vector<SeenStream> expected = expectedEveryKind();
    {
        Recorder whole;
        ASSERT_EQ(whole.parse(bytes.data(), static_cast<unsigned int>(bytes.size())), 0);
        EXPECT_EQ(whole.streams, expected);
        EXPECT_EQ(whole.totalBytes(), bytes.size());
    }
    for (const std::vector<size_t>& cuts : everyCut(bytes.size(), 41)) {
        Recorder cut;
        ASSERT_EQ(feed(cut, bytes, cuts), 0) << describe(cuts);
        ASSERT_EQ(cut.streams, expected) << describe(cuts);
        ASSERT_EQ(cut.totalBytes(), bytes.size()) << describe(cuts);
    }
}

TEST(WinStreamParser, PiecesCarryTheStreamSizeAndTheirOffset) {
    WinBackupStream s;
    s.data(std::string(100, 'd')).stream(WinBackupStream::kData, "", "", 0).eaData("after");
    const std::string bytes = s.bytes();
    Recorder parser;
    // 30, 30 and 40 data bytes; the empty stream calls no handler and the next header follows at once.
    ASSERT_EQ(feed(parser, bytes, {50, 80}), 0);
    const std::vector<std::pair<uint64_t, uint64_t>> pieces = {{0, 30}, {30, 30}, {60, 40}, {0, 5}};
    EXPECT_EQ(parser.pieces, pieces);
}

TEST(WinStreamParser, FormatErrorsAndFailedHandlersStopTheParse) {
    const struct {
        const char* name;
        std::string bytes;
        int failOn;
        const char* logged;  // "" : the parse succeeds
    } cases[] = {
        {"stream id above the last kind", WinBackupStream().header(10, 0, 0).bytes(), -1,
         "parseHeader: invalid dwStreamId field 10"},
        {"name longer than the format allows", WinBackupStream().header(4, 0, 257).bytes(), -1,
         "parseHeader: stream name is too long at 257"},
        {"longest name", WinBackupStream().stream(4, "x", std::string(256, 'n')).bytes(), -1, ""},
        {"handler refuses", WinBackupStream().eaData("x").bytes(), 2, "parse: handler failed for type 2"},
    };
    for (const auto& c : cases) {
        for (const std::vector<size_t>& cuts : everyCut(c.bytes.size(), 3)) {
            wzlog::ScopedCapture capture;
            Recorder parser;
            parser.failOn = c.failOn;
            const int result = feed(parser, c.bytes, cuts);
            if (*c.logged == '\0') {
                EXPECT_EQ(result, 0) << c.name << ", " << describe(cuts);
            } else {
                EXPECT_EQ(result, -1) << c.name << ", " << describe(cuts);
                EXPECT_TRUE(capture->contains(c.logged)) << c.name << ", " << describe(cuts);
            }
        }
    }
    // A length beyond what a signed count holds is refused before any byte is read.
    Recorder parser;
    const char byte = 0;
    EXPECT_EQ(parser.parse(&byte, static_cast<unsigned int>(INT_MAX) + 1u), -1);
}

TEST(WinStreamParser, NamesAreLoggedWithinTheirLength) {
    // A name of the longest size without a NUL, then more fields behind it in the parser.
    WinBackupStream s;
    s.stream(WinBackupStream::kAlternate, "x", std::string(256, 'N'));
    const std::string bytes = s.bytes();
    wzlog::ScopedCapture capture(10);
    WinStreamNoOp parser;
    ASSERT_EQ(parser.parse(bytes.data(), static_cast<unsigned int>(bytes.size())), 0);
    EXPECT_TRUE(capture->contains("stream name:" + std::string(256, 'N') + ":"));
}

TEST(WinStreamLogger, LogsEachPieceWithItsFirstBytes) {
    const std::string bytes = WinBackupStream().data("\x01\xAB\xFF").bytes();
    wzlog::ScopedCapture capture(1);
    WinStreamLogger logger;
    ASSERT_EQ(logger.parse(bytes.data(), static_cast<unsigned int>(bytes.size())), 0);
    EXPECT_TRUE(capture->contains("Data, thisSize 3, totSize 3, offset 0, 1 AB FF"));
    const std::string name(300, 'q');  // no NUL within the longest name
    logger.logName(name.c_str());
    EXPECT_TRUE(capture->contains("*** Name '" + std::string(256, 'q') + "' ***"));
}

// ---- the restore family ----

class WinStreamRestoreTest : public ::testing::Test {
protected:
    static std::string contents(int fd) {
        std::string out;
        char buffer[4096];
        ssize_t n;
        for (off_t at = 0; (n = pread(fd, buffer, sizeof buffer, at)) > 0; at += n) {
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }
    ~WinStreamRestoreTest() override {
        for (int fd : fds_) {
            close(fd);
        }
    }
    std::vector<int> fds_;
};

TEST_F(WinStreamRestoreTest, WritesTheMainDataAndCollectsTheStubDataOfItsStream) {
    const std::string le1 = WinBackupStream::littleEndian(0x1000, 8);
    const std::string le2 = WinBackupStream::littleEndian(0x2000, 8);
    const std::string big(kStubDataSize + 40, 'R');
    const struct {
        const char* name;
        WinBackupStream stream;
        unsigned int stubStream;
        std::string file;
        std::string stub;
        unsigned int stubStreamAfter;
    } cases[] = {
        {"plain file", WinBackupStream().security("SD").data("0123456789").alternate("ads", "hidden"),
         WinStreamParser::kNoStubStream, "0123456789", "", WinStreamParser::kNoStubStream},
        {"reparse data is stub data whatever the stub stream",
         WinBackupStream().data("abc").reparse("RP").sparseBlock(0, "not stub"), WinStreamParser::kNoStubStream, "abc",
         "RP", WinStreamParser::kNoStubStream},
        {"stub in the main data", WinBackupStream().security("SD").data("STUB").alternate("ads", "x"), 1, "", "STUB",
         1},
        {"stub in the reparse data", WinBackupStream().data("abc").reparse("RP"), 8, "abc", "RP", 8},
        {"empty main data: the stub follows in the sparse blocks",
         WinBackupStream().data("").sparseBlock(0x1000, "SPARSE").sparseBlock(0x2000, "MORE"), 1, "",
         "SPARSE" + le2 + "MORE", 9},
        {"a sparse block of its offset alone leaves the next one's offset out too",
         WinBackupStream().data("").sparseBlock(0x1000, "").sparseBlock(0x2000, "MORE"), 1, "", "MORE", 9},
        {"stub data is bounded", WinBackupStream().data("abc").reparse(big).reparse("more"), 8, "abc",
         big.substr(0, kStubDataSize), 8},
    };
    for (const auto& c : cases) {
        const std::string bytes = c.stream.bytes();
        // In memory: thousands of rewrites of a file on disk would be slow for nothing.
        const int fd = memfd_create("winstream", MFD_CLOEXEC);
        ASSERT_GE(fd, 0);
        fds_.push_back(fd);
        for (const std::vector<size_t>& cuts : everyCut(bytes.size(), 21)) {
            ASSERT_EQ(ftruncate(fd, 0), 0);
            ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
            WinStreamRestore parser;
            parser.setStubdataStreamId(c.stubStream);
            parser.setHandle(fd);
            ASSERT_EQ(feed(parser, bytes, cuts), 0) << c.name << ", " << describe(cuts);
            EXPECT_FALSE(parser.didWriteFail()) << c.name;
            ASSERT_EQ(contents(fd), c.file) << c.name << ", " << describe(cuts);
            ASSERT_EQ(std::string(parser.getStubData().begin(), parser.getStubData().end()), c.stub)
                << c.name << ", " << describe(cuts);
            ASSERT_EQ(parser.getStubdataStreamId(), c.stubStreamAfter) << c.name;
        }
    }
}

TEST_F(WinStreamRestoreTest, WriteFailuresAreReported) {
    const std::string bytes = WinBackupStream().data("data").eaData("after").bytes();
    {
        // No descriptor: the parse goes on and the owner learns of it.
        WinStreamRestore parser;
        EXPECT_EQ(parser.parse(bytes.data(), static_cast<unsigned int>(bytes.size())), 0);
        EXPECT_TRUE(parser.didWriteFail());
        EXPECT_EQ(parser.getLastError(), -1);
    }
    {
        const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
        ASSERT_GE(full, 0);
        fds_.push_back(full);
        WinStreamRestore parser;
        parser.setHandle(full);
        EXPECT_EQ(parser.parse(bytes.data(), static_cast<unsigned int>(bytes.size())), -1);
        EXPECT_TRUE(parser.didWriteFail());
        EXPECT_EQ(parser.getLastError(), ENOSPC);
    }
}

TEST(WinStreamRestoreFSDM, AnswersTheMainDataOfEachCall) {
    const std::string bytes = WinBackupStream().security("SD").data("main data").alternate("a", "b").bytes();
    const size_t cut = bytes.size() / 2;
    WinStreamRestoreFSDM parser;
    std::vector<char> first;
    std::vector<char> second;
    ASSERT_EQ(parser.getBackupData(bytes.data(), static_cast<unsigned int>(cut), first), 0);
    ASSERT_EQ(parser.getBackupData(bytes.data() + cut, static_cast<unsigned int>(bytes.size() - cut), second), 0);
    EXPECT_EQ(std::string(first.begin(), first.end()) + std::string(second.begin(), second.end()), "main data");
    const std::string bad = WinBackupStream().header(12, 0, 0).bytes();
    EXPECT_EQ(parser.getBackupData(bad.data(), static_cast<unsigned int>(bad.size()), first), -1);
}

}  // namespace
