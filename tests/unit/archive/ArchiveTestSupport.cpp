#include "tests/unit/archive/ArchiveTestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "clRestore/stream/ConvertCXFileHeader.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/support/ByteOrder.h"
#include "protocol/FSRPreHeader.h"
#include "protocol/PipelineBuffer.h"
#include "tests/common/TestSupport.h"

namespace archivetest {

std::vector<RawBuffer> splitArchive(const std::string& path) {
    std::string file = fcltest::readFile(path);
    std::vector<RawBuffer> buffers;
    size_t at = 0;
    while (at < file.size()) {
        EXPECT_GE(file.size() - at, 96u) << "ragged header at " << at;
        if (file.size() - at < 96) {
            break;
        }
        const unsigned char* header = reinterpret_cast<const unsigned char*>(file.data()) + at;
        size_t length = 96 + wzbytes::loadBE32(header + 0x24);
        EXPECT_LE(length, file.size() - at) << "ragged payload at " << at;
        if (length > file.size() - at) {
            break;
        }
        RawBuffer buffer;
        buffer.offset = at;
        buffer.type = wzbytes::loadBE32(header + 0x04);
        buffer.bytes.assign(header, header + length);
        buffers.push_back(std::move(buffer));
        at += length;
    }
    return buffers;
}

std::vector<RawBuffer> itemAt(const std::vector<RawBuffer>& all, uint64_t offset) {
    std::vector<RawBuffer> item;
    size_t i = 0;
    while (i < all.size() && all[i].offset != offset) {
        ++i;
    }
    EXPECT_LT(i, all.size()) << "no buffer starts at " << offset;
    for (; i < all.size(); ++i) {
        item.push_back(all[i]);
        if (all[i].type == PL_FS_EOF || all[i].type == PL_FS_BAD_FILE) {
            break;
        }
    }
    for (++i; i < all.size() && all[i].type == PL_FS_PREHDR; ++i) {
        uint32_t flags = preHeaderFlags(all[i]);
        if ((flags & FSR_PREHDR_HARD_LINK) == 0 || (flags & (FSR_PREHDR_FIRST_NAME | FSR_PREHDR_STUB)) != 0) {
            break;
        }
        item.push_back(all[i]);
    }
    return item;
}

std::vector<fclarchive::IndexEntry> readIndex(const std::string& path) {
    std::vector<fclarchive::IndexEntry> entries;
    fclarchive::IndexReader reader;
    EXPECT_TRUE(reader.open(path)) << path;
    fclarchive::IndexEntry entry;
    while (reader.next(entry)) {
        entries.push_back(entry);
    }
    EXPECT_FALSE(reader.malformed()) << path;
    return entries;
}

CXFileHeader headerOf(const RawBuffer& buffer) {
    EXPECT_EQ(buffer.type, PL_FS_HDR);
    EXPECT_EQ(buffer.payloadLength(), CXHDR_SIZE);
    std::vector<unsigned char> payload(buffer.payload(), buffer.payload() + CXHDR_SIZE);
    CXFileHeader host;
    ConvertCXFileHeaderFromNetOrder(reinterpret_cast<CXFileHeader*>(payload.data()), &host);
    return host;
}

uint32_t preHeaderFlags(const RawBuffer& buffer) {
    return wzbytes::loadBE32(buffer.payload());
}

std::string preHeaderName(const RawBuffer& buffer) {
    const char* name = reinterpret_cast<const char*>(buffer.payload() + 8);
    return std::string(name, strnlen(name, FSR_PREHDR_NAME_SIZE));
}

std::vector<StreamItem> itemsOf(const std::vector<RawBuffer>& buffers) {
    std::vector<StreamItem> items;
    size_t i = 0;
    while (i < buffers.size()) {
        StreamItem item;
        item.offset = buffers[i].offset;
        if (buffers[i].type == PL_FS_PREHDR) {
            item.groupStart = true;
            item.preHeaderFlags = preHeaderFlags(buffers[i]);
            item.preHeaderName = preHeaderName(buffers[i]);
            ++i;
        }
        if (i == buffers.size() || buffers[i].type != PL_FS_HDR) {
            ADD_FAILURE() << "no file header where an item starts, at " << item.offset;
            return items;
        }
        item.header = headerOf(buffers[i++]);
        for (; i < buffers.size() && buffers[i].type == PL_FS_OPT_HDR2; ++i) {
            const char* text = reinterpret_cast<const char*>(buffers[i].payload());
            item.groupNames.emplace_back(text, strnlen(text, buffers[i].payloadLength()));
            if (item.groupNames.size() > 1) {
                item.members.push_back(item.groupNames.back());
            }
        }
        if (i < buffers.size() && buffers[i].type == PL_FS_OPT_HDR) {
            item.hasOptHeader = true;
            item.optHeader.assign(buffers[i].payload(), buffers[i].payload() + buffers[i].payloadLength());
            ++i;
        }
        for (; i < buffers.size() && buffers[i].type == PL_FS_INDEX_HDR; ++i) {
            item.indexHeaders.emplace_back(buffers[i].payload(), buffers[i].payload() + buffers[i].payloadLength());
        }
        for (; i < buffers.size() && (buffers[i].type == PL_DATA || buffers[i].type == PL_HOLE); ++i) {
            const RawBuffer& b = buffers[i];
            if (b.type == PL_DATA) {
                item.data.append(reinterpret_cast<const char*>(b.payload()), b.payloadLength());
                item.body.emplace_back(PL_DATA, b.payloadLength());
            } else {
                item.body.emplace_back(PL_HOLE, wzbytes::loadBE32(b.payload()));
            }
        }
        if (i == buffers.size() || (buffers[i].type != PL_FS_EOF && buffers[i].type != PL_FS_BAD_FILE)) {
            ADD_FAILURE() << "item " << item.name() << " has no end";
            return items;
        }
        item.end = buffers[i++].type;
        for (; i < buffers.size() && buffers[i].type == PL_FS_PREHDR &&
               preHeaderFlags(buffers[i]) == FSR_PREHDR_HARD_LINK;
             ++i) {
            item.members.push_back(preHeaderName(buffers[i]));
        }
        items.push_back(std::move(item));
    }
    return items;
}

int runPack(const std::vector<std::string>& arguments, std::string* errors) {
    return runProgram(fcltest::toolsDirectory() + "/fcl-pack/fcl-pack", arguments, errors);
}

int runProgram(const std::string& tool, const std::vector<std::string>& arguments, std::string* errors) {
    char errorPath[] = "/tmp/fcl-pack-stderr.XXXXXX";
    int errorFd = mkstemp(errorPath);
    pid_t child = fork();
    if (child == 0) {
        int out = open("/dev/null", O_WRONLY);
        dup2(errorFd, 2);
        dup2(out, 1);
        std::vector<char*> argv{const_cast<char*>(tool.c_str())};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execvp(tool.c_str(), argv.data());
        _exit(127);
    }
    close(errorFd);
    int status = 0;
    waitpid(child, &status, 0);
    if (errors != nullptr) {
        *errors = fcltest::readFile(errorPath);
    }
    unlink(errorPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Drained drain(FsRestoreArchive& archive) {
    Drained drained;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        ReadBufArgs_t args;
        ReadBufRet_t ret;
        if (archive.readBuffer(&args, &ret) == 0) {
            drained.failed = true;
            drained.errorCode = ret.errorCode;
            return drained;
        }
        if (ret.buffer == nullptr) {
            continue;
        }
        const unsigned char* bytes = static_cast<const unsigned char*>(ret.buffer);
        RawBuffer buffer;
        buffer.offset = wzbytes::loadBE64(bytes + 0x10);
        buffer.type = ret.bufType;
        buffer.bytes.assign(bytes, bytes + 96 + ret.payloadLength);
        EXPECT_EQ(wzbytes::loadBE32(bytes + 0x24), ret.payloadLength);
        FreeBufArgs_t freeArgs;
        archive.freeBuffer(&freeArgs, nullptr);
        bool closed = ret.bufType == PL_FS_CLOSE_AFILE;
        drained.buffers.push_back(std::move(buffer));
        if (closed) {
            return drained;
        }
    }
    ADD_FAILURE() << "the stream did not end within 30 seconds";
    return drained;
}

}  // namespace archivetest
