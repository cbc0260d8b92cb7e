#pragma once
// The VISA I/O library as discovery calls it: the published type widths, the attributes
// it reads, and the eight functions it looks up by name.
#include "core/Library.h"

#include <cstddef>
#include <cstdint>

namespace visa {

using ViStatus = std::int32_t;
using ViUInt32 = std::uint32_t;
using ViUInt16 = std::uint16_t;
using ViInt16 = std::int16_t;
using ViInt32 = std::int32_t;
using ViReal64 = double;
using ViBoolean = std::uint16_t;
using ViObject = ViUInt32;
using ViSession = ViObject;
using ViFindList = ViObject;
using ViAttr = ViUInt32;
using ViAccessMode = ViUInt32;
using ViByte = unsigned char;

constexpr ViStatus VI_SUCCESS = 0;
constexpr ViBoolean VI_FALSE = 0;
constexpr ViBoolean VI_TRUE = 1;
constexpr ViAttr VI_ATTR_INTF_TYPE = 0x3FFF0171u;
constexpr ViAttr VI_ATTR_MANF_ID = 0x3FFF00D9u;
constexpr ViAttr VI_ATTR_MODEL_CODE = 0x3FFF00DFu;
constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001Au;
constexpr ViUInt16 VI_INTF_GPIB = 1;
constexpr ViUInt16 VI_INTF_VXI = 2;
constexpr ViUInt16 VI_INTF_GPIB_VXI = 3;

// A resource descriptor buffer, and room for the widest attribute value (64 bits).
constexpr std::size_t kFindBufLen = 256;
constexpr std::size_t kAttrValueSize = 8;

using OpenDefaultRMFn = ViStatus (*)(ViSession* vi);
using FindRsrcFn = ViStatus (*)(ViSession sesn, const char* expr, ViFindList* vi, ViUInt32* retCnt,
                                char desc[]);
using FindNextFn = ViStatus (*)(ViFindList vi, char desc[]);
using OpenFn = ViStatus (*)(ViSession sesn, const char* name, ViAccessMode mode, ViUInt32 timeout,
                            ViSession* vi);
using GetAttributeFn = ViStatus (*)(ViObject vi, ViAttr attrName, void* attrValue);
using WriteFn = ViStatus (*)(ViSession vi, const ViByte* buf, ViUInt32 cnt, ViUInt32* retCnt);
using ReadFn = ViStatus (*)(ViSession vi, ViByte* buf, ViUInt32 cnt, ViUInt32* retCnt);
using CloseFn = ViStatus (*)(ViObject vi);
// Not among the eight: only the command line asks for a status's words.
using StatusDescFn = ViStatus (*)(ViObject vi, ViStatus status, char desc[]);
// Nor this: only an opening under the caller's time-out sets one.
using SetAttributeFn = ViStatus (*)(ViObject vi, ViAttr attrName, std::uint64_t attrValue);

struct VisaEntryPoints {
    OpenDefaultRMFn openDefaultRM = nullptr;
    FindRsrcFn findRsrc = nullptr;
    FindNextFn findNext = nullptr;
    OpenFn open = nullptr;
    GetAttributeFn getAttribute = nullptr;
    WriteFn write = nullptr;
    ReadFn read = nullptr;
    CloseFn close = nullptr;
};

// Looks up the eight functions by name; false when the library lacks any of them.
bool LookUpVisaEntryPoints(platform::LibraryHandle library, VisaEntryPoints& table);

} // namespace visa
