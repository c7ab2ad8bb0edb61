#pragma once
// Where --listen waits for an external FIR: a Unix-socket path, or a loopback address with a port. The host takes
// jobs from this machine only, so any other address is refused before anything is made.
#include <cstdint>
#include <string>

namespace fclhost {

struct ListenAddress {
    enum class Kind { UnixSocket, Inet4, Inet6 };
    Kind kind = Kind::UnixSocket;
    std::string path;   // UnixSocket: the socket's path
    std::string host;   // Inet4, Inet6: the address as inet_pton reads it ("127.0.0.1", "::1")
    uint16_t port = 0;  // 0: any free port
};

// A text holding a '/' is a Unix-socket path ("./fir.sock" for one in the working directory). Otherwise it must be
// 127.x.x.x:PORT, localhost:PORT (127.0.0.1) or [::1]:PORT, PORT decimal, 0 for any free port. False with a reason
// for anything else: another address, a host name, a missing or malformed port, a path too long for a socket.
bool parseListenAddress(const std::string& text, ListenAddress* address, std::string* why);

}  // namespace fclhost
