/* The VISA I/O library's C interface as the stand-in library implements it: the published
   standard's type names, status values and attribute identifiers for 64-bit Linux, and the
   operations this library offers. Plain C calling convention. */
#ifndef KSM7720_SIM_VISA_H
#define KSM7720_SIM_VISA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VI_EXPORT __attribute__((visibility("default")))

typedef uint32_t ViUInt32;
typedef int32_t ViInt32;
typedef uint16_t ViUInt16;
typedef int16_t ViInt16;
typedef uint8_t ViUInt8;
typedef int8_t ViInt8;
typedef uint64_t ViUInt64;
typedef char ViChar;
typedef unsigned char ViByte;
typedef double ViReal64;
typedef ViUInt16 ViBoolean;
typedef ViInt32 ViStatus;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViObject ViFindList;
typedef ViUInt32 ViAccessMode;
typedef ViUInt32 ViAttr;
typedef ViUInt64 ViAttrState;
typedef ViUInt32 ViEventType;
typedef ViUInt32 ViVersion;
typedef ViChar* ViString;
typedef const ViChar* ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef ViByte* ViBuf;
typedef ViByte* ViPBuf;
typedef const ViByte* ViConstBuf;
typedef ViSession* ViPSession;
typedef ViFindList* ViPFindList;
typedef ViUInt32* ViPUInt32;
typedef ViUInt16* ViPUInt16;
typedef ViInt16* ViPInt16;
typedef ViInt32* ViPInt32;
typedef ViReal64* ViPReal64;
typedef void* ViAddr;

#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0
#define VI_FIND_BUFLEN 256
#define VI_TMO_IMMEDIATE 0UL
#define VI_TMO_INFINITE 0xFFFFFFFFUL
#define VI_NO_LOCK 0
#define VI_NO_SEC_ADDR 0xFFFF
#define VI_SPEC_VERSION 0x00500800UL

#define VI_INTF_GPIB 1
#define VI_INTF_VXI 2
#define VI_INTF_GPIB_VXI 3
#define VI_INTF_ASRL 4

/* Completion and warning codes. */
#define VI_SUCCESS 0
#define VI_SUCCESS_EVENT_EN ((ViStatus)0x3FFF0002)
#define VI_SUCCESS_EVENT_DIS ((ViStatus)0x3FFF0003)
#define VI_SUCCESS_QUEUE_EMPTY ((ViStatus)0x3FFF0004)
#define VI_SUCCESS_TERM_CHAR ((ViStatus)0x3FFF0005)
#define VI_SUCCESS_MAX_CNT ((ViStatus)0x3FFF0006)
#define VI_WARN_NULL_OBJECT ((ViStatus)0x3FFF0082)
#define VI_WARN_UNKNOWN_STATUS ((ViStatus)0x3FFF0085)

/* Error codes. */
#define VI_ERROR_SYSTEM_ERROR ((ViStatus)0xBFFF0000)
#define VI_ERROR_INV_OBJECT ((ViStatus)0xBFFF000E)
#define VI_ERROR_RSRC_LOCKED ((ViStatus)0xBFFF000F)
#define VI_ERROR_INV_EXPR ((ViStatus)0xBFFF0010)
#define VI_ERROR_RSRC_NFOUND ((ViStatus)0xBFFF0011)
#define VI_ERROR_INV_RSRC_NAME ((ViStatus)0xBFFF0012)
#define VI_ERROR_INV_ACC_MODE ((ViStatus)0xBFFF0013)
#define VI_ERROR_TMO ((ViStatus)0xBFFF0015)
#define VI_ERROR_NSUP_ATTR ((ViStatus)0xBFFF001D)
#define VI_ERROR_NSUP_ATTR_STATE ((ViStatus)0xBFFF001E)
#define VI_ERROR_ATTR_READONLY ((ViStatus)0xBFFF001F)
#define VI_ERROR_INV_EVENT ((ViStatus)0xBFFF0026)
#define VI_ERROR_INV_MECH ((ViStatus)0xBFFF0027)
#define VI_ERROR_INV_SETUP ((ViStatus)0xBFFF003A)
#define VI_ERROR_ALLOC ((ViStatus)0xBFFF003C)
#define VI_ERROR_IO ((ViStatus)0xBFFF003E)
#define VI_ERROR_NSUP_OPER ((ViStatus)0xBFFF0067)
#define VI_ERROR_USER_BUF ((ViStatus)0xBFFF0071)
#define VI_ERROR_INV_PARAMETER ((ViStatus)0xBFFF0078)
#define VI_ERROR_CONN_LOST ((ViStatus)0xBFFF00A6)

/* Attributes. */
#define VI_ATTR_RSRC_CLASS 0xBFFF0001UL
#define VI_ATTR_RSRC_NAME 0xBFFF0002UL
#define VI_ATTR_RSRC_IMPL_VERSION 0x3FFF0003UL
#define VI_ATTR_SEND_END_EN 0x3FFF0016UL
#define VI_ATTR_TERMCHAR 0x3FFF0018UL
#define VI_ATTR_TMO_VALUE 0x3FFF001AUL
#define VI_ATTR_TERMCHAR_EN 0x3FFF0038UL
#define VI_ATTR_VXI_LA 0x3FFF00D5UL
#define VI_ATTR_MANF_ID 0x3FFF00D9UL
#define VI_ATTR_MODEL_CODE 0x3FFF00DFUL
#define VI_ATTR_RSRC_SPEC_VERSION 0x3FFF0170UL
#define VI_ATTR_INTF_TYPE 0x3FFF0171UL
#define VI_ATTR_GPIB_PRIMARY_ADDR 0x3FFF0172UL
#define VI_ATTR_GPIB_SECONDARY_ADDR 0x3FFF0173UL
#define VI_ATTR_RSRC_MANF_NAME 0xBFFF0174UL
#define VI_ATTR_RSRC_MANF_ID 0x3FFF0175UL
#define VI_ATTR_INTF_NUM 0x3FFF0176UL

/* Events and their mechanisms. */
#define VI_ALL_ENABLED_EVENTS 0x3FFF7FFFUL
#define VI_EVENT_SERVICE_REQ 0x3FFF200BUL
#define VI_QUEUE 1
#define VI_HNDLR 2
#define VI_SUSPEND_HNDLR 4
#define VI_ALL_MECH 0xFFFF

VI_EXPORT ViStatus viOpenDefaultRM(ViPSession vi);
VI_EXPORT ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                              ViChar desc[]);
VI_EXPORT ViStatus viFindNext(ViFindList vi, ViChar desc[]);
VI_EXPORT ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                               ViPUInt16 intfNum);
VI_EXPORT ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                                 ViPUInt16 intfNum, ViChar rsrcClass[],
                                 ViChar expandedUnaliasedName[], ViChar aliasIfExists[]);
VI_EXPORT ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                          ViPSession vi);
VI_EXPORT ViStatus viClose(ViObject vi);
VI_EXPORT ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void* attrValue);
VI_EXPORT ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue);
VI_EXPORT ViStatus viStatusDesc(ViObject vi, ViStatus status, ViChar desc[]);
VI_EXPORT ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
VI_EXPORT ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
VI_EXPORT ViStatus viClear(ViSession vi);
VI_EXPORT ViStatus viDisableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism);
VI_EXPORT ViStatus viDiscardEvents(ViSession vi, ViEventType eventType, ViUInt16 mechanism);

#ifdef __cplusplus
}
#endif

#endif
