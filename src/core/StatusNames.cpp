#include "core/StatusNames.h"

#include <array>
#include <cstdio>

namespace {

struct KnownStatus {
    std::uint32_t code;
    const char* name;
    const char* driverText; // only for the driver convention's own statuses
};

constexpr std::array<KnownStatus, 29> kKnownStatuses{{
    {0x3FFF0005u, "VI_SUCCESS_TERM_CHAR", nullptr},
    {0x3FFF0006u, "VI_SUCCESS_MAX_CNT", nullptr},
    {0xBFFF0000u, "VI_ERROR_SYSTEM_ERROR", nullptr},
    {0xBFFF000Eu, "VI_ERROR_INV_OBJECT", nullptr},
    {0xBFFF000Fu, "VI_ERROR_RSRC_LOCKED", nullptr},
    {0xBFFF0010u, "VI_ERROR_INV_EXPR", nullptr},
    {0xBFFF0011u, "VI_ERROR_RSRC_NFOUND", nullptr},
    {0xBFFF0012u, "VI_ERROR_INV_RSRC_NAME", nullptr},
    {0xBFFF0013u, "VI_ERROR_INV_ACC_MODE", nullptr},
    {0xBFFF0015u, "VI_ERROR_TMO", nullptr},
    {0xBFFF001Du, "VI_ERROR_NSUP_ATTR", nullptr},
    {0xBFFF001Eu, "VI_ERROR_NSUP_ATTR_STATE", nullptr},
    {0xBFFF003Au, "VI_ERROR_INV_SETUP", nullptr},
    {0xBFFF003Cu, "VI_ERROR_ALLOC", nullptr},
    {0xBFFF003Eu, "VI_ERROR_IO", nullptr},
    {0xBFFF005Fu, "VI_ERROR_NLISTENERS", nullptr},
    {0xBFFF0067u, "VI_ERROR_NSUP_OPER", nullptr},
    {0xBFFF0072u, "VI_ERROR_RSRC_BUSY", nullptr},
    {0xBFFF0078u, "VI_ERROR_INV_PARAMETER", nullptr},
    {0xBFFF00A6u, "VI_ERROR_CONN_LOST", nullptr},
    {0xBFFC0001u, "VI_ERROR_PARAMETER1", "parameter 1 out of range"},
    {0xBFFC0002u, "VI_ERROR_PARAMETER2", "parameter 2 out of range"},
    {0xBFFC0003u, "VI_ERROR_PARAMETER3", "parameter 3 out of range"},
    {0xBFFC0004u, "VI_ERROR_PARAMETER4", "parameter 4 out of range"},
    {0xBFFC0011u, "VI_ERROR_FAIL_ID_QUERY", "the instrument did not identify as expected"},
    {0xBFFC0012u, "VI_ERROR_INV_RESPONSE", "invalid instrument response"},
    {0xBFFC0D07u, "INSTRUMENT_ERROR_DETECTED", "the mainframe's error queue is not empty"},
    {0xBFFC0D08u, "ERROR_QUEUE_NOT_EMPTIED", "the mainframe's error queue never reported empty"},
    {0x00000000u, "VI_SUCCESS", nullptr},
}};

const KnownStatus* Find(InstrumentStatus status) {
    for (const KnownStatus& known : kKnownStatuses) {
        if (known.code == static_cast<std::uint32_t>(status)) {
            return &known;
        }
    }
    return nullptr;
}

} // namespace

const char* StatusName(InstrumentStatus status) {
    const KnownStatus* known = Find(status);
    return known != nullptr ? known->name : nullptr;
}

const char* DriverStatusText(InstrumentStatus status) {
    const KnownStatus* known = Find(status);
    return known != nullptr ? known->driverText : nullptr;
}

std::string StatusWord(InstrumentStatus status) {
    const char* name = StatusName(status);
    return name != nullptr ? name : StatusHex(status);
}

std::string StatusHex(InstrumentStatus status) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%08X", static_cast<unsigned>(status));
    return text.data();
}
