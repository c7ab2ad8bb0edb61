#pragma once
// The access-control-list helper: loads one item's optional-header entries (access ACL, default ACL, extended
// attributes) and applies them to the restored item with libacl and the xattr calls.
//
// The network buffer is what follows the optional header's 16-byte prefix: entries, each a u32 BE tag, a u32 BE
// length and the value. Tag 1 is the access ACL and tag 2 the default ACL, both in the short text form of
// acl_to_any_text ("u::rw-,g::r--,m::r--,o::r--,u:1000:rw-"); tag 3 is one extended attribute, its name, a NUL,
// its value (possibly empty). Unknown tags are passed over. An entry that runs past the buffer, an ACL that does not
// parse or an attribute without a name makes the whole buffer unusable: nothing is loaded.
//
// A symbolic link gets its own extended attributes only (never an ACL, never through the link). Other items are
// reached by path without following a final link: a link found at the name is treated as a link. Paths go through
// the file-call layer, so that nothing outside a job's destination can be reached.
//
// What is applied before the item's data: the ACLs and every attribute but "security.capability", which a write to
// the file would clear and is applied after the data.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace WzACL {

// Kinds of helper: 19 for ordinary restores, 17 for Hadoop restores (both behave alike here).
enum Type : int { kTypeHadoop = 17, kTypeUnix = 19 };

// The class-wide options word (values are OR-ed by callers): 1 enforces the label check, 8 marks a Gluster or
// storage-managed destination.
enum enum_OptionSet : unsigned int {};

class Helper {
public:
    // A new helper, owned by the caller; never null unless memory runs out.
    static Helper* getInstance(Type type);
    virtual ~Helper() = default;

    static bool isAclSupported() { return s_aclSupported.load(); }
    // Test hook: make this system answer that it has no ACL support.
    static void setAclSupported(bool supported) { s_aclSupported.store(supported); }
    // Test hook: while not 0, every ACL or attribute the helper applies fails with this errno (EOPNOTSUPP stands for
    // a destination file system without ACL or xattr support).
    static void setApplyFailure(int err) { s_applyFailure.store(err); }

    // Loads the entries of `buffer` (see above). 0 on success; otherwise -1 with the last error set and nothing
    // loaded.
    int fromNetworkBuffer(const void* buffer, int length, uint64_t headerFlags);

    bool canSetByHandle() const { return true; }
    // Apply what is due before the item's data, by path (`isLink`: the item is a symbolic link) or by descriptor.
    // 0 when everything was applied; -1 otherwise, with getLastErrno/getLastError telling the first failure.
    int set(const char* path, bool isLink);
    int set(int fd);
    // The same for what is due after the data.
    int setPostData(const char* path, bool isLink);
    int setPostData(int fd);
    bool hasPostDataAcl() const { return !m_postXattrs.empty(); }
    // Non-zero when the last failure should fail the item; 0 when the destination cannot keep what was asked
    // (no ACL or xattr support there).
    int isErrorFatal() const { return m_fatal ? 1 : 0; }
    // One extended attribute of the item at `path` (not following a final link): its length, negative when absent.
    int getXattr(const char* path, const char* name, void* buffer, size_t size);
    // 1 when the access ACL says more than the mode bits.
    int hasExtendedAcl() const { return m_extendedAcl ? 1 : 0; }

    int getLastErrno() { return m_lastErrno; }
    std::string getLastError() { return m_lastError; }

    // Assigns the whole word (callers add an option with SetOptions(GetOptions() | option)).
    static void SetOptions(enum_OptionSet options) { s_options.store(options); }
    static enum_OptionSet GetOptions() { return static_cast<enum_OptionSet>(s_options.load()); }

protected:
    int m_lastErrno = 0;
    std::string m_lastError;

private:
    struct Xattr {
        std::string name;
        std::string value;
    };
    enum class Target { kDescriptor, kObject, kLink };

    int apply(const char* path, bool isLink, bool postData);
    int applyAt(int fd, Target target, const std::string& procPath, bool postData);
    void applyAcl(int fd, Target target, const std::string& procPath, bool isDefault);
    void applyXattr(int fd, Target target, const std::string& procPath, const Xattr& xattr);
    void clearFailure();
    // Keeps the first failure of a load or an application.
    void noteFailure(int err, const std::string& what);
    void reset();

    std::string m_accessAcl;
    std::string m_defaultAcl;
    bool m_hasAccessAcl = false;
    bool m_hasDefaultAcl = false;
    bool m_extendedAcl = false;
    std::vector<Xattr> m_preXattrs;
    std::vector<Xattr> m_postXattrs;
    bool m_fatal = false;

    // Atomic because the reader threads of concurrent jobs read and set them without a lock.
    static std::atomic<bool> s_aclSupported;
    static std::atomic<unsigned int> s_options;
    static std::atomic<int> s_applyFailure;
};

}  // namespace WzACL
