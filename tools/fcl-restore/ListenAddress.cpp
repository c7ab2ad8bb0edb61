#include "tools/fcl-restore/ListenAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/un.h>

namespace fclhost {
namespace {

const char kForms[] =
    "--listen takes a Unix-socket path holding a '/' (./NAME for one in the working directory) or a loopback address "
    "with a port: 127.0.0.1:PORT (any of 127.0.0.0/8), localhost:PORT or [::1]:PORT";

bool parsePort(const std::string& text, uint16_t* port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    unsigned long value = std::stoul(text);
    if (value > 65535) {
        return false;
    }
    *port = static_cast<uint16_t>(value);
    return true;
}

bool refuse(const std::string& text, const std::string& problem, std::string* why) {
    *why = "--listen \"" + text + "\": " + problem + "\n" + kForms;
    return false;
}

}  // namespace

bool parseListenAddress(const std::string& text, ListenAddress* address, std::string* why) {
    if (text.find('/') != std::string::npos) {
        if (text.size() >= sizeof(sockaddr_un{}.sun_path)) {
            return refuse(text,
                          "the path is too long for a Unix socket (at most " +
                              std::to_string(sizeof(sockaddr_un{}.sun_path) - 1) + " bytes)",
                          why);
        }
        address->kind = ListenAddress::Kind::UnixSocket;
        address->path = text;
        return true;
    }
    std::string host;
    std::string port;
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find("]:");
        if (close == std::string::npos) {
            return refuse(text, "a bracketed address needs its port after \"]:\"", why);
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        in6_addr ip6{};
        if (inet_pton(AF_INET6, host.c_str(), &ip6) != 1) {
            return refuse(text, "\"" + host + "\" is not an IPv6 address", why);
        }
        if (!IN6_IS_ADDR_LOOPBACK(&ip6)) {
            return refuse(text, host + " is not a loopback address: the host takes jobs from this machine only", why);
        }
        address->kind = ListenAddress::Kind::Inet6;
        address->host = "::1";
    } else {
        size_t colon = text.rfind(':');
        if (colon == std::string::npos) {
            return refuse(text, "neither a path nor an address with a port", why);
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.find(':') != std::string::npos) {
            return refuse(text, "an IPv6 address is written in brackets, as [::1]:PORT", why);
        }
        if (host == "localhost") {
            host = "127.0.0.1";
        }
        in_addr ip4{};
        if (inet_pton(AF_INET, host.c_str(), &ip4) != 1) {
            return refuse(text,
                          "\"" + host + "\" is not an IPv4 address (host names other than localhost are not looked up)",
                          why);
        }
        if ((ntohl(ip4.s_addr) >> 24) != 127) {
            return refuse(text, host + " is not a loopback address: the host takes jobs from this machine only", why);
        }
        address->kind = ListenAddress::Kind::Inet4;
        address->host = host;
    }
    if (!parsePort(port, &address->port)) {
        return refuse(text, "\"" + port + "\" is not a port (0 to 65535; 0 for any free port)", why);
    }
    return true;
}

}  // namespace fclhost
