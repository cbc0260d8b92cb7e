#include "StandIns.h"

#include <dlfcn.h>

#include <string>

template <typename F> void StandIns::Find(void* lib, const char* name, F& out) {
    out = lib ? reinterpret_cast<F>(::dlsym(lib, name)) : nullptr;
    ok = ok && out;
}

StandIns& StandIns::Get() {
    static StandIns instance;
    return instance;
}

StandIns::StandIns() {
    std::string dir = STANDIN_DIR;
    visaLib = ::dlopen((dir + "/libvisa.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    driverLib = ::dlopen((dir + "/libksm7720_32.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    Find(visaLib, "viOpenDefaultRM", OpenDefaultRM);
    Find(visaLib, "viFindRsrc", FindRsrc);
    Find(visaLib, "viFindNext", FindNext);
    Find(visaLib, "viParseRsrcEx", ParseRsrcEx);
    Find(visaLib, "viOpen", Open);
    Find(visaLib, "viClose", Close);
    Find(visaLib, "viGetAttribute", GetAttribute);
    Find(visaLib, "viSetAttribute", SetAttribute);
    Find(visaLib, "viStatusDesc", StatusDesc);
    Find(visaLib, "viRead", Read);
    Find(visaLib, "viWrite", Write);
    Find(visaLib, "viClear", Clear);
    Find(visaLib, "viDisableEvent", DisableEvent);
    Find(visaLib, "viDiscardEvents", DiscardEvents);
    Find(driverLib, "ksm7720_init", init);
    Find(driverLib, "ksm7720_close", close);
    Find(driverLib, "ksm7720_timeOut", timeOut);
    Find(driverLib, "ksm7720_self_test", self_test);
    Find(driverLib, "ksm7720_reset", reset);
    Find(driverLib, "ksm7720_error_query", error_query);
    Find(driverLib, "ksm7720_error_message", error_message);
    Find(driverLib, "ksm7720_getHistogram_Q", getHistogram_Q);
    Find(driverLib, "ksm7720_resetHistory", resetHistory);
    Find(driverLib, "ksm7720_setAttribute", setAttribute);
    Find(driverLib, "ksm7720_getAttribute_Q", getAttribute_Q);
    Find(driverLib, "ksm7720_getLevel_Q", getLevel_Q);
    Find(driverLib, "ksm7720_setLimit", setLimit);
    Find(driverLib, "ksm7720_NVMem", NVMem);
    Find(driverLib, "ksm7720_setMessage", setMessage);
}

StandIns::~StandIns() {
    if (driverLib)
        ::dlclose(driverLib);
    if (visaLib)
        ::dlclose(visaLib);
}
