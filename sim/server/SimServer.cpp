#include "server/SimServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

CSimServer::CSimServer()
    : m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_spare(::open("/dev/null", O_RDONLY | O_CLOEXEC)) {}

CSimServer::~CSimServer() {
    CloseAll();
    for (Listener& l : m_listeners)
        ::close(l.fd);
    for (int fd : {m_epoll, m_spare}) {
        if (fd >= 0)
            ::close(fd);
    }
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
        ::listen(fd, SOMAXCONN) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = "port " + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return 0;
    }
    m_listeners.push_back({fd, std::move(instrument)});
    return ntohs(addr.sin_port);
}

bool CSimServer::Run(const volatile std::sig_atomic_t& stop) {
    if (m_epoll < 0)
        return false;
    for (size_t i = 0; i < m_listeners.size(); ++i) {
        epoll_event ev{EPOLLIN, {.u64 = i}};
        if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listeners[i].fd, &ev) != 0)
            return false;
    }
    std::vector<epoll_event> events(256);
    std::vector<uint64_t> busy;
    while (!stop) {
        int n = ::epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()),
                             m_busy.empty() ? 200 : 0);
        if (n < 0 && errno != EINTR)
            return false;
        ++m_turn;
        busy.swap(m_busy);
        m_busy.clear();
        for (int i = 0; i < n && !m_dropAll; ++i) {
            uint64_t id = events[i].data.u64;
            if (id < kFirstClient) {
                Accept(m_listeners[id]); // those accepted wait for the next turn
            } else if (auto it = m_clients.find(id); it != m_clients.end()) {
                Turn(*it->second, events[i].events);
            }
        }
        for (size_t i = 0; i < busy.size() && !m_dropAll; ++i) {
            auto it = m_clients.find(busy[i]);
            if (it != m_clients.end() && it->second->turn != m_turn)
                Turn(*it->second, 0);
        }
        if (m_dropAll)
            CloseAll();
        RemoveClosed();
    }
    return true;
}

void CSimServer::Turn(Client& client, uint32_t events) {
    client.turn = m_turn;
    if (client.closed)
        return;
    if (events & (EPOLLERR | EPOLLHUP)) {
        client.closed = true; // reset by the client: its unanswered lines are forgotten
    } else {
        if (events & EPOLLIN)
            Receive(client);
        Serve(client);
        Flush(client);
        // A client that has said all it will say is done once its lines are answered.
        if (client.ended && !HasWork(client) && client.out.empty())
            client.closed = true;
    }
    if (client.closed) {
        m_dead.push_back(client.id);
        return;
    }
    if (HasWork(client))
        m_busy.push_back(client.id);
    Watch(client);
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
        if (fd < 0) {
            if ((errno == EMFILE || errno == ENFILE) && Refuse(listener))
                continue;
            return;
        }
        const uint64_t id = m_nextId++;
        epoll_event ev{EPOLLIN, {.u64 = id}};
        if (m_clients.size() >= kMaxClients || ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto client = std::make_unique<Client>();
        client->fd = fd;
        client->id = id;
        client->instrument = listener.instrument.get();
        client->watched = EPOLLIN;
        m_clients.emplace(id, std::move(client));
    }
}

bool CSimServer::Refuse(const Listener& listener) {
    if (m_spare < 0)
        return false;
    ::close(m_spare);
    int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    return fd >= 0;
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

void CSimServer::Watch(Client& client) {
    const uint32_t want = (WantsInput(client) ? uint32_t{EPOLLIN} : 0u) |
                          (client.out.empty() ? 0u : uint32_t{EPOLLOUT});
    if (want == client.watched)
        return;
    epoll_event ev{want, {.u64 = client.id}};
    if (::epoll_ctl(m_epoll, EPOLL_CTL_MOD, client.fd, &ev) == 0)
        client.watched = want;
}

void CSimServer::CloseAll() {
    for (auto& [id, c] : m_clients)
        ::close(c->fd);
    m_clients.clear();
    m_busy.clear();
    m_dead.clear();
    m_dropAll = false;
}

void CSimServer::RemoveClosed() {
    for (uint64_t id : m_dead) {
        auto it = m_clients.find(id);
        if (it != m_clients.end()) {
            ::close(it->second->fd);
            m_clients.erase(it);
        }
    }
    m_dead.clear();
}
