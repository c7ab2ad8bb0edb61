#pragma once
// The job's share auto-mounting, as a recording stand-in: it never runs a shell and never mounts anything. The
// shares it knows are configured, each a share prefix (such as "server:/export" or "//server/share") standing for a
// local directory that holds its files; "mounting" a share makes the manager translate paths under the prefix to the
// directory, and every mount and unmount it performs is recorded. Shares come from memory (tests) and from the
// settings file, one line each, consulted after those in memory:
//   [AutoMount]  share = <prefix>,<local directory>,<flags>
//                record = <file>     (each mount and unmount performed is appended as "mount <prefix>" or
//                                     "unmount <prefix>")
// where flags is a '+'-separated set of "mounted" (the host has it mounted already: a mount is refused as busy, its
// paths translate, and no job ever unmounts it), "unreachable" (every mount fails) and "busy" (every unmount
// fails); empty for none. A line that does not read so is skipped.
//
// Paths are compared in scan form: backslashes made '/'. A path names a share when it is the prefix or lies beneath
// it, component by component; the longest prefix wins.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/support/CQiError.h"
#include "platform/support/FaultCounter.h"

namespace wzmounts {

struct ShareEntry {
    std::string share;     // the prefix, in scan form
    std::string location;  // the local directory standing for it
    bool mountedByHost = false;
    bool unreachable = false;
    bool busy = false;
};

// Adds the share, replacing an entry of the same prefix.
void addShare(const ShareEntry& entry);
// Forgets the shares in memory and the calls recorded.
void clearShares();
// The mounts and unmounts performed in this process, in order: "mount <prefix>" or "unmount <prefix>".
std::vector<std::string> shareCalls();

}  // namespace wzmounts

class FileShareAutoMount {
public:
    enum AUTO_MOUNT_VOL_TYPE { AUTO_MOUNT_VOL_TYPE_SHARE = 0 };

    // The folder under which the job's shares would be mounted: <results dir>/automount.
    static std::string getMountFolder();
    // Success when `destination` names a known share, with its scan form; an error otherwise.
    static CQiError convertMountToScanFormat(const std::string& destination, std::string& scanFormat);
};

class FileShareAutoMountManager : public wzfault::FailableAllocation<FileShareAutoMountManager> {
public:
    using wzfault::FailableAllocation<FileShareAutoMountManager>::operator new;
    using wzfault::FailableAllocation<FileShareAutoMountManager>::operator delete;

    FileShareAutoMountManager() = default;
    FileShareAutoMountManager(unsigned long zendrelId, unsigned long applicationNumber, long long jobId,
                              const std::string& mountFolder, const std::string& options);

    void SetAutoMountOptions(const std::string& options);
    std::string GetAutoMountOptions() const;

    // Mounts the share `path` names. Refused for a path under no share, an unreachable share, or one the host has
    // mounted already (the manager leaves that one alone). Mounting a share this manager mounted already counts
    // once more: it stays mounted until as many unmounts came.
    CQiError mountPath(FileShareAutoMount::AUTO_MOUNT_VOL_TYPE type, const std::string& path);
    // Gives back one mount of the share `path` names; the share is unmounted with the last. Refused for a share this
    // manager did not mount: it never unmounts what others mounted.
    CQiError unmountPath(FileShareAutoMount::AUTO_MOUNT_VOL_TYPE type, const std::string& path);
    // The share `path` names and its local directory, when the share is mounted (by this manager or the host).
    CQiError getMountedShareFromPath(std::string& share, std::string& location, const std::string& path);
    // `in` under the local directory of its mounted share; an error when its share is not mounted.
    CQiError translatePath(std::string& out, const std::string& in);
    // The share path of `mounted`, a path under the local directory of a mounted share; an error when it lies under
    // none.
    CQiError unTranslatePath(std::string& source, const std::string& mounted);

private:
    bool mountedHere(const wzmounts::ShareEntry& entry) const;

    mutable std::mutex lock_;
    std::string mountOptions_;
    std::map<std::string, int> mountsHeld_;  // by share prefix: mounts not yet given back
};
