#include "tests/e2e/TreeCompare.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tests/common/ToolRunner.h"

namespace e2e {
namespace {

class Fd {
public:
    explicit Fd(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)) {}
    ~Fd() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// "" when both files hold the same bytes in `runs`.
std::string compareBytes(const std::string& a, const std::string& b, const std::vector<Range>& runs) {
    Fd left(a), right(b);
    if (left.get() < 0 || right.get() < 0) {
        return std::string("cannot open: ") + strerror(errno);
    }
    std::vector<char> x(1 << 20), y(1 << 20);
    for (const Range& run : runs) {
        for (uint64_t done = 0; done < run.length;) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(x.size(), run.length - done));
            const off_t at = static_cast<off_t>(run.offset + done);
            ssize_t n = pread(left.get(), x.data(), want, at);
            ssize_t m = pread(right.get(), y.data(), want, at);
            if (n != static_cast<ssize_t>(want) || m != static_cast<ssize_t>(want)) {
                return "cannot read " + std::to_string(want) + " bytes at offset " + std::to_string(at);
            }
            if (memcmp(x.data(), y.data(), want) != 0) {
                size_t first = 0;
                while (x[first] == y[first]) {
                    ++first;
                }
                return "bytes differ at offset " + std::to_string(at + static_cast<off_t>(first));
            }
            done += want;
        }
    }
    return "";
}

// The walk's state: nftw takes a plain function.
struct Walk {
    std::string source;
    std::string copy;
    Holes holes;
    std::string differences;
};
thread_local Walk* g_walk = nullptr;

int visit(const char* path, const struct stat* st, int type, FTW*) {
    if (type != FTW_F || !S_ISREG(st->st_mode)) {
        return 0;
    }
    const std::string relative = std::string(path).substr(g_walk->source.size());
    const std::string copy = g_walk->copy + relative;
    struct stat copied;
    if (lstat(copy.c_str(), &copied) != 0 || !S_ISREG(copied.st_mode)) {
        g_walk->differences += relative + ": no regular file in the copy\n";
        return 0;
    }
    if (copied.st_size != st->st_size) {
        g_walk->differences +=
            relative + ": " + std::to_string(copied.st_size) + " bytes, want " + std::to_string(st->st_size) + "\n";
        return 0;
    }
    const std::vector<Range> sourceRuns = dataRuns(path);
    const std::vector<Range> whole{{0, static_cast<uint64_t>(st->st_size)}};
    const std::vector<Range>& want = g_walk->holes == Holes::Written && st->st_size > 0 ? whole : sourceRuns;
    std::vector<Range> got = dataRuns(copy);
    if (got != want) {
        g_walk->differences +=
            relative + ": data runs " + fclholes::describeRuns(got) + ", want " + fclholes::describeRuns(want) + "\n";
    }
    // Where both keep the same holes, only the data runs can differ; otherwise every byte is read.
    std::string bytes = compareBytes(path, copy, got == sourceRuns ? sourceRuns : whole);
    if (!bytes.empty()) {
        g_walk->differences += relative + ": " + bytes + "\n";
    }
    return 0;
}

}  // namespace

std::vector<Range> dataRuns(const std::string& path) {
    std::vector<Range> runs;
    std::string why;
    fclholes::dataRuns(path, &runs, &why);
    return runs;
}

std::vector<Range> expectedRuns(const Item& item) {
    std::vector<Range> holes = item.holes;
    std::sort(holes.begin(), holes.end(), [](const Range& a, const Range& b) { return a.offset < b.offset; });
    std::vector<Range> runs;
    uint64_t at = 0;
    for (const Range& hole : holes) {
        if (hole.offset > at) {
            runs.push_back({at, hole.offset - at});
        }
        at = std::max(at, hole.offset + hole.length);
    }
    if (item.size > at) {
        runs.push_back({at, item.size - at});
    }
    return runs;
}

std::string rsyncDifferences(const std::string& source, const std::string& copy, DirLinks dirLinks) {
    std::vector<std::string> argv{"rsync",   "-n", "-a", "-c", "-H", "-A", "-X", "--numeric-ids", "--itemize-changes",
                                  "--delete"};
    if (dirLinks == DirLinks::Followed) {
        argv.push_back("--copy-dirlinks");
        argv.push_back(copy + "/");
        argv.push_back(source + "/");
    } else {
        argv.push_back(source + "/");
        argv.push_back(copy + "/");
    }
    fcltest::ProgramRun run = fcltest::runProgram(argv, 600);
    if (run.status != 0) {
        return run.out + "rsync ended with status " + std::to_string(run.status) + ": " + run.err;
    }
    return run.out;
}

std::string contentDifferences(const std::string& source, const std::string& copy, Holes holes) {
    Walk walk{source, copy, holes, ""};
    g_walk = &walk;
    if (nftw(source.c_str(), visit, 64, FTW_PHYS) != 0) {
        walk.differences += "cannot walk " + source + ": " + strerror(errno) + "\n";
    }
    g_walk = nullptr;
    return walk.differences;
}

}  // namespace e2e
