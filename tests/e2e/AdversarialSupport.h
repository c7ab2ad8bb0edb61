#pragma once
// What the adversarial corpus and the fault tests check a restore with: files outside the destination that must not
// change, the results file read back line by line, a restore run as an ordinary user, and races run on a thread for
// a bounded time.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

// A check of the corpus or of the fault tests that holds only once another branch's mend is merged.
struct PendingMend {
    const char* mend;  // who mends what
    // The check's common ground (nothing outside changes, what was restored stays, the results are true) holds
    // already: only what the mend brings is left unchecked.
    bool groundHolds;
};
// The mend `check` waits for, or null when it holds here. FCL_RUN_PENDING=1 in the environment answers null for all,
// to see which hold.
const PendingMend* pendingMend(const std::string& check);

// Who runs the restore: root, or an ordinary user in a child process.
enum class Identity { Root, User };

const char* identityName(Identity who);
void PrintTo(Identity who, std::ostream* out);
// The ordinary user a restore runs as when the tests are root; the caller itself otherwise.
uid_t userId();
gid_t userGroup();
// The ids `who` runs with.
uid_t uidOf(Identity who);
gid_t gidOf(Identity who);
// Why the tests cannot run as `who` here ("" when they can): root is needed to be root or to become another user.
std::string cannotRunAs(Identity who);

// Runs `body` in a child process that has become `who` (groups, group and user, for good) and answers what it
// returned. The child's expectations do not reach the test: the body reports in its text.
std::string runAs(Identity who, const std::function<std::string()>& body);
// The command that runs `argv` as `who`: as it is for root or when the tests are not root, else through setpriv.
std::vector<std::string> commandAs(Identity who, const std::vector<std::string>& argv);
// Gives a tree, not following links, to the user `who` runs as.
void giveTree(const std::string& path, Identity who);

// Every entry under a directory outside the destination, with what a restore could change of it: type, mode, owner,
// size, content, link count and times. Taken when made; changes() compares with the tree as it is now.
class Untouchable {
public:
    explicit Untouchable(std::string root);
    // One line per entry that appeared, vanished or changed; "" when none. With `linksMayChange`, link counts and
    // change times are left out: a name of the destination that was a hard link to an entry may be replaced.
    std::string changes(bool linksMayChange = false) const;

private:
    std::map<std::string, std::string> take(bool linksMayChange) const;
    std::string root_;
    std::map<std::string, std::string> before_;
    std::map<std::string, std::string> beforeWithoutLinks_;
};

// One line of a results file: the text the job wrote for the item and its status.
struct ResultLine {
    std::string text;
    int status = -1;  // -1: a line without a status (the begin and end lines, or a broken one)
    bool restored() const { return status == 5 || status == 14 || status == 15 || status == 17; }
    // 7: an item refused for its name (it has no destination), counted as failed.
    bool failed() const { return status == 3 || status == 7 || status == 10 || status == 12; }
    // The item's path: the text up to the item type or the failure text the job appends.
    std::string path() const;
};
std::vector<ResultLine> readResults(const std::string& path);
// The results file a job wrote under `resultsDir` (<zendrel>/<job id>/restore.results), "" when there is none; the
// newest when several jobs wrote there.
std::string findResults(const std::string& resultsDir);

// Runs `step` on a thread of its own, over and over, until stop() or the destructor, or until `limit` has passed.
class Racer {
public:
    Racer(std::function<void()> step, std::chrono::milliseconds limit);
    ~Racer();
    Racer(const Racer&) = delete;
    Racer& operator=(const Racer&) = delete;
    // Stops the thread and answers how many rounds it ran.
    uint64_t stop();

private:
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> rounds_{0};
    std::thread thread_;
};

// Paths of any length: made, read and examined piece by piece below PATH_MAX, never following a link.
bool makeDirectories(const std::string& path, mode_t mode = 0755);
// The file's bytes, or "<missing>" when it cannot be opened.
std::string readAnyPath(const std::string& path);
bool existsAnyPath(const std::string& path);

}  // namespace e2e
