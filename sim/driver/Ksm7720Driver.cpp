// The driver's entry points. Each operation is SCPI sent to the mainframe through VISA; the
// driver checks its arguments before anything is sent and never writes past the caller's
// buffers. Sessions may be used on different threads at once; calls on one session must
// not overlap, since each exchange is a write and then a read.

#include "driver/DriverIo.h"
#include "driver/DriverSessions.h"
#include "driver/Refusals.h"
#include "driver/ReplyParser.h"
#include "driver/ksm7720.h"
#include "visa/NoThrow.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr int kDefaultTimeoutMs = 5000;
constexpr size_t kMaxDisplayMessage = 1024;
const char kIdentityPrefix[] = "KORVALD-SYSTEMS,M772";
const char kNoBuffer[] = "No place for the result was given.";
const char kOnlyTimeUnit[] = "The driver knows one attribute: 2, the histogram time unit.";

void CopyMessage(ViChar* dest, const std::string& text) {
    size_t n = std::min(text.size(), size_t{KSM7720_MESSAGE_LEN - 1});
    std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
}

// Texts for the driver's own statuses. A refused call has its own reason (CRefusals); these
// serve a status asked about on another session or after a later refusal.
const char* DriverStatusText(ViStatus status) {
    switch (status) {
    case VI_ERROR_PARAMETER1:
    case VI_ERROR_PARAMETER2:
    case VI_ERROR_PARAMETER3:
    case VI_ERROR_PARAMETER4:
        return "The driver refused a value it was given: missing, or outside what the "
               "mainframe takes.";
    case VI_ERROR_FAIL_ID_QUERY:
        return "Instrument identification query failed.";
    case VI_ERROR_INV_RESPONSE:
        return "Instrument returned an invalid response.";
    default:
        return nullptr;
    }
}

// Opens the instrument, checks its identity and resets it, as asked.
ViStatus OpenInstrument(ViSession rm, ViRsrc name, bool idQuery, bool reset, ViSession& vi) {
    ViStatus status = viOpen(rm, name, VI_NULL, VI_NULL, &vi);
    if (status < VI_SUCCESS)
        return status;
    viSetAttribute(vi, VI_ATTR_TMO_VALUE, kDefaultTimeoutMs);
    if (idQuery) {
        std::string idn;
        status = CDriverIo::Query(vi, "*IDN?", idn);
        if (status < VI_SUCCESS)
            return status;
        if (idn.compare(0, sizeof kIdentityPrefix - 1, kIdentityPrefix) != 0)
            return VI_ERROR_FAIL_ID_QUERY;
    }
    return reset ? CDriverIo::Command(vi, "*RST") : VI_SUCCESS;
}

bool Printable(const char* text) {
    for (; *text; ++text) {
        unsigned char c = static_cast<unsigned char>(*text);
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

std::string Quote(const char* text) {
    std::string out = "\"";
    for (; *text; ++text) {
        out.push_back(*text);
        if (*text == '"')
            out.push_back('"');
    }
    return out + "\"";
}

// Sends a query whose reply is a number and a quoted text ("0,\"No error\""); the text goes
// to message (empty on any failure). A null message is the third parameter's error.
ViStatus QueryNumberAndText(ViSession vi, const char* query, int32_t& code, ViChar message[256]) {
    if (!message)
        return CRefusals::Refuse(vi, VI_ERROR_PARAMETER3, kNoBuffer);
    CopyMessage(message, "");
    std::string reply, text;
    const ViStatus status = CDriverIo::Query(vi, query, reply);
    if (status < VI_SUCCESS)
        return status;
    if (!CReplyParser::NumberAndText(reply, code, text))
        return CDriverIo::Unreadable(vi);
    CopyMessage(message, text);
    return VI_SUCCESS;
}

// The same for a reply whose number goes to `*out` (the second parameter), clamped to its type.
template <typename Code>
ViStatus QueryCode(ViSession vi, const char* query, Code* out, ViChar message[256]) {
    if (!out)
        return CRefusals::Refuse(vi, VI_ERROR_PARAMETER2, kNoBuffer);
    int32_t code = 0;
    const ViStatus status = QueryNumberAndText(vi, query, code, message);
    if (status == VI_SUCCESS)
        *out = static_cast<Code>(std::clamp<int32_t>(code, std::numeric_limits<Code>::min(),
                                                     std::numeric_limits<Code>::max()));
    return status;
}

} // namespace

extern "C" {

ViStatus ksm7720_init(ViRsrc resourceName, ViBoolean idQuery, ViBoolean reset, ViSession* vi) {
    return NoThrow([&]() -> ViStatus {
        if (!vi)
            return CRefusals::Refuse(VI_NULL, VI_ERROR_PARAMETER4,
                                     "No place for the session was given.");
        *vi = VI_NULL;
        if (!resourceName)
            return CRefusals::Refuse(VI_NULL, VI_ERROR_PARAMETER1, "No resource name was given.");
        if (idQuery > VI_TRUE)
            return CRefusals::Refuse(VI_NULL, VI_ERROR_PARAMETER2,
                                     "The identification query switch must be 0 or 1.");
        if (reset > VI_TRUE)
            return CRefusals::Refuse(VI_NULL, VI_ERROR_PARAMETER3,
                                     "The reset switch must be 0 or 1.");
        ViSession rm = VI_NULL;
        ViStatus status = viOpenDefaultRM(&rm);
        if (status < VI_SUCCESS)
            return status;
        ViSession instr = VI_NULL;
        status = NoThrow([&] {
            ViStatus opened = OpenInstrument(rm, resourceName, idQuery, reset, instr);
            if (opened >= VI_SUCCESS)
                CDriverSessions::Add(instr, rm);
            return opened;
        });
        if (status < VI_SUCCESS) {
            viClose(rm); // closes the instrument session too
            return status;
        }
        *vi = instr;
        return VI_SUCCESS;
    });
}

ViStatus ksm7720_close(ViSession vi) {
    return NoThrow([&] { return CDriverSessions::Close(vi); });
}

ViStatus ksm7720_timeOut(ViSession vi, ViInt32 timeoutMs) {
    return NoThrow([&]() -> ViStatus {
        if (timeoutMs < 0)
            return CRefusals::Refuse(vi, VI_ERROR_PARAMETER2, "A time-out cannot be negative.");
        return viSetAttribute(vi, VI_ATTR_TMO_VALUE, static_cast<ViAttrState>(timeoutMs));
    });
}

ViStatus ksm7720_self_test(ViSession vi, ViInt16* result, ViChar message[256]) {
    return NoThrow([&]() -> ViStatus { return QueryCode(vi, "DIAG:TEST?", result, message); });
}

ViStatus ksm7720_reset(ViSession vi) {
    return NoThrow([&]() -> ViStatus { return CDriverIo::Command(vi, "*RST"); });
}

ViStatus ksm7720_error_query(ViSession vi, ViInt32* errorCode, ViChar message[256]) {
    return NoThrow([&]() -> ViStatus { return QueryCode(vi, "SYST:ERR?", errorCode, message); });
}

ViStatus ksm7720_error_message(ViSession vi, ViStatus status, ViChar message[256]) {
    return NoThrow([&]() -> ViStatus {
        if (!message)
            return VI_ERROR_PARAMETER3;
        if (const char* text = CRefusals::Reason(vi, status)) {
            CopyMessage(message, text);
            return VI_SUCCESS;
        }
        if (const char* text = DriverStatusText(status)) {
            CopyMessage(message, text);
            return VI_SUCCESS;
        }
        char text[VI_FIND_BUFLEN];
        ViStatus result = viStatusDesc(vi, status, text);
        text[VI_FIND_BUFLEN - 1] = '\0';
        CopyMessage(message, result < VI_SUCCESS ? "Unknown status." : text);
        return result < VI_SUCCESS ? VI_WARN_UNKNOWN_STATUS : result;
    });
}

ViStatus ksm7720_getHistogram_Q(ViSession vi, ViInt16 code, ViInt16 part, ViInt32 values[10]) {
    return NoThrow([&]() -> ViStatus {
        if (!values)
            return CRefusals::Refuse(vi, VI_ERROR_PARAMETER4, kNoBuffer);
        std::string reply;
        ViStatus status = CDriverIo::Query(
            vi, "HIST:DATA? " + std::to_string(code) + "," + std::to_string(part), reply);
        if (status < VI_SUCCESS)
            return status;
        int32_t parsed[10];
        if (!CReplyParser::Integers(reply, parsed, 10))
            return CDriverIo::Unreadable(vi);
        std::copy(parsed, parsed + 10, values);
        return VI_SUCCESS;
    });
}

ViStatus ksm7720_resetHistory(ViSession vi, ViInt16 code) {
    return NoThrow(
        [&]() -> ViStatus { return CDriverIo::Command(vi, "HIST:RES " + std::to_string(code)); });
}

ViStatus ksm7720_setAttribute(ViSession vi, ViInt32 attribute, ViInt32 value) {
    return NoThrow([&]() -> ViStatus {
        if (attribute != KSM7720_ATTR_TIME_UNIT)
            return CRefusals::Refuse(vi, VI_ERROR_PARAMETER2, kOnlyTimeUnit);
        return CDriverIo::Command(vi, "HIST:TUN " + std::to_string(value));
    });
}

ViStatus ksm7720_getAttribute_Q(ViSession vi, ViInt32 attribute, ViInt32* value) {
    return NoThrow([&]() -> ViStatus {
        if (attribute != KSM7720_ATTR_TIME_UNIT)
            return CRefusals::Refuse(vi, VI_ERROR_PARAMETER2, kOnlyTimeUnit);
        if (!value)
            return CRefusals::Refuse(vi, VI_ERROR_PARAMETER3, kNoBuffer);
        std::string reply;
        ViStatus status = CDriverIo::Query(vi, "HIST:TUN?", reply);
        if (status < VI_SUCCESS)
            return status;
        int32_t unit = 0;
        if (!CReplyParser::Integers(reply, &unit, 1))
            return CDriverIo::Unreadable(vi);
        *value = unit;
        return VI_SUCCESS;
    });
}

ViStatus ksm7720_getLevel_Q(ViSession vi, ViInt16 code, ViInt16 which, ViReal64 levels[3]) {
    return NoThrow([&]() -> ViStatus {
        if (!levels)
            return CRefusals::Refuse(vi, VI_ERROR_PARAMETER4, kNoBuffer);
        std::string reply;
        ViStatus status = CDriverIo::Query(
            vi, "MEAS:LEV? " + std::to_string(code) + "," + std::to_string(which), reply);
        if (status < VI_SUCCESS)
            return status;
        double parsed[3] = {0.0, 0.0, 0.0};
        int count = 0;
        if (!CReplyParser::Reals(reply, parsed, 3, count))
            return CDriverIo::Unreadable(vi);
        std::copy(parsed, parsed + 3, levels);
        return VI_SUCCESS;
    });
}

ViStatus ksm7720_setLimit(ViSession vi, ViInt16 code, ViReal64 limit) {
    return NoThrow([&]() -> ViStatus {
        if (!std::isfinite(limit))
            return CRefusals::Refuse(vi, VI_ERROR_PARAMETER3, "A limit must be a finite number.");
        return CDriverIo::Command(vi, "LIM " + std::to_string(code) + "," +
                                          CReplyParser::FormatReal(limit));
    });
}

ViStatus ksm7720_NVMem(ViSession vi, ViInt16 operation) {
    return NoThrow([&]() -> ViStatus {
        if (operation != KSM7720_NVMEM_SAVE)
            return CRefusals::Refuse(vi, VI_ERROR_PARAMETER2,
                                     "The non-volatile memory knows one operation: 1, save.");
        return CDriverIo::Command(vi, "SYST:NVM:SAVE");
    });
}

ViStatus ksm7720_setMessage(ViSession vi, ViString message) {
    return NoThrow([&]() -> ViStatus {
        if (!message)
            return CRefusals::Refuse(vi, VI_ERROR_PARAMETER2, "No display text was given.");
        if (strnlen(message, kMaxDisplayMessage + 1) > kMaxDisplayMessage)
            return CRefusals::Refuse(
                vi, VI_ERROR_PARAMETER2,
                "The display takes at most 40 printable ASCII characters; this "
                "text is over 1024 characters long.");
        if (!Printable(message))
            return CRefusals::Refuse(vi, VI_ERROR_PARAMETER2,
                                     "The display takes at most 40 printable ASCII characters: no "
                                     "line breaks, tabs or other control characters.");
        return CDriverIo::Command(vi, "DISP:TEXT " + Quote(message));
    });
}

} // extern "C"
