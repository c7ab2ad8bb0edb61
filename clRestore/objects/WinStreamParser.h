#pragma once
// The Windows backup stream, read incrementally: a file backed up on a Windows client carries, as its data, the
// sequence of streams the Windows backup interface produced (main data, extended attributes, security descriptor,
// alternate data streams, reparse data, sparse blocks ...), each behind a 20-byte little-endian header and an
// optional name. The parser takes the item's data buffers as they come, cut anywhere, and hands each piece of a
// stream's data to the handler of its stream id. Stream data is never copied: handlers get pointers into the
// caller's buffer. Only header and name bytes are kept between buffers, however many buffers they span.
//
// One parser serves one item, on one thread.
#include <cstdint>
#include <vector>

#include "platform/files/CXFile.h"
#include "platform/log/TDebuggable.h"

// The fixed part of a stream's header, in host order.
struct WinStreamHeader {
    uint32_t dwStreamId;
    uint32_t dwStreamAttributes;
    uint64_t Size;
    uint32_t dwStreamNameSize;
};

// Stream ids of the backup format.
enum WinStreamId : uint32_t {
    kWinStreamInvalid = 0,
    kWinStreamData = 1,
    kWinStreamEaData = 2,
    kWinStreamSecurityData = 3,
    kWinStreamAlternateData = 4,
    kWinStreamLink = 5,
    kWinStreamPropertyData = 6,
    kWinStreamObjectId = 7,
    kWinStreamReparseData = 8,
    kWinStreamSparseBlock = 9,
};

class WinStreamParser : public TDebuggable {
public:
    static constexpr unsigned int kHeaderSize = 20;
    static constexpr unsigned int kMaxNameSize = 256;
    static constexpr unsigned int kNoStubStream = 0xFFFFFFFFu;

    WinStreamParser();
    ~WinStreamParser() override = default;

    // Back to the start of a stream; the stub-data stream id stays.
    void reset();
    // Consumes the whole buffer: 0, or -1 on a format error or a handler's failure (logged). The state after a
    // failure is not meant to be parsed further.
    int parse(const char* data, unsigned int length);
    // Takes the next header and name, or the part of them this buffer holds: the bytes consumed (1 or more), or -1.
    int parseHeader(const char* data, unsigned int length);

    static unsigned long long parse_ulonglong(const unsigned long long* p);
    static unsigned int parse_ulong(const unsigned int* p);
    static unsigned short parse_ushort(const unsigned short* p);

    void setStubdataStreamId(unsigned int id) { _stubdataStreamId = id; }
    unsigned int getStubdataStreamId() const { return _stubdataStreamId; }

    // What has been parsed so far: the current header and name, and every byte consumed.
    const WinStreamHeader& streamHeader() const { return _streamHeader; }
    const unsigned char* streamName() const { return _streamName; }
    unsigned long long totalBytes() const { return _totalBytes; }
    // Nothing of a header, a name or a stream's data is still due: the bytes so far end where a stream ends.
    bool atStreamBoundary() const { return blockSize == 0 && numStreamId == 0 && !isDataRemainForStreamName; }

    // ---- one handler per stream id: the piece, its length, the stream's size and the piece's offset in it; a
    // negative answer stops the parse ----
    virtual int handleInvalid(const char* data, unsigned int length, unsigned long long size,
                              unsigned long long offset) = 0;
    virtual int handleData(const char* data, unsigned int length, unsigned long long size,
                           unsigned long long offset) = 0;
    virtual int handleEaData(const char* data, unsigned int length, unsigned long long size,
                             unsigned long long offset) = 0;
    virtual int handleSecurityData(const char* data, unsigned int length, unsigned long long size,
                                   unsigned long long offset) = 0;
    virtual int handleAlternateData(const char* data, unsigned int length, unsigned long long size,
                                    unsigned long long offset) = 0;
    virtual int handleLink(const char* data, unsigned int length, unsigned long long size,
                           unsigned long long offset) = 0;
    virtual int handlePropertyData(const char* data, unsigned int length, unsigned long long size,
                                   unsigned long long offset) = 0;
    virtual int handleObjectId(const char* data, unsigned int length, unsigned long long size,
                               unsigned long long offset) = 0;
    virtual int handleReparseData(const char* data, unsigned int length, unsigned long long size,
                                  unsigned long long offset) = 0;
    virtual int handleSparseBlock(const char* data, unsigned int length, unsigned long long size,
                                  unsigned long long offset) = 0;

protected:
    WinStreamHeader _streamHeader;
    unsigned char _streamName[kMaxNameSize];
    int32_t _blockType;
    uint64_t blockSize;
    uint64_t offsetInBlock;
    uint64_t _totalBytes;
    uint32_t numStreamId;
    unsigned char _residualHeader[kHeaderSize];
    uint32_t numStreamName;
    unsigned char _residualName[kMaxNameSize];
    bool isDataRemainForStreamId;
    bool isDataRemainForStreamName;
    uint32_t _stubdataStreamId;

    static bool firstTime;
    static bool bigEndian;

private:
    int dispatch(const char* data, unsigned int length);
};

// Every stream ignored.
class WinStreamNoOp : public WinStreamParser {
public:
    WinStreamNoOp();
    int handleInvalid(const char*, unsigned int, unsigned long long, unsigned long long) override { return 0; }
    int handleData(const char*, unsigned int, unsigned long long, unsigned long long) override { return 0; }
    int handleEaData(const char*, unsigned int, unsigned long long, unsigned long long) override { return 0; }
    int handleSecurityData(const char*, unsigned int, unsigned long long, unsigned long long) override { return 0; }
    int handleAlternateData(const char*, unsigned int, unsigned long long, unsigned long long) override { return 0; }
    int handleLink(const char*, unsigned int, unsigned long long, unsigned long long) override { return 0; }
    int handlePropertyData(const char*, unsigned int, unsigned long long, unsigned long long) override { return 0; }
    int handleObjectId(const char*, unsigned int, unsigned long long, unsigned long long) override { return 0; }
    int handleReparseData(const char*, unsigned int, unsigned long long, unsigned long long) override { return 0; }
    int handleSparseBlock(const char*, unsigned int, unsigned long long, unsigned long long) override { return 0; }
};

// Every piece logged at level 1 with its first bytes: for looking into a stream.
class WinStreamLogger : public WinStreamParser {
public:
    WinStreamLogger();
    int handleInvalid(const char* data, unsigned int length, unsigned long long size,
                      unsigned long long offset) override;
    int handleData(const char* data, unsigned int length, unsigned long long size, unsigned long long offset) override;
    int handleEaData(const char* data, unsigned int length, unsigned long long size,
                     unsigned long long offset) override;
    int handleSecurityData(const char* data, unsigned int length, unsigned long long size,
                           unsigned long long offset) override;
    int handleAlternateData(const char* data, unsigned int length, unsigned long long size,
                            unsigned long long offset) override;
    int handleLink(const char* data, unsigned int length, unsigned long long size, unsigned long long offset) override;
    int handlePropertyData(const char* data, unsigned int length, unsigned long long size,
                           unsigned long long offset) override;
    int handleObjectId(const char* data, unsigned int length, unsigned long long size,
                       unsigned long long offset) override;
    int handleReparseData(const char* data, unsigned int length, unsigned long long size,
                          unsigned long long offset) override;
    int handleSparseBlock(const char* data, unsigned int length, unsigned long long size,
                          unsigned long long offset) override;

    int logIt(const char* kind, const char* data, unsigned int length, unsigned long long size,
              unsigned long long offset);
    // `name` is read up to its NUL or the longest name the format allows, whichever comes first.
    void logName(const char* name);
};

// The restore of a Windows item on this system: the main data goes to the destination descriptor, the stub data of
// a storage-management stub is collected from the stream that carries it, everything else is dropped.
class WinStreamRestore : public WinStreamNoOp {
public:
    WinStreamRestore();
    // Keeps `fd` (not owned) as the destination of the main data.
    void setHandle(int fd);
    bool didWriteFail() const { return _writeFailed; }
    int getLastError() const { return _lastError; }
    // At most the bytes a stub is made from (kStubDataSize): the rest is never kept.
    std::vector<char>& getStubData() { return _stubBuffer; }
    // The main data written may not grow past `limit` bytes: a piece that would is refused unwritten and fails the
    // parse, so that a stream cannot make the file larger than its item claims.
    void setDataLimit(unsigned long long limit) { _dataLimit = limit; }
    bool ranPastDataLimit() const { return _pastDataLimit; }

    int handleData(const char* data, unsigned int length, unsigned long long size, unsigned long long offset) override;
    int handleReparseData(const char* data, unsigned int length, unsigned long long size,
                          unsigned long long offset) override;
    int handleSparseBlock(const char* data, unsigned int length, unsigned long long size,
                          unsigned long long offset) override;

protected:
    void appendStub(const char* data, size_t length);

    CXFile _file;
    bool _writeFailed;
    int _lastError;
    int _fileHandle;
    std::vector<char> _stubBuffer;
    // The sparse block being delivered began while no stub data had been collected: its leading offset field is
    // left out of the stub data, however the buffers cut it.
    bool _droppingSparseOffset;
    unsigned long long _dataLimit = ~0ULL;
    unsigned long long _dataWritten = 0;
    bool _pastDataLimit = false;
};

// Collects the main data in memory instead of writing it.
class WinStreamRestoreFSDM : public WinStreamRestore {
public:
    WinStreamRestoreFSDM() = default;
    int handleData(const char* data, unsigned int length, unsigned long long size, unsigned long long offset) override;
    // Parses `data` on from where the parser stands and answers the main data it held: 0, or -1 when the parse
    // failed.
    int getBackupData(const char* data, unsigned int length, std::vector<char>& out);

private:
    std::vector<char> _backupData;
};
