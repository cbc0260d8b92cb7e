#include "driver/DriverIo.h"

#include "driver/ksm7720.h"
#include "visa/NoThrow.h"

ViStatus CDriverIo::Command(ViSession vi, const std::string& command) {
    std::string reply;
    ViStatus status = Query(vi, command + ";*OPC?", reply);
    if (status < VI_SUCCESS)
        return status;
    return reply == "1" ? VI_SUCCESS : Unreadable(vi);
}

// An exchange that fails, also for want of memory between the question and its reply,
// clears the session: a late or unread reply must not answer the next query.
ViStatus CDriverIo::Query(ViSession vi, const std::string& query, std::string& reply) {
    ViStatus status = NoThrow([&] {
        ViStatus sent = Send(vi, query);
        return sent < VI_SUCCESS ? sent : ReadLine(vi, reply);
    });
    if (status < VI_SUCCESS)
        viClear(vi);
    return status;
}

ViStatus CDriverIo::Unreadable(ViSession vi) {
    viClear(vi);
    return VI_ERROR_INV_RESPONSE;
}

ViStatus CDriverIo::Send(ViSession vi, const std::string& line) {
    std::string message = line + "\n";
    ViUInt32 written = 0;
    ViStatus status = viWrite(vi, reinterpret_cast<ViConstBuf>(message.data()),
                              static_cast<ViUInt32>(message.size()), &written);
    if (status < VI_SUCCESS)
        return status;
    return written == message.size() ? VI_SUCCESS : VI_ERROR_IO;
}

ViStatus CDriverIo::ReadLine(ViSession vi, std::string& reply) {
    reply.clear();
    ViByte chunk[1024];
    for (;;) {
        ViUInt32 count = 0;
        ViStatus status = viRead(vi, chunk, sizeof chunk, &count);
        if (status < VI_SUCCESS)
            return status;
        reply.append(reinterpret_cast<const char*>(chunk), count);
        if (reply.size() > kMaxReply)
            return VI_ERROR_INV_RESPONSE;
        if (status != VI_SUCCESS_MAX_CNT)
            break;
    }
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r'))
        reply.pop_back();
    return VI_SUCCESS;
}
