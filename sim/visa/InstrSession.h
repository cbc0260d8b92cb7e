#pragma once

#include "common/BenchFile.h"
#include "common/ResourceName.h"
#include "visa/visa.h"

#include <chrono>
#include <mutex>
#include <string>

// One open INSTR session: a TCP connection to the simulated instrument that answers the
// resource, with the session's attributes. A write sends the buffer and, with END enabled,
// a newline to mark the end of the message; a read ends at a newline (or the enabled
// termination character), when the buffer is full, or at the time-out. Each call makes only
// the system calls it needs: a read waits for its reply in one receive, bounded by the
// time-out, and a write just sends, as a client on a plain socket would. A link that was lost fails
// the call that finds it (the read after a write into a closed link) with VI_ERROR_CONN_LOST; the
// next write connects again, reading the bench file afresh so a restarted simulator is found on its
// new port. A device clear resets the link the same way.
class CInstrSession {
public:
    static constexpr ViUInt32 kDefaultTimeout = 2000;

    CInstrSession(std::string benchPath, const BenchResource& resource);
    ~CInstrSession();
    CInstrSession(const CInstrSession&) = delete;
    CInstrSession& operator=(const CInstrSession&) = delete;

    // Connects to the instrument; false when nothing answers there.
    bool Connect();

    ViStatus Write(ViConstBuf buf, ViUInt32 count, ViUInt32* written);
    ViStatus Read(ViBuf buf, ViUInt32 count, ViUInt32* read);
    // The device clear: resets the link, so nothing asked before it is answered after it.
    ViStatus Clear();
    ViStatus GetAttribute(ViAttr attr, void* value);
    ViStatus SetAttribute(ViAttr attr, ViAttrState value);

    // Attributes that every session has, the resource manager's included.
    static ViStatus GetLibraryAttribute(ViAttr attr, void* value);

private:
    using Clock = std::chrono::steady_clock;

    bool ConnectLocked(Clock::time_point deadline);
    ViStatus GetAttributeLocked(ViAttr attr, void* value) const;
    void Disconnect();
    // Waits for `events` until `deadline`; 1 ready, 0 timed out, -1 failed.
    int Wait(short events, Clock::time_point deadline, bool forever) const;
    Clock::time_point Deadline() const;
    ssize_t Receive(char* chunk, size_t size, Clock::time_point deadline, bool forever,
                    bool& expired);
    // Moves the first `n` received bytes to `buf`.
    void Deliver(ViBuf buf, size_t n, ViUInt32* read);
    size_t FindTerminator(size_t limit) const;

    std::mutex m_mutex;
    std::string m_benchPath;
    BenchResource m_resource;
    CResourceName m_name;
    int m_fd = -1;
    long long m_receiveTimeout = 0; // ms, the socket's SO_RCVTIMEO; 0 waits for ever
    std::string m_input;
    ViUInt32 m_timeout = kDefaultTimeout;
    ViUInt8 m_termChar = '\n';
    bool m_termCharEnabled = false;
    bool m_sendEnd = true;
};
