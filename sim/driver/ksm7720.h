/* The mainframe's instrument driver: fifteen entry points with C linkage, each returning a
   VISA-style status (negative on failure). Every text it writes fits 256 bytes with its
   terminating zero. A call that runs out of memory returns VI_ERROR_ALLOC. Sessions may be
   used on different threads at once; calls on one session must not overlap. */
#ifndef KSM7720_SIM_DRIVER_H
#define KSM7720_SIM_DRIVER_H

#include "visa/visa.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The instrument-driver statuses of the VXIplug&play convention. */
#define VI_ERROR_PARAMETER1 ((ViStatus)0xBFFC0001)
#define VI_ERROR_PARAMETER2 ((ViStatus)0xBFFC0002)
#define VI_ERROR_PARAMETER3 ((ViStatus)0xBFFC0003)
#define VI_ERROR_PARAMETER4 ((ViStatus)0xBFFC0004)
#define VI_ERROR_FAIL_ID_QUERY ((ViStatus)0xBFFC0011)
#define VI_ERROR_INV_RESPONSE ((ViStatus)0xBFFC0012)

#define KSM7720_ATTR_TIME_UNIT 2
#define KSM7720_NVMEM_SAVE 1
#define KSM7720_MESSAGE_LEN 256

VI_EXPORT ViStatus ksm7720_init(ViRsrc resourceName, ViBoolean idQuery, ViBoolean reset,
                                ViSession* vi);
/* Closes the session and the resource manager session that ksm7720_init opened for it. */
VI_EXPORT ViStatus ksm7720_close(ViSession vi);
VI_EXPORT ViStatus ksm7720_timeOut(ViSession vi, ViInt32 timeoutMs);
VI_EXPORT ViStatus ksm7720_self_test(ViSession vi, ViInt16* result, ViChar message[256]);
VI_EXPORT ViStatus ksm7720_reset(ViSession vi);
VI_EXPORT ViStatus ksm7720_error_query(ViSession vi, ViInt32* errorCode, ViChar message[256]);
VI_EXPORT ViStatus ksm7720_error_message(ViSession vi, ViStatus status, ViChar message[256]);
VI_EXPORT ViStatus ksm7720_getHistogram_Q(ViSession vi, ViInt16 code, ViInt16 part,
                                          ViInt32 values[10]);
VI_EXPORT ViStatus ksm7720_resetHistory(ViSession vi, ViInt16 code);
VI_EXPORT ViStatus ksm7720_setAttribute(ViSession vi, ViInt32 attribute, ViInt32 value);
VI_EXPORT ViStatus ksm7720_getAttribute_Q(ViSession vi, ViInt32 attribute, ViInt32* value);
VI_EXPORT ViStatus ksm7720_getLevel_Q(ViSession vi, ViInt16 code, ViInt16 which,
                                      ViReal64 levels[3]);
VI_EXPORT ViStatus ksm7720_setLimit(ViSession vi, ViInt16 code, ViReal64 limit);
VI_EXPORT ViStatus ksm7720_NVMem(ViSession vi, ViInt16 operation);
VI_EXPORT ViStatus ksm7720_setMessage(ViSession vi, ViString message);

#ifdef __cplusplus
}
#endif

#endif
