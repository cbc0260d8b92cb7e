#include "visa/InstrSession.h"

#include "visa/BenchCache.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>

namespace {

constexpr int kConnectTimeoutMs = 2000;
constexpr ViVersion kImplVersion = 0x00100000;
const char kManfName[] = "KSM7720 simulated bench";

template <typename T> ViStatus Put(void* out, T value) {
    std::memcpy(out, &value, sizeof value);
    return VI_SUCCESS;
}

ViStatus PutText(void* out, const std::string& text) {
    char* dest = static_cast<char*>(out);
    size_t n = std::min(text.size(), size_t{VI_FIND_BUFLEN - 1});
    std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
    return VI_SUCCESS;
}

} // namespace

CInstrSession::CInstrSession(std::string benchPath, const BenchResource& resource)
    : m_benchPath(std::move(benchPath)), m_resource(resource),
      m_name(CResourceName::Parse(resource.name).value_or(CResourceName{})) {}

CInstrSession::~CInstrSession() {
    Disconnect();
}

bool CInstrSession::Connect() {
    std::lock_guard lock(m_mutex);
    return ConnectLocked(Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs));
}

bool CInstrSession::ConnectLocked(Clock::time_point deadline) {
    Disconnect();
    std::optional<CBenchFile> bench = LoadBenchCached(m_benchPath);
    const BenchResource* res = bench ? bench->FindResource(m_resource.name) : nullptr;
    const BenchInstrument* inst = res ? bench->FindInstrument(res->instrument) : nullptr;
    if (!inst || inst->port == 0)
        return false;
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(inst->port);
    int rc = ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno == EINPROGRESS) {
        int err = 0;
        socklen_t len = sizeof err;
        if (Wait(POLLOUT, deadline, false) == 1 &&
            ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
            rc = 0;
    }
    if (rc != 0) {
        Disconnect();
        return false;
    }
    int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Blocking from now on, so a receive can wait in the kernel; sends pass MSG_DONTWAIT.
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_receiveTimeout = 0;
    return true;
}

void CInstrSession::Disconnect() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_input.clear();
}

CInstrSession::Clock::time_point CInstrSession::Deadline() const {
    return Clock::now() + std::chrono::milliseconds(m_timeout);
}

int CInstrSession::Wait(short events, Clock::time_point deadline, bool forever) const {
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        int ms = forever ? -1 : static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
        pollfd p{m_fd, events, 0};
        int rc = ::poll(&p, 1, ms);
        if (rc > 0)
            return 1;
        if (rc == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

ViStatus CInstrSession::Write(ViConstBuf buf, ViUInt32 count, ViUInt32* written) {
    std::lock_guard lock(m_mutex);
    if (written)
        *written = 0;
    if (!buf && count)
        return VI_ERROR_USER_BUF;
    auto deadline = Deadline();
    bool forever = m_timeout == VI_TMO_INFINITE;
    if (m_fd < 0 && !ConnectLocked(std::min(
                        deadline, Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs))))
        return VI_ERROR_CONN_LOST;
    std::string data(reinterpret_cast<const char*>(buf), count);
    if (m_sendEnd && (data.empty() || data.back() != '\n'))
        data.push_back('\n');
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n =
            ::send(m_fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            if (Wait(POLLOUT, deadline, forever) != 1)
                break;
        } else {
            Disconnect();
            return VI_ERROR_CONN_LOST;
        }
    }
    if (written)
        *written = static_cast<ViUInt32>(std::min<size_t>(sent, count));
    return sent == data.size() ? VI_SUCCESS : VI_ERROR_TMO;
}

size_t CInstrSession::FindTerminator(size_t limit) const {
    for (size_t i = 0; i < std::min(limit, m_input.size()); ++i) {
        unsigned char c = static_cast<unsigned char>(m_input[i]);
        if (c == '\n' || (m_termCharEnabled && c == m_termChar))
            return i;
    }
    return std::string::npos;
}

void CInstrSession::Deliver(ViBuf buf, size_t n, ViUInt32* read) {
    std::memcpy(buf, m_input.data(), n);
    m_input.erase(0, n);
    if (read)
        *read = static_cast<ViUInt32>(n);
}

ViStatus CInstrSession::Read(ViBuf buf, ViUInt32 count, ViUInt32* read) {
    std::lock_guard lock(m_mutex);
    if (read)
        *read = 0;
    if (!buf && count)
        return VI_ERROR_USER_BUF;
    auto deadline = Deadline();
    bool forever = m_timeout == VI_TMO_INFINITE;
    for (;;) {
        size_t end = FindTerminator(count);
        if (end != std::string::npos) {
            Deliver(buf, end + 1, read);
            return VI_SUCCESS_TERM_CHAR;
        }
        if (m_input.size() >= count) {
            Deliver(buf, count, read);
            return VI_SUCCESS_MAX_CNT;
        }
        if (m_fd < 0)
            return VI_ERROR_CONN_LOST;
        char chunk[4096];
        bool expired = false;
        ssize_t n = Receive(chunk, sizeof chunk, deadline, forever, expired);
        if (n > 0) {
            m_input.append(chunk, static_cast<size_t>(n));
            continue;
        }
        bool nothingYet = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
        if (nothingYet && !expired)
            continue;
        Deliver(buf, m_input.size(), read);
        if (nothingYet)
            return VI_ERROR_TMO;
        Disconnect();
        return VI_ERROR_CONN_LOST;
    }
}

// One receive that waits in the kernel, bounded by the socket's receive time-out (set only
// when it changes, so a read costs one system call when its reply comes within the
// session's time-out); once the deadline has passed, one that does not wait.
ssize_t CInstrSession::Receive(char* chunk, size_t size, Clock::time_point deadline, bool forever,
                               bool& expired) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    expired = !forever && left <= 0;
    if (expired)
        return ::recv(m_fd, chunk, size, MSG_DONTWAIT);
    long long ms = forever ? 0 : std::min<long long>(left, 1LL << 30);
    if (ms != m_receiveTimeout) {
        timeval limit{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>(ms % 1000 * 1000)};
        if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0)
            return -1;
        m_receiveTimeout = ms;
    }
    return ::recv(m_fd, chunk, size, 0);
}

// A device clear must reach the instrument: whatever it was sent and has not answered yet
// must never be read as the answer to a later question. The link is reset rather than closed
// in order, which the simulator takes as that clear (it forgets the lines it has not carried
// out), and the next write connects afresh, so no reply sent before the clear can follow it.
ViStatus CInstrSession::Clear() {
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0) {
        linger reset{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    Disconnect();
    return VI_SUCCESS;
}

ViStatus CInstrSession::GetLibraryAttribute(ViAttr attr, void* value) {
    switch (attr) {
    case VI_ATTR_RSRC_SPEC_VERSION:
        return Put<ViVersion>(value, VI_SPEC_VERSION);
    case VI_ATTR_RSRC_IMPL_VERSION:
        return Put<ViVersion>(value, kImplVersion);
    case VI_ATTR_RSRC_MANF_ID:
        return Put<ViUInt16>(value, 0);
    case VI_ATTR_RSRC_MANF_NAME:
        return PutText(value, kManfName);
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus CInstrSession::GetAttribute(ViAttr attr, void* value) {
    std::lock_guard lock(m_mutex);
    return GetAttributeLocked(attr, value);
}

ViStatus CInstrSession::GetAttributeLocked(ViAttr attr, void* value) const {
    bool gpib = m_name.intf == CResourceName::kGpib;
    bool vxi = m_resource.intf == VI_INTF_VXI || m_resource.intf == VI_INTF_GPIB_VXI;
    switch (attr) {
    case VI_ATTR_RSRC_CLASS:
        return PutText(value, "INSTR");
    case VI_ATTR_RSRC_NAME:
        return PutText(value, m_resource.name);
    case VI_ATTR_INTF_TYPE:
        return Put<ViUInt16>(value, m_resource.intf);
    case VI_ATTR_INTF_NUM:
        return Put<ViUInt16>(value, m_name.board);
    case VI_ATTR_TMO_VALUE:
        return Put<ViUInt32>(value, m_timeout);
    case VI_ATTR_TERMCHAR:
        return Put<ViUInt8>(value, m_termChar);
    case VI_ATTR_TERMCHAR_EN:
        return Put<ViBoolean>(value, m_termCharEnabled);
    case VI_ATTR_SEND_END_EN:
        return Put<ViBoolean>(value, m_sendEnd);
    }
    if (gpib && attr == VI_ATTR_GPIB_PRIMARY_ADDR)
        return Put<ViUInt16>(value, static_cast<ViUInt16>(m_name.address));
    if (gpib && attr == VI_ATTR_GPIB_SECONDARY_ADDR)
        return Put<ViUInt16>(value,
                             static_cast<ViUInt16>(m_name.secondary.value_or(VI_NO_SEC_ADDR)));
    if (vxi && attr == VI_ATTR_VXI_LA)
        return Put<ViInt16>(value, static_cast<ViInt16>(m_name.address));
    if (vxi && attr == VI_ATTR_MANF_ID)
        return Put<ViUInt16>(value, m_resource.manf);
    if (vxi && attr == VI_ATTR_MODEL_CODE)
        return Put<ViUInt16>(value, m_resource.model);
    return GetLibraryAttribute(attr, value);
}

ViStatus CInstrSession::SetAttribute(ViAttr attr, ViAttrState value) {
    std::lock_guard lock(m_mutex);
    switch (attr) {
    case VI_ATTR_TMO_VALUE:
        if (value > 0xFFFFFFFFull)
            return VI_ERROR_NSUP_ATTR_STATE;
        m_timeout = static_cast<ViUInt32>(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR:
        if (value > 0xFF)
            return VI_ERROR_NSUP_ATTR_STATE;
        m_termChar = static_cast<ViUInt8>(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN:
    case VI_ATTR_SEND_END_EN:
        if (value > 1)
            return VI_ERROR_NSUP_ATTR_STATE;
        (attr == VI_ATTR_SEND_END_EN ? m_sendEnd : m_termCharEnabled) = value == 1;
        return VI_SUCCESS;
    }
    char scratch[VI_FIND_BUFLEN];
    bool known = GetAttributeLocked(attr, scratch) >= VI_SUCCESS;
    return known ? VI_ERROR_ATTR_READONLY : VI_ERROR_NSUP_ATTR;
}
