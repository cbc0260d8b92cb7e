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
        bool busy = false;
        for (const Listener& l : m_listeners)
            fds.push_back({l.fd, POLLIN, 0});
        for (const auto& c : m_clients) {
            short events =
                static_cast<short>((WantsInput(*c) ? POLLIN : 0) | (c->out.empty() ? 0 : POLLOUT));
            fds.push_back({c->fd, events, 0});
            busy = busy || HasWork(*c);
        }
        if (::poll(fds.data(), fds.size(), busy ? 0 : 200) < 0 && errno != EINTR)
            return;
        size_t clients = m_clients.size(); // those accepted below wait for the next round
        for (size_t i = 0; i < m_listeners.size(); ++i) {
            if (fds[i].revents & POLLIN)
                Accept(m_listeners[i]);
        }
        for (size_t i = 0; i < clients && !m_dropAll; ++i) {
            Client& c = *m_clients[i];
            short ev = fds[m_listeners.size() + i].revents;
            if (ev & (POLLERR | POLLHUP)) {
                c.closed = true; // reset by the client: its unanswered lines are forgotten
                continue;
            }
            if (ev & POLLIN)
                Receive(c);
            Serve(c);
            Flush(c);
        }
        if (m_dropAll)
            CloseAll();
        RemoveClosed();
    }
}

bool CSimServer::WantsInput(const Client& client) {
    return !client.ended && client.in.size() - client.start < kInputWindow &&
           client.out.size() < kMaxPendingOutput;
}

bool CSimServer::HasWork(const Client& client) {
    return !client.closed && client.out.size() < kMaxPendingOutput &&
           client.in.find('\n', client.start) != std::string::npos;
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
    client.in.erase(0, client.start);
    client.start = 0;
    size_t room = kInputWindow - std::min(client.in.size(), kInputWindow);
    if (room == 0)
        return;
    char buffer[kInputWindow];
    ssize_t n = ::recv(client.fd, buffer, room, 0);
    if (n > 0)
        client.in.append(buffer, static_cast<size_t>(n));
    else if (n == 0)
        client.ended = true;
    else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        client.closed = true;
}

void CSimServer::Serve(Client& client) {
    for (int turn = 0; turn < kLinesPerTurn && !client.closed && !m_dropAll &&
                       client.out.size() < kMaxPendingOutput;
         ++turn) {
        size_t nl = client.in.find('\n', client.start);
        size_t length = (nl == std::string::npos ? client.in.size() : nl) - client.start;
        if (length > kMaxLine && !client.discarding) {
            client.instrument->ReportOverrun();
            client.discarding = true;
        }
        if (nl == std::string::npos) {
            if (client.discarding)
                client.start = client.in.size();
            break;
        }
        std::string_view line(client.in.data() + client.start, length);
        client.start = nl + 1;
        if (client.discarding)
            client.discarding = false;
        else
            HandleLine(client, line);
    }
    // A client that has said all it will say is done once its lines are answered.
    if (client.ended && !HasWork(client) && client.out.empty())
        client.closed = true;
}

void CSimServer::HandleLine(Client& client, std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    SimResponse r = client.instrument->Execute(line);
    if (r.reply) {
        client.out += *r.reply;
        client.out += '\n';
    }
    if (r.dropAll)
        m_dropAll = true;
}

void CSimServer::Flush(Client& client) {
    while (!client.closed && !client.out.empty()) {
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
