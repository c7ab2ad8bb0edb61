#pragma once
// Items restored through the common open, post-open and close of a restore object, in a scratch destination with
// an "outside" directory beside it that no restore may touch. The item kind's own steps (creating the file or
// directory, writing its data) are played by a small test item, so that what is tested is the common part.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/DestinationGate.h"
#include "platform/files/FileCallHooks.h"
#include "platform/files/FileCalls.h"
#include "platform/files/LongPathHandler.h"
#include "platform/log/LogWriter.h"
#include "tests/common/FactoryFixture.h"

namespace objtest {

// A factory whose job options a test sets directly.
class OptionsFactory : public FsRestoreUnixObjectsFactory {
public:
    OptionsFactory(char* dest, unsigned long options, FclRestore* job)
        : FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, dest, options, job) {}
    void setOptions(unsigned long options) { _options = options; }
    void setStubsOnly(bool on) { _overwriteStubsOnlyOption = on; }
    void setOnlyIfExists(bool on) { _restoreOnlyIfExistsOption = on; }
    void setDoNotOverwrite(bool on) { _doNotOverwriteOption = on; }
};

// What a kind's own open does, reduced to the least: create the file (never through a final link) or the directory,
// then the common post-open. The data is written with plain writes.
class TestItem : public FsRestoreUnixObject {
public:
    TestItem(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory) : FsRestoreUnixObject(header, factory) {}

    // Owners and modes by path even for a file, as for the kinds that have no descriptor.
    bool ownerByPath = false;
    // The hole-detection switch at the last write.
    int holeDetectionSeen = -1;

    // The static file utilities may still be stand-ins in this tree: their answer ENOSYS means "not built", and
    // the long-path handler's call, which does the same work, makes the directories instead.
    bool CreateDirsIteratively(const std::string& path) override {
        if (FsRestoreUnixObject::CreateDirsIteratively(path)) {
            return true;
        }
        if (errno != ENOSYS) {
            return false;
        }
        std::vector<char> text(path.begin(), path.end());
        text.push_back('\0');
        return WzLongPathHandler::GetHandler()->CreateDirsIteratively_Long(text.data(), nullptr) != 0;
    }

    int openObject() override {
        if (FsRestoreUnixObject::openObject() == 0) {
            return 0;
        }
        if (_dontRestore != 0 || _hardLink != 0) {
            return 1;
        }
        if ((_mode & S_IFMT) == S_IFDIR) {
            if (mkdir_utf(_filename.c_str(), 0700) != 0 && errno != EEXIST) {
                _ownerFactory->setErrCode(fclitem::kCreateFailed);
                return 0;
            }
            return postOpenObject(IMPERSONATION_NONE);
        }
        _handle = open_utf(_filename.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
        if (_handle < 0) {
            _ownerFactory->setErrCode(fclitem::kCreateFailed);
            return 0;
        }
        if (ownerByPath) {
            return _postOpenObject(-1, _filename.c_str(), IMPERSONATION_NONE);
        }
        return postOpenObject(IMPERSONATION_NONE);
    }

    int writeData(void* buffer, int length) override { return _writeData(_handle, _filename.c_str(), buffer, length); }

    int _writeData(int& fd, const char* /*name*/, void* buffer, int length) override {
        holeDetectionSeen = _createHoles;
        if (_dontRestore != 0 || _hardLink != 0) {
            return length;
        }
        const ssize_t written = ::write(fd, buffer, static_cast<size_t>(length));
        if (written != length) {
            handleError(written < 0 ? static_cast<unsigned long>(errno) : static_cast<unsigned long>(EIO));
            return -1;
        }
        return length;
    }
};

// The archive's copy of one item, owned by the user running the test, so that its owner can be set as root and not.
struct ItemLayout {
    mode_t mode = S_IFREG | 0644;
    uint32_t uid = getuid();
    uint32_t gid = getgid();
    uint32_t atime = 1500000000;
    uint32_t mtime = 1600000000;
    uint32_t ctime = 1600000000;
    uint64_t inode = 0;
    uint32_t device = 0;
    uint32_t links = 1;
    std::string data = "archive data";
};

// Metadata and content of a path, link itself, to tell whether anything changed.
struct PathState {
    bool exists = false;
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    nlink_t links = 0;
    time_t mtime = 0;
    time_t atime = 0;
    std::string content;

    bool operator==(const PathState& o) const {
        return exists == o.exists && mode == o.mode && uid == o.uid && gid == o.gid && links == o.links &&
               mtime == o.mtime && atime == o.atime && content == o.content;
    }
};

inline std::ostream& operator<<(std::ostream& os, const PathState& s) {
    return os << (s.exists ? "" : "absent ") << std::oct << s.mode << std::dec << " " << s.uid << ":" << s.gid
              << " links " << s.links << " mtime " << s.mtime << " atime " << s.atime << " [" << s.content << "]";
}

inline PathState stateOf(const std::string& path) {
    PathState state;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return state;
    }
    state.exists = true;
    state.mode = st.st_mode;
    state.uid = st.st_uid;
    state.gid = st.st_gid;
    state.links = st.st_nlink;
    state.mtime = st.st_mtime;
    state.atime = st.st_atime;
    if (S_ISREG(st.st_mode)) {
        // Reading must not move the access time it reports.
        const int fd = open(path.c_str(), O_RDONLY | O_NOATIME | O_NOFOLLOW);
        char buffer[4096];
        ssize_t n;
        while (fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0) {
            state.content.append(buffer, static_cast<size_t>(n));
        }
        if (fd >= 0) {
            close(fd);
        }
    } else if (S_ISLNK(st.st_mode)) {
        // Reading a link moves its access time: that one is not compared.
        state.atime = 0;
        char target[4096];
        const ssize_t n = readlink(path.c_str(), target, sizeof target);
        state.content.assign(target, n > 0 ? static_cast<size_t>(n) : 0);
    }
    return state;
}

inline void setTimes(const std::string& path, time_t atime, time_t mtime) {
    const struct timespec times[2] = {{atime, 0}, {mtime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

class ItemFixture : public fcltest::FactoryFixture {
protected:
    ItemFixture() : dest_(scratch_ / "dest"), outside_(scratch_ / "outside") {
        EXPECT_EQ(mkdir(dest_.c_str(), 0755), 0);
        EXPECT_EQ(mkdir(outside_.c_str(), 0755), 0);
        useFactory(0);
    }
    ~ItemFixture() override {
        wzfiles::clearDestinationRoot();
        wzfiles::clearInjectedFailures();
    }

    // A new factory of the job with this options word.
    void useFactory(unsigned long options) {
        std::string dest = dest_;
        factory_.reset(new OptionsFactory(&dest[0], options, &job_));
    }

    // A restore object of kind `Item` (the test item by default) for the archive copy `plan` at `path`.
    template <class Item = TestItem>
    std::unique_ptr<Item> makeItem(const std::string& path, const ItemLayout& plan = ItemLayout()) {
        header_ = CXFileHeader();
        header_.mode = plan.mode;
        header_.uid = plan.uid;
        header_.gid = plan.gid;
        header_.atime = plan.atime;
        header_.mtime = plan.mtime;
        header_.ctime = plan.ctime;
        header_.size = plan.data.size();
        header_.inodeHigh = static_cast<uint32_t>(plan.inode >> 32);
        header_.inodeLow = static_cast<uint32_t>(plan.inode);
        header_.fileAttributes = plan.device;
        header_.linkCount = plan.links;
        header_.sourcePlatform = CXHDR_PLATFORM_UNIX;
        std::unique_ptr<Item> item(new Item(&header_, factory_.get()));
        item->_filename = path;
        item->_realName = path;
        return item;
    }

    // The stream's road for one item: the error code cleared, open, data unless skipped, close. The item's final
    // error code.
    template <class Item = TestItem>
    unsigned long restore(const std::string& path, const ItemLayout& plan = ItemLayout(), int* closeResult = nullptr) {
        factory_->setErrCode(0);
        auto item = makeItem<Item>(path, plan);
        if (item->openObject() == 0) {
            return factory_->getErrCode();
        }
        if ((plan.mode & S_IFMT) == S_IFREG && !plan.data.empty()) {
            std::string data = plan.data;
            item->writeData(&data[0], static_cast<int>(data.size()));
        }
        const int closed = item->closeObject();
        if (closeResult != nullptr) {
            *closeResult = closed;
        }
        return factory_->getErrCode();
    }

    wzlog::ScopedCapture log_;
    FclRestore job_;
    std::string dest_;
    std::string outside_;
    std::unique_ptr<OptionsFactory> factory_;
    CXFileHeader header_;
};

}  // namespace objtest
