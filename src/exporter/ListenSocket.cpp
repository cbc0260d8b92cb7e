#include "exporter/ListenSocket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr int kListenBacklog = 128;

std::string ListenFailure(int error) {
    switch (error) {
    case EADDRINUSE:
        return "the port is in use";
    case EADDRNOTAVAIL:
        return "not an address of this machine";
    case EACCES:
        return "a port below 1024 needs privilege";
    default:
        return std::strerror(error);
    }
}

} // namespace

int OpenListenSocket(const ListenAddress& where, std::string& failure) {
    const std::string port = std::to_string(where.port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const char* host = where.host.empty() ? "::" : where.host.c_str();
    int status = getaddrinfo(host, port.c_str(), &hints, &found);
    if (status != 0 && where.host.empty()) {
        status = getaddrinfo(nullptr, port.c_str(), &hints, &found);
    }
    if (status != 0 || found == nullptr) {
        failure = gai_strerror(status);
        return -1;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, &freeaddrinfo);
    int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 && where.host.empty() && errno == EAFNOSUPPORT) {
        return OpenListenSocket({"0.0.0.0", where.port}, failure);
    }
    if (fd < 0) {
        failure = std::strerror(errno);
        return -1;
    }
    const int on = 1;
    const int off = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (found->ai_family == AF_INET6 && where.host.empty()) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, kListenBacklog) != 0) {
        failure = ListenFailure(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

unsigned BoundPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.ss_family == AF_INET6
                     ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                     : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

std::size_t ConnectionsAllowed(std::size_t wanted, std::size_t reserved) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur <= 2 * reserved) {
        return std::min<std::size_t>(wanted, reserved / 4);
    }
    return std::min<std::size_t>(wanted, limit.rlim_cur - reserved);
}
