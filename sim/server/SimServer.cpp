#include "server/SimServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

CSimServer::~CSimServer() {
    CloseAll();
    RemoveClosed();
    for (Listener& l : m_listeners)
        ::close(l.fd);
}

uint16_t CSimServer::Listen(std::unique_ptr<CSimInstrument> instrument, uint16_t port,
                            std::string& error) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return 0;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 128) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = "port " + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return 0;
    }
    m_listeners.push_back({fd, std::move(instrument)});
    return ntohs(addr.sin_port);
}

void CSimServer::Run(const volatile std::sig_atomic_t& stop) {
    std::vector<pollfd> fds;
    while (!stop) {
        fds.clear();
        for (const Listener& l : m_listeners)
            fds.push_back({l.fd, POLLIN, 0});
        for (const auto& c : m_clients)
            fds.push_back({c->fd, static_cast<short>(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
        if (::poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR)
            return;
        size_t clients = m_clients.size(); // those accepted below wait for the next round
        for (size_t i = 0; i < m_listeners.size(); ++i) {
            if (fds[i].revents & POLLIN)
                Accept(m_listeners[i]);
        }
        for (size_t i = 0; i < clients; ++i) {
            Client& c = *m_clients[i];
            short ev = fds[m_listeners.size() + i].revents;
            if (!c.closed && (ev & (POLLIN | POLLHUP | POLLERR)))
                Receive(c);
            if (!c.closed && (ev & POLLOUT))
                Flush(c);
        }
        if (m_dropAll)
            CloseAll();
        RemoveClosed();
    }
}

void CSimServer::Accept(const Listener& listener) {
    for (;;) {
        int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (m_clients.size() >= kMaxClients) {
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto client = std::make_unique<Client>();
        client->fd = fd;
        client->instrument = listener.instrument.get();
        m_clients.push_back(std::move(client));
    }
}

void CSimServer::Receive(Client& client) {
    char buffer[65536];
    ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        client.closed = true; // the client went away, perhaps in the middle of a line
        return;
    }
    if (n > 0)
        Consume(client, buffer, static_cast<size_t>(n));
    if (!client.closed)
        Flush(client);
}

void CSimServer::Consume(Client& client, const char* data, size_t size) {
    while (size > 0 && !client.closed && !m_dropAll) {
        const char* nl = static_cast<const char*>(std::memchr(data, '\n', size));
        size_t chunk = nl ? static_cast<size_t>(nl - data) : size;
        if (client.discarding) {
            client.discarding = !nl;
        } else if (client.in.size() + chunk > kMaxLine) {
            client.in.clear();
            client.discarding = !nl;
            client.instrument->ReportOverrun();
        } else {
            client.in.append(data, chunk);
            if (nl)
                HandleLine(client);
        }
        size_t used = nl ? chunk + 1 : chunk;
        data += used;
        size -= used;
    }
}

void CSimServer::HandleLine(Client& client) {
    if (!client.in.empty() && client.in.back() == '\r')
        client.in.pop_back();
    SimResponse r = client.instrument->Execute(client.in);
    client.in.clear();
    if (r.reply) {
        client.out += *r.reply;
        client.out += '\n';
    }
    if (r.dropAll)
        m_dropAll = true;
    if (client.out.size() > kMaxPendingOutput)
        client.closed = true;
}

void CSimServer::Flush(Client& client) {
    while (!client.out.empty()) {
        ssize_t n =
            ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                client.closed = true;
            return;
        }
        client.out.erase(0, static_cast<size_t>(n));
    }
}

void CSimServer::CloseAll() {
    for (auto& c : m_clients)
        c->closed = true;
    m_dropAll = false;
}

void CSimServer::RemoveClosed() {
    auto dead = std::remove_if(m_clients.begin(), m_clients.end(), [](const auto& c) {
        if (c->closed)
            ::close(c->fd);
        return c->closed;
    });
    m_clients.erase(dead, m_clients.end());
}
