#pragma once
// The access-control-list helper: its class-wide state and error accessors. Loading and applying ACLs is not here yet.
#include <atomic>
#include <string>

namespace WzACL {

// The class-wide options word (values are OR-ed by callers): 1 enforces the label check, 8 marks a Gluster or
// storage-managed destination.
enum enum_OptionSet : unsigned int {};

class Helper {
public:
    virtual ~Helper() = default;

    static bool isAclSupported() { return s_aclSupported.load(); }
    // Test hook: make this system answer that it has no ACL support.
    static void setAclSupported(bool supported) { s_aclSupported.store(supported); }

    int getLastErrno() { return m_lastErrno; }
    std::string getLastError() { return m_lastError; }

    // Assigns the whole word (callers add an option with SetOptions(GetOptions() | option)).
    static void SetOptions(enum_OptionSet options) { s_options.store(options); }
    static enum_OptionSet GetOptions() { return static_cast<enum_OptionSet>(s_options.load()); }

protected:
    int m_lastErrno = 0;
    std::string m_lastError;

private:
    // Atomic because the reader threads of concurrent jobs read and set them without a lock.
    static std::atomic<bool> s_aclSupported;
    static std::atomic<unsigned int> s_options;
};

}  // namespace WzACL
