// Where the host waits for an external FIR and who may reach it: a loopback address or a Unix socket of its own user,
// and a peer running as that user or as root.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/common/TestSupport.h"
#include "tools/fcl-restore/FirListener.h"
#include "tools/fcl-restore/ListenAddress.h"

namespace {

using fclhost::FirListener;
using fclhost::ListenAddress;

TEST(ListenAddress, OnlyPathsAndLoopbackAddressesWithAPortAreTaken) {
    using Kind = ListenAddress::Kind;
    struct Taken {
        std::string text;
        Kind kind;
        std::string host;
        uint16_t port;
    };
    const Taken taken[] = {
        {"/run/fir.sock", Kind::UnixSocket, "", 0},         {"./fir.sock", Kind::UnixSocket, "", 0},
        {"127.0.0.1:0", Kind::Inet4, "127.0.0.1", 0},       {"127.1.2.3:65535", Kind::Inet4, "127.1.2.3", 65535},
        {"localhost:8400", Kind::Inet4, "127.0.0.1", 8400}, {"[::1]:8400", Kind::Inet6, "::1", 8400},
        {"[0:0:0:0:0:0:0:1]:1", Kind::Inet6, "::1", 1},
    };
    for (const Taken& t : taken) {
        ListenAddress address;
        std::string why;
        ASSERT_TRUE(fclhost::parseListenAddress(t.text, &address, &why)) << t.text << ": " << why;
        EXPECT_EQ(address.kind, t.kind) << t.text;
        EXPECT_EQ(address.kind == Kind::UnixSocket ? address.path : address.host,
                  t.kind == Kind::UnixSocket ? t.text : t.host)
            << t.text;
        EXPECT_EQ(address.port, t.port) << t.text;
    }

    struct Refused {
        std::string text;
        std::string says;
    };
    const Refused refused[] = {
        {"0.0.0.0:8400", "0.0.0.0 is not a loopback address"},
        {"10.1.2.3:8400", "10.1.2.3 is not a loopback address"},
        {"192.168.0.1:80", "not a loopback address"},
        {"128.0.0.1:80", "not a loopback address"},
        {"[::]:8400", ":: is not a loopback address"},
        {"[::ffff:127.0.0.1]:80", "not a loopback address"},
        {"[fe80::1]:80", "not a loopback address"},
        {"::1:8400", "written in brackets"},
        {"example.com:80", "not an IPv4 address"},
        {"127.0.0.1", "neither a path nor an address"},
        {"fir.sock", "neither a path nor an address"},
        {"", "neither a path nor an address"},
        {"127.0.0.1:", "is not a port"},
        {"127.0.0.1:65536", "is not a port"},
        {"127.0.0.1:-1", "is not a port"},
        {"127.0.0.1:80x", "is not a port"},
        {"127.0.0.1: 80", "is not a port"},
        {"127.000.0.1:80", "not an IPv4 address"},
        {"[::1]", "needs its port"},
        {"[::1]:", "is not a port"},
        {"/" + std::string(120, 'x'), "too long for a Unix socket"},
    };
    for (const Refused& r : refused) {
        ListenAddress address;
        std::string why;
        EXPECT_FALSE(fclhost::parseListenAddress(r.text, &address, &why)) << r.text;
        EXPECT_NE(why.find(r.says), std::string::npos) << r.text << ": " << why;
        EXPECT_NE(why.find("--listen takes"), std::string::npos) << "the refusal names the forms taken: " << why;
    }
}

TEST(PeerCheck, TheHostsUserAndRootMayRunJobsAndNobodyElse) {
    EXPECT_TRUE(fclhost::peerMayRunJobs(1000, 1000));
    EXPECT_TRUE(fclhost::peerMayRunJobs(0, 1000));
    EXPECT_TRUE(fclhost::peerMayRunJobs(0, 0));
    EXPECT_FALSE(fclhost::peerMayRunJobs(1001, 1000));
    EXPECT_FALSE(fclhost::peerMayRunJobs(1000, 0));
}

class Listening : public ::testing::Test {
protected:
    ListenAddress unixAt(const std::string& path) {
        ListenAddress address;
        address.kind = ListenAddress::Kind::UnixSocket;
        address.path = path;
        return address;
    }
    ListenAddress loopback(ListenAddress::Kind kind = ListenAddress::Kind::Inet4) {
        ListenAddress address;
        address.kind = kind;
        address.host = kind == ListenAddress::Kind::Inet4 ? "127.0.0.1" : "::1";
        return address;
    }
    // A connection to `listener`, made by this process: -1 when it cannot be made.
    static int connectTo(const FirListener& listener) {
        const std::string& at = listener.address();
        if (at[0] == '/') {
            int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un un{};
            un.sun_family = AF_UNIX;
            snprintf(un.sun_path, sizeof un.sun_path, "%s", at.c_str());
            return connect(fd, reinterpret_cast<sockaddr*>(&un), sizeof un) == 0 ? fd : (close(fd), -1);
        }
        const bool v6 = at[0] == '[';
        const size_t colon = at.rfind(':');
        const uint16_t port = static_cast<uint16_t>(std::stoi(at.substr(colon + 1)));
        sockaddr_storage where{};
        socklen_t length;
        if (v6) {
            auto& in6 = reinterpret_cast<sockaddr_in6&>(where);
            in6.sin6_family = AF_INET6;
            in6.sin6_port = htons(port);
            in6.sin6_addr = in6addr_loopback;
            length = sizeof in6;
        } else {
            auto& in = reinterpret_cast<sockaddr_in&>(where);
            in.sin_family = AF_INET;
            in.sin_port = htons(port);
            in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof in;
        }
        int fd = socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return connect(fd, reinterpret_cast<sockaddr*>(&where), length) == 0 ? fd : (close(fd), -1);
    }

    fcltest::ScratchDir scratch_{"listen"};
};

TEST_F(Listening, AUnixSocketIsOpenToItsOwnerOnlyAndGoesWithTheListener) {
    const std::string path = scratch_ / "fir.sock";
    // A umask that would leave the socket open to everyone.
    const mode_t previous = umask(0);
    std::unique_ptr<FirListener> listener;
    std::string why;
    const bool opened = FirListener::open(unixAt(path), &listener, &why);
    umask(previous);
    ASSERT_TRUE(opened) << why;
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << st.st_mode;
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(listener->address(), path);

    int client = connectTo(*listener);
    ASSERT_GE(client, 0);
    std::unique_ptr<CWzNetwork> session;
    EXPECT_EQ(listener->accept(5000, &session, &why), FirListener::Wait::Accepted) << why;
    close(client);
    listener.reset();
    EXPECT_NE(lstat(path.c_str(), &st), 0) << "the socket is removed with its listener";
}

TEST_F(Listening, WhatStandsAtTheSocketsPathIsNeverFollowedNorReplaced) {
    const std::string target = scratch_ / "target";
    fcltest::writeFile(target, "keep");
    ASSERT_EQ(symlink(target.c_str(), (scratch_ / "link").c_str()), 0);
    ASSERT_EQ(symlink((scratch_ / "nowhere").c_str(), (scratch_ / "dangling").c_str()), 0);
    ASSERT_EQ(mkdir((scratch_ / "dir").c_str(), 0755), 0);
    fcltest::writeFile(scratch_ / "file", "keep");
    for (const char* name : {"link", "dangling", "dir", "file"}) {
        std::unique_ptr<FirListener> listener;
        std::string why;
        EXPECT_FALSE(FirListener::open(unixAt(scratch_ / name), &listener, &why)) << name;
        EXPECT_NE(why.find("exists and is not a socket"), std::string::npos) << name << ": " << why;
    }
    EXPECT_EQ(fcltest::readFile(target), "keep");
    EXPECT_EQ(fcltest::readFile(scratch_ / "file"), "keep");
    struct stat st;
    EXPECT_NE(lstat((scratch_ / "nowhere").c_str(), &st), 0) << "nothing is made through a dangling link";
}

TEST_F(Listening, AStaleSocketIsReplacedAndALiveOneRefused) {
    const std::string path = scratch_ / "fir.sock";
    std::unique_ptr<FirListener> first;
    std::string why;
    ASSERT_TRUE(FirListener::open(unixAt(path), &first, &why)) << why;
    std::unique_ptr<FirListener> second;
    EXPECT_FALSE(FirListener::open(unixAt(path), &second, &why));
    EXPECT_NE(why.find("another process listens there"), std::string::npos) << why;

    // A socket left by a host that died: nobody listens on it any more.
    int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un un{};
    un.sun_family = AF_UNIX;
    const std::string stalePath = scratch_ / "stale.sock";
    snprintf(un.sun_path, sizeof un.sun_path, "%s", stalePath.c_str());
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&un), sizeof un), 0);
    close(stale);
    std::unique_ptr<FirListener> third;
    EXPECT_TRUE(FirListener::open(unixAt(stalePath), &third, &why)) << why;
}

TEST_F(Listening, EachPeerIsKnownByItsUser) {
    for (ListenAddress address :
         {unixAt(scratch_ / "fir.sock"), loopback(ListenAddress::Kind::Inet4), loopback(ListenAddress::Kind::Inet6)}) {
        std::unique_ptr<FirListener> listener;
        std::string why;
        if (!FirListener::open(address, &listener, &why)) {
            ASSERT_EQ(address.kind, ListenAddress::Kind::Inet6) << why;
            GTEST_LOG_(INFO) << "no IPv6 loopback here: " << why;
            continue;
        }
        int client = connectTo(*listener);
        ASSERT_GE(client, 0) << listener->address();
        std::unique_ptr<CWzNetwork> session;
        ASSERT_EQ(listener->accept(5000, &session, &why), FirListener::Wait::Accepted) << why;
        uid_t uid = 12345;
        EXPECT_TRUE(fclhost::peerUid(session->fd(), &uid)) << listener->address();
        EXPECT_EQ(uid, geteuid()) << listener->address();
        close(client);
    }
}

TEST_F(Listening, APeerOfAnotherUserIsTurnedAway) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "needs root to connect as another user";
    }
    const uid_t other = 65534;
    for (ListenAddress address : {loopback(), unixAt(scratch_ / "fir.sock")}) {
        std::unique_ptr<FirListener> listener;
        std::string why;
        ASSERT_TRUE(FirListener::open(address, &listener, &why)) << why;
        // Loopback TCP has no permissions of its own; the socket file is opened to others here so that the peer
        // check is what turns the peer away.
        if (address.kind == ListenAddress::Kind::UnixSocket) {
            ASSERT_EQ(chmod(scratch_.path().c_str(), 0755), 0);
            ASSERT_EQ(chmod(address.path.c_str(), 0777), 0);
        }
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(other) != 0 || setuid(other) != 0) {
                _exit(3);
            }
            int fd = connectTo(*listener);
            if (fd < 0) {
                _exit(4);
            }
            char byte;
            // The host closes the connection: the read ends.
            _exit(read(fd, &byte, 1) == 0 ? 0 : 5);
        }
        std::unique_ptr<CWzNetwork> session;
        EXPECT_EQ(listener->accept(10000, &session, &why), FirListener::Wait::Refused) << listener->address();
        EXPECT_EQ(session, nullptr);
        EXPECT_NE(why.find("refused a FIR running as user 65534"), std::string::npos) << why;
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << listener->address() << " " << status;
    }
}

}  // namespace
