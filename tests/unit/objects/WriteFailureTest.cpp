// Writes that do not go through at once: a full disk fails the item as disk full, any other error as a write error;
// short writes and interrupted writes carry on until every byte is out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

using fcltest::nonZeroData;

class WriteFailure : public fcltest::ObjectFixture {
protected:
    // A file object writing to `fd` (which it closes).
    std::unique_ptr<FsRestoreFile> writingTo(int fd) {
        header_.size = 0;
        std::unique_ptr<FsRestoreFile> file(new FsRestoreFile(&header_, factory_.get()));
        file->_filename = "target";
        file->_handle = fd;
        return file;
    }
};

struct FailureCase {
    const char* name;
    const char* device;
    int flags;
    unsigned long id;
    const char* line;
};

TEST_F(WriteFailure, ErrnoOfTheWriteDecidesTheId) {
    const FailureCase cases[] = {
        {"full disk", "/dev/full", O_WRONLY, fclitem::kDiskFull, "Disk full error"},
        {"descriptor not open for writing", "/dev/null", O_RDONLY, fclitem::kWriteFailed, "Write data error = 9"},
    };
    for (bool holes : {false, true}) {
        FsRestoreUnixObject::createHoles(holes ? 1 : 0);
        for (const FailureCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (holes ? ", looking for holes" : ""));
            factory_->setErrCode(0);
            wzlog::ScopedCapture capture;
            auto file = writingTo(open(c.device, c.flags | O_CLOEXEC));
            std::string data = nonZeroData(8192);
            EXPECT_EQ(file->writeData(&data[0], 8192), 0);
            EXPECT_EQ(factory_->getErrCode(), c.id);
            EXPECT_TRUE(capture->contains(c.line));
        }
    }
}

// The file-size limit cuts a write short and then refuses the next one: the bytes before the limit are written, the
// item fails as a write error (not as a full disk).
TEST_F(WriteFailure, ShortWriteThenRefusalIsAWriteError) {
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

    auto file = openedFile("limited", 4096);
    std::string data = nonZeroData(4096);
    const int result = file->writeData(&data[0], 4096);

    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(factory_->getErrCode(), fclitem::kWriteFailed);
    EXPECT_EQ(fcltest::readFile(file->_filename), data.substr(0, 1000));
}

std::atomic<int> g_interruptions{0};
void countInterruption(int) {
    ++g_interruptions;
}

// A pipe takes a large buffer in pieces, and a signal without restart interrupts the blocked write again and again:
// every byte still arrives, in order, and the item succeeds.
TEST_F(WriteFailure, InterruptedAndShortWritesCarryOn) {
    struct sigaction handler = {}, previous = {};
    handler.sa_handler = countInterruption;  // no SA_RESTART: a blocked write returns early
    ASSERT_EQ(sigaction(SIGUSR1, &handler, &previous), 0);
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    auto file = writingTo(ends[1]);
    std::string data = nonZeroData(4 * 1024 * 1024);

    std::atomic<bool> done{false};
    int result = -1;
    std::thread writer([&] {
        result = file->writeData(&data[0], static_cast<int>(data.size()));
        close(file->_handle);
        file->_handle = -1;
        done = true;
    });
    std::string received;
    char chunk[16384];
    for (;;) {
        if (!done) {
            pthread_kill(writer.native_handle(), SIGUSR1);
        }
        const ssize_t n = read(ends[0], chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        received.append(chunk, static_cast<size_t>(n));
    }
    writer.join();
    close(ends[0]);
    sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_EQ(result, 1);
    EXPECT_EQ(factory_->getErrCode(), 0u);
    EXPECT_GT(g_interruptions.load(), 0);
    EXPECT_TRUE(received == data) << "received " << received.size() << " of " << data.size() << " bytes";
}

}  // namespace
