/* A VISA library that writes every call to the file that KSM7720_VISA_RECORD names, one line
   each ("viOpen" with its descriptor), and forwards it to the stand-in VISA library
   STAND_IN_VISA. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#define NOT_SUPPORTED ((int32_t)0xBFFF0067u)

static void* Forward(const char* name) {
    static void* visa;
    if (!visa)
        visa = dlopen(STAND_IN_VISA, RTLD_NOW | RTLD_LOCAL);
    return visa ? dlsym(visa, name) : NULL;
}

static void Record(const char* call, const char* extra) {
    const char* path = getenv("KSM7720_VISA_RECORD");
    FILE* log = path ? fopen(path, "a") : NULL;
    if (log) {
        fprintf(log, *extra ? "%s %s\n" : "%s\n", call, extra);
        fclose(log);
    }
}

/* An entry point that records its name with extra, then forwards all its arguments. */
#define RECORDED(name, params, args, extra)                                                        \
    int32_t name params {                                                                          \
        typedef int32_t(*Fn) params;                                                               \
        Fn fn = (Fn)Forward(#name);                                                                \
        Record(#name, extra);                                                                      \
        return fn ? fn args : NOT_SUPPORTED;                                                       \
    }

RECORDED(viOpenDefaultRM, (uint32_t * rm), (rm), "")
RECORDED(viFindRsrc, (uint32_t rm, const char* expr, uint32_t* list, uint32_t* count, char* desc),
         (rm, expr, list, count, desc), "")
RECORDED(viFindNext, (uint32_t list, char* desc), (list, desc), "")
RECORDED(viOpen, (uint32_t rm, const char* name, uint32_t mode, uint32_t timeout, uint32_t* vi),
         (rm, name, mode, timeout, vi), name ? name : "")
RECORDED(viGetAttribute, (uint32_t vi, uint32_t attr, void* value), (vi, attr, value), "")
RECORDED(viWrite, (uint32_t vi, const unsigned char* buf, uint32_t n, uint32_t* done),
         (vi, buf, n, done), "")
RECORDED(viRead, (uint32_t vi, unsigned char* buf, uint32_t n, uint32_t* done), (vi, buf, n, done),
         "")
RECORDED(viClose, (uint32_t vi), (vi), "")
