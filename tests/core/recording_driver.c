/* A driver that writes every entry point called, with the session it was given, to the file
   that KSM7720_RECORD names, one line each, and forwards the call to the stand-in driver
   STAND_IN_DRIVER. ksm7720_init's line holds the session it made (0 when it failed) and its
   identification flag. Like a driver with a bound, it refuses a time-out over an hour.
   KSM7720_ERROR_QUERY breaks the error query: "endless" reports an entry on every query,
   "fail-after=N" reports an entry on each of the first N queries of the process and a
   time-out on every one after them. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define PARAMETER2_ERROR ((int32_t)0xBFFC0002u)
#define NOT_SUPPORTED ((int32_t)0xBFFF0067u)
#define MAX_TIMEOUT_MS 3600000
#define TIME_OUT ((int32_t)0xBFFF0015u)
#define INJECTED_ERROR -310

static void* Forward(const char* name) {
    static void* driver;
    if (!driver)
        driver = dlopen(STAND_IN_DRIVER, RTLD_NOW | RTLD_LOCAL);
    return driver ? dlsym(driver, name) : NULL;
}

static void Record(const char* name, uint32_t vi, const char* extra) {
    const char* path = getenv("KSM7720_RECORD");
    FILE* log = path ? fopen(path, "a") : NULL;
    if (log) {
        fprintf(log, "%s %u%s\n", name, (unsigned)vi, extra);
        fclose(log);
    }
}

/* An entry point that records its name and session, then forwards all its arguments. */
#define RECORDED(name, params, args)                                                               \
    int32_t name params {                                                                          \
        typedef int32_t(*Fn) params;                                                               \
        Record(#name, vi, "");                                                                     \
        Fn fn = (Fn)Forward(#name);                                                                \
        return fn ? fn args : NOT_SUPPORTED;                                                       \
    }

int32_t ksm7720_init(char* name, uint16_t idQuery, uint16_t reset, uint32_t* vi) {
    typedef int32_t (*Fn)(char*, uint16_t, uint16_t, uint32_t*);
    Fn fn = (Fn)Forward("ksm7720_init");
    int32_t status = fn ? fn(name, idQuery, reset, vi) : NOT_SUPPORTED;
    Record("ksm7720_init", status < 0 ? 0 : *vi, idQuery ? " id=1" : " id=0");
    return status;
}

int32_t ksm7720_timeOut(uint32_t vi, int32_t ms) {
    typedef int32_t (*Fn)(uint32_t, int32_t);
    char extra[24];
    snprintf(extra, sizeof extra, " %d", (int)ms);
    Record("ksm7720_timeOut", vi, extra);
    if (ms > MAX_TIMEOUT_MS)
        return PARAMETER2_ERROR;
    Fn fn = (Fn)Forward("ksm7720_timeOut");
    return fn ? fn(vi, ms) : NOT_SUPPORTED;
}

RECORDED(ksm7720_self_test, (uint32_t vi, int16_t* result, char* text), (vi, result, text))
RECORDED(ksm7720_reset, (uint32_t vi), (vi))
/* The injected entry or failure, or -1 to ask the stand-in. */
static int32_t InjectedQuery(int32_t* code, char* text) {
    static int queries;
    const char* fault = getenv("KSM7720_ERROR_QUERY");
    int entries = -1;
    if (!fault || (strcmp(fault, "endless") != 0 && sscanf(fault, "fail-after=%d", &entries) != 1))
        return -1;
    if (entries >= 0 && queries >= entries)
        return TIME_OUT;
    ++queries;
    *code = INJECTED_ERROR;
    snprintf(text, 256, "System error; injected entry %d", queries);
    return 0;
}

int32_t ksm7720_error_query(uint32_t vi, int32_t* code, char* text) {
    typedef int32_t (*Fn)(uint32_t, int32_t*, char*);
    Record("ksm7720_error_query", vi, "");
    const int32_t injected = InjectedQuery(code, text);
    if (injected != -1)
        return injected;
    Fn fn = (Fn)Forward("ksm7720_error_query");
    return fn ? fn(vi, code, text) : NOT_SUPPORTED;
}
RECORDED(ksm7720_error_message, (uint32_t vi, int32_t status, char* text), (vi, status, text))
RECORDED(ksm7720_getHistogram_Q, (uint32_t vi, int16_t code, int16_t part, int32_t* values),
         (vi, code, part, values))
RECORDED(ksm7720_resetHistory, (uint32_t vi, int16_t code), (vi, code))
RECORDED(ksm7720_setAttribute, (uint32_t vi, int32_t attribute, int32_t value),
         (vi, attribute, value))
RECORDED(ksm7720_getAttribute_Q, (uint32_t vi, int32_t attribute, int32_t* value),
         (vi, attribute, value))
RECORDED(ksm7720_getLevel_Q, (uint32_t vi, int16_t code, int16_t which, double* levels),
         (vi, code, which, levels))
RECORDED(ksm7720_setLimit, (uint32_t vi, int16_t code, double limit), (vi, code, limit))
RECORDED(ksm7720_NVMem, (uint32_t vi, int16_t operation), (vi, operation))
RECORDED(ksm7720_setMessage, (uint32_t vi, char* text), (vi, text))
RECORDED(ksm7720_close, (uint32_t vi), (vi))
