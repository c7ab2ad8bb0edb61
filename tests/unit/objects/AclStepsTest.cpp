// An item's optional header: read only when whole, applied only when the job asks for ACLs, applied under the
// process's own identity in a scope that always gives the restore-as user's back; and the default Lustre striping
// asked once before the first data, its refusal costing the data nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/ReaderIdentity.h"
#include "clRestore/engine/RestoreIdentity.h"
#include "clRestore/objects/AccessLists.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "platform/lustre/LustreStripe.h"
#include "platform/support/ByteOrder.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

constexpr unsigned long kRestoreAcls = 0x80;
constexpr uint32_t kTagXattr = 3;

void putBE32(std::string& out, uint32_t value) {
    unsigned char bytes[4];
    wzbytes::storeBE32(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), 4);
}

// An optional header: its prefix (version, length of the rest, 8 zero bytes), then entries (tag, length, value).
std::string optHeader(const std::vector<std::pair<uint32_t, std::string>>& entries) {
    std::string body;
    for (const auto& e : entries) {
        putBE32(body, e.first);
        putBE32(body, static_cast<uint32_t>(e.second.size()));
        body += e.second;
    }
    std::string header;
    putBE32(header, 1);
    putBE32(header, static_cast<uint32_t>(body.size()));
    header.append(8, '\0');
    return header + body;
}

std::string xattrEntry(const std::string& name, const std::string& value) {
    return name + std::string(1, '\0') + value;
}

std::string xattrOf(const std::string& path, const char* name) {
    char value[256];
    const ssize_t n = lgetxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? "<none>" : std::string(value, static_cast<size_t>(n));
}

class AclSteps : public fcltest::ObjectFixture {
protected:
    AclSteps() {
        fclobjects::resetAclOnceFlags();
        header_.sourcePlatform = CXHDR_PLATFORM_UNIX;
    }
    ~AclSteps() override {
        fclreader::setIdentityCalls(nullptr);
        wzlustre::setStripeCall(nullptr);
        g_impersonated = false;
        g_preserveOwnership = false;
    }

    // A file item open at `name`, in a job whose options word is `options`.
    std::unique_ptr<FsRestoreFile> item(const std::string& name, unsigned long options) {
        factory_ = makeFactory(options);
        return openedFile(name, 0);
    }

    bool scratchKeepsUserXattrs() {
        const std::string probe = scratch_ / "probe";
        fcltest::writeFile(probe, "");
        return lsetxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
    }
};

TEST_F(AclSteps, OnlyAWholeHeaderOfAJobThatAsksForAclsIsApplied) {
    if (!scratchKeepsUserXattrs()) {
        GTEST_SKIP() << "the scratch file system keeps no user attributes";
    }
    const std::string good = optHeader({{kTagXattr, xattrEntry("user.colour", "blue")}});
    std::string runsPast = good;
    runsPast[4 + 3] = static_cast<char>(runsPast[4 + 3] + 1);  // the prefix announces one byte more than there is
    std::string entryPastEnd = good;
    entryPastEnd[16 + 4 + 3] = static_cast<char>(entryPastEnd[16 + 4 + 3] + 8);  // the entry runs past the body
    const struct {
        const char* what;
        unsigned long options;
        std::string header;
        const char* value;  // "<none>": nothing applied
        const char* logged;
    } cases[] = {
        {"whole", kRestoreAcls, good, "blue", nullptr},
        {"shorter than its prefix", kRestoreAcls, good.substr(0, 15), "<none>", "is not whole"},
        {"prefix only, announcing more", kRestoreAcls, good.substr(0, 16), "<none>", "is not whole"},
        {"shorter than it announces", kRestoreAcls, good.substr(0, good.size() - 1), "<none>", "is not whole"},
        {"longer than it announces", kRestoreAcls, good + "x", "<none>", "is not whole"},
        {"an entry past its end", kRestoreAcls, entryPastEnd, "<none>", "fromNetworkBuffer failed"},
        {"announcing past its end", kRestoreAcls, runsPast, "<none>", "is not whole"},
        {"ACL bit clear", 0, good, "<none>", "ACL Restore is disabled based on job option[0x0]"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        wzlog::ScopedCapture capture;
        fclobjects::resetAclOnceFlags();
        auto file = item("item" + std::to_string(n++), c.options);
        // The header is handed over in a buffer of its own length exactly: a read past it is a sanitizer failure.
        std::vector<char> buffer(c.header.begin(), c.header.end());
        EXPECT_EQ(file->writeOptHeader(buffer.empty() ? nullptr : buffer.data(), static_cast<int>(buffer.size())), 1);
        EXPECT_EQ(xattrOf(file->_filename, "user.colour"), c.value);
        EXPECT_EQ(factory_->getErrCode(), 0u);
        if (c.logged != nullptr) {
            EXPECT_TRUE(capture->contains(c.logged));
        }
    }
}

TEST_F(AclSteps, TheJobOptionThatTurnsAclsOffIsLoggedOnce) {
    wzlog::ScopedCapture capture;
    const std::string header = optHeader({{kTagXattr, xattrEntry("user.colour", "blue")}});
    for (int i = 0; i < 3; ++i) {
        auto file = item("item" + std::to_string(i), 0);
        std::vector<char> buffer(header.begin(), header.end());
        EXPECT_EQ(file->writeOptHeader(buffer.data(), static_cast<int>(buffer.size())), 1);
        EXPECT_EQ(xattrOf(file->_filename, "user.colour"), "<none>");
    }
    EXPECT_EQ(capture->count("ACL Restore is disabled based on job option"), 1u);
}

// The identity calls are recorded, never made: the test sees the order of the switches and refuses one of them.
std::vector<std::string> g_calls;
bool g_refuseUser = false;

int recordSetregid(gid_t real, gid_t effective) {
    g_calls.push_back("setregid " + std::to_string(real) + " " + std::to_string(effective));
    return 0;
}
int recordSetreuid(uid_t real, uid_t effective) {
    g_calls.push_back("setreuid " + std::to_string(real) + " " + std::to_string(effective));
    if (g_refuseUser) {
        errno = EPERM;
        return -1;
    }
    return 0;
}
int recordSetgid(gid_t id) {
    g_calls.push_back("setgid " + std::to_string(id));
    return 0;
}
int recordSetuid(uid_t id) {
    g_calls.push_back("setuid " + std::to_string(id));
    return 0;
}
const fclreader::IdentityCalls kRecorded = {recordSetregid, recordSetreuid, recordSetgid, recordSetuid};

// A new item's ACLs are applied as the process itself while a reader holds the restore-as user's identity, and the
// user's is taken back afterwards; when that is refused the item fails. Without a reader holding it, nothing is
// switched: the step never makes the process the user.
TEST_F(AclSteps, TheProcessesOwnIdentityIsTakenForTheStepAndGivenBack) {
    const std::string header = optHeader({{kTagXattr, xattrEntry("user.colour", "blue")}});
    g_impersonated = true;
    g_preserveOwnership = true;
    uid_orig = 10;
    gid_orig = 20;
    uPwd.pw_uid = 30;
    uPwd.pw_gid = 40;
    fclreader::setIdentityCalls(&kRecorded);
    const mode_t mask = umask(022);
    orig_mask = 022;  // what the give-back restores

    const struct {
        const char* what;
        bool readerHolds;
        bool refuseUser;
        std::vector<std::string> calls;
        unsigned long code;
    } cases[] = {
        {"no reader holds the user's identity", false, false, {}, 0},
        {"a reader holds it", true, false, {"setgid 20", "setuid 10", "setregid 20 40", "setreuid 10 30"}, 0},
        {"taking it back is refused",
         true,
         true,
         {"setgid 20", "setuid 10", "setregid 20 40", "setreuid 10 30", "setregid"},
         fclitem::kBackToUserFailed},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_refuseUser = false;
        if (c.readerHolds) {
            ASSERT_TRUE(fclreader::takeRestoreUserIdentity());
        }
        g_calls.clear();
        g_refuseUser = c.refuseUser;
        {
            auto file = item("item" + std::to_string(n++), kRestoreAcls);
            file->_statReturn = -1;  // the item did not exist before the restore
            std::vector<char> buffer(header.begin(), header.end());
            file->writeOptHeader(buffer.data(), static_cast<int>(buffer.size()));
            EXPECT_EQ(factory_->getErrCode(), c.code);
        }
        std::vector<std::string> calls = g_calls;
        // The group given back after a refused user is the one the process had: only its name is compared.
        for (std::string& call : calls) {
            if (call.rfind("setregid", 0) == 0 && &call != &calls[2]) {
                call = "setregid";
            }
        }
        EXPECT_EQ(calls, c.calls);
        g_refuseUser = false;
        if (c.readerHolds) {
            fclreader::giveBackOriginalIdentity();
        }
    }
    umask(mask);
}

int g_stripeCalls = 0;
int refuseStripe(int, unsigned long, const void*) {
    ++g_stripeCalls;
    errno = EINVAL;
    return -1;
}
int acceptStripe(int, unsigned long, const void* block) {
    ++g_stripeCalls;
    unsigned char expected[wzlustre::kStripeRequestSize];
    wzlustre::defaultStripeRequest(expected);
    return std::memcmp(block, expected, sizeof expected) == 0 ? 0 : (errno = EFAULT, -1);
}

// On Lustre, one request before the first data, with the default layout; a refusal is logged and the data goes on.
// A directory gets none.
TEST_F(AclSteps, DefaultStripingIsAskedOnceAndItsRefusalCostsNoData) {
    const struct {
        const char* what;
        wzlustre::StripeCall call;
        const char* logged;
    } cases[] = {
        {"refused", refuseStripe, "failed due to 22"},
        {"granted", acceptStripe, "successful"},
    };
    FclRestore job;
    std::string dest = scratch_.path();
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        wzlog::ScopedCapture capture;
        wzlustre::setStripeCall(c.call);
        g_stripeCalls = 0;
        factory_.reset(new FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, &dest[0], 0, &job));
        auto file = openedFile("striped" + std::to_string(n++), 0);
        file->_onLustre = true;
        const std::string first = fcltest::nonZeroData(5000, 1);
        const std::string second = fcltest::nonZeroData(300, 2);
        ASSERT_EQ(file->writeData(const_cast<char*>(first.data()), static_cast<int>(first.size())), 1);
        ASSERT_EQ(file->writeData(const_cast<char*>(second.data()), static_cast<int>(second.size())), 1);
        EXPECT_EQ(g_stripeCalls, 1);
        EXPECT_TRUE(capture->contains(std::string("ioctl setstripe for ") + file->_filename + " " + c.logged));
        EXPECT_EQ(factory_->getErrCode(), 0u);
        EXPECT_EQ(fcltest::readFile(file->_filename), first + second);

        file->_mode = S_IFDIR | 0755;
        file->_lustreStripeDone = false;
        fclobjects::requestDefaultStripe(*file);
        EXPECT_EQ(g_stripeCalls, 1) << "a directory gets no request";
        file.reset();
        factory_.reset();
    }
}

}  // namespace
