#pragma once
// Restore objects over a factory without a job, writing into a scratch directory, and what the tests read back: the
// data extents of a file (SEEK_DATA/SEEK_HOLE), a link's target, deterministic non-zero data.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "clRestore/objects/FsRestoreFile.h"
#include "tests/common/FactoryFixture.h"

namespace fcltest {

using Extents = std::vector<std::pair<off_t, off_t>>;

// The file's data extents, [start, end), as the file system reports them.
inline Extents dataExtents(const std::string& path) {
    Extents extents;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return extents;
    }
    off_t at = 0;
    for (;;) {
        const off_t start = lseek(fd, at, SEEK_DATA);
        if (start < 0) {
            break;
        }
        const off_t end = lseek(fd, start, SEEK_HOLE);
        extents.emplace_back(start, end);
        at = end;
    }
    close(fd);
    return extents;
}

// The target of the link at `path`, read into a buffer that grows until the answer is shorter than it.
inline std::string readLinkTarget(const std::string& path) {
    std::vector<char> buffer(64);
    for (;;) {
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) {
            ADD_FAILURE() << "readlink " << path << ": errno " << errno;
            return std::string();
        }
        if (static_cast<size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

// `length` bytes, none of them zero, different for each seed.
inline std::string nonZeroData(size_t length, unsigned seed = 1) {
    std::string data(length, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& c : data) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(1 + (state >> 16) % 255);
    }
    return data;
}

inline off_t fileSize(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// A copy of a program at `path`, running until the object goes: writing over it is refused as text file busy.
class RunningProgram {
public:
    explicit RunningProgram(const std::string& path) {
        writeFile(path, readFile("/bin/sleep"));
        if (chmod(path.c_str(), 0755) != 0 || (child_ = fork()) < 0) {
            return;
        }
        if (child_ == 0) {
            execl(path.c_str(), "sleeper", "60", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Bounded wait until the child runs the copy.
        const std::string exe = "/proc/" + std::to_string(child_) + "/exe";
        for (int i = 0; i < 1000 && !running_; ++i) {
            char target[4096];
            const ssize_t n = readlink(exe.c_str(), target, sizeof target);
            running_ =
                n > 0 && static_cast<size_t>(n) < sizeof target && std::string(target, static_cast<size_t>(n)) == path;
            if (!running_) {
                usleep(10000);
            }
        }
    }
    ~RunningProgram() {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    bool running() const { return running_; }

private:
    pid_t child_ = -1;
    bool running_ = false;
};

// Whole items go through the common open and close, which are built apart from the data path and the kinds' own
// steps. While those are stand-ins, whose open fails every item, tests of whole items cannot run: this tells, once
// per process, by opening a plain file item in a directory of its own.
inline bool commonOpenIsBuilt() {
    static const bool built = [] {
        ScratchDir dir("fclprobe");
        std::string dest = dir.path();
        FsRestoreUnixObjectsFactory factory(nullptr, nullptr, 0, &dest[0], 0, nullptr);
        CXFileHeader header;
        header.mode = 0100644;
        FsRestoreUnixObject probe(&header, &factory);
        probe._filename = dir / "probe";
        return probe.openObject() == 1;
    }();
    return built;
}

#define FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT()                                                \
    do {                                                                                      \
        if (!fcltest::commonOpenIsBuilt()) {                                                  \
            GTEST_SKIP() << "The common open and close of restore objects are not built yet"; \
        }                                                                                     \
    } while (0)

class ObjectFixture : public FactoryFixture {
protected:
    ObjectFixture() : factory_(makeFactory()) { header_.mode = 0100644; }

    // A regular-file object whose destination is `name` in the scratch directory, opened here for writing (as the
    // common open would), so that the data path can be driven on its own.
    std::unique_ptr<FsRestoreFile> openedFile(const std::string& name, uint64_t size) {
        header_.size = size;
        std::unique_ptr<FsRestoreFile> file(new FsRestoreFile(&header_, factory_.get()));
        file->_filename = scratch_ / name;
        file->_handle = open(file->_filename.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        EXPECT_GE(file->_handle, 0) << file->_filename;
        return file;
    }

    // The descriptor's position: where the next write would land, and the file's length once a pending hole is
    // made real.
    static off_t position(const FsRestoreUnixObject& item) { return lseek(item._handle, 0, SEEK_CUR); }

    std::unique_ptr<FsRestoreUnixObjectsFactory> factory_;
    CXFileHeader header_;
};

}  // namespace fcltest
