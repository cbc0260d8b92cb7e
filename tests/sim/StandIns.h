#pragma once

#include "driver/ksm7720.h"
#include "visa/visa.h"

// The two stand-in libraries loaded with dlopen from the build's stand-in folder, and their
// entry points looked up by name, as the panel loads them.
struct StandIns {
    // Loaded once per test process and kept, as the panel keeps its libraries.
    static StandIns& Get();

    StandIns();
    ~StandIns();
    bool Loaded() const { return visaLib && driverLib && ok; }

    void* visaLib = nullptr;
    void* driverLib = nullptr;
    bool ok = true;

    decltype(&viOpenDefaultRM) OpenDefaultRM = nullptr;
    decltype(&viFindRsrc) FindRsrc = nullptr;
    decltype(&viFindNext) FindNext = nullptr;
    decltype(&viParseRsrcEx) ParseRsrcEx = nullptr;
    decltype(&viOpen) Open = nullptr;
    decltype(&viClose) Close = nullptr;
    decltype(&viGetAttribute) GetAttribute = nullptr;
    decltype(&viSetAttribute) SetAttribute = nullptr;
    decltype(&viStatusDesc) StatusDesc = nullptr;
    decltype(&viRead) Read = nullptr;
    decltype(&viWrite) Write = nullptr;
    decltype(&viClear) Clear = nullptr;
    decltype(&viDisableEvent) DisableEvent = nullptr;
    decltype(&viDiscardEvents) DiscardEvents = nullptr;

    decltype(&ksm7720_init) init = nullptr;
    decltype(&ksm7720_close) close = nullptr;
    decltype(&ksm7720_timeOut) timeOut = nullptr;
    decltype(&ksm7720_self_test) self_test = nullptr;
    decltype(&ksm7720_reset) reset = nullptr;
    decltype(&ksm7720_error_query) error_query = nullptr;
    decltype(&ksm7720_error_message) error_message = nullptr;
    decltype(&ksm7720_getHistogram_Q) getHistogram_Q = nullptr;
    decltype(&ksm7720_resetHistory) resetHistory = nullptr;
    decltype(&ksm7720_setAttribute) setAttribute = nullptr;
    decltype(&ksm7720_getAttribute_Q) getAttribute_Q = nullptr;
    decltype(&ksm7720_getLevel_Q) getLevel_Q = nullptr;
    decltype(&ksm7720_setLimit) setLimit = nullptr;
    decltype(&ksm7720_NVMem) NVMem = nullptr;
    decltype(&ksm7720_setMessage) setMessage = nullptr;

private:
    template <typename F> void Find(void* lib, const char* name, F& out);
};
