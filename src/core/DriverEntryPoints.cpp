#include "core/DriverEntryPoints.h"

#include "core/InstrumentException.h"

namespace ksm7720 {

namespace {
template <class Fn> void Find(platform::LibraryHandle library, const char* name, Fn& out) {
    out = platform::GetProc<Fn>(library, name);
    if (out == nullptr) {
        throw CInstrumentException();
    }
}
} // namespace

DriverEntryPoints LookUpDriverEntryPoints(platform::LibraryHandle library) {
    DriverEntryPoints t;
    Find(library, "ksm7720_self_test", t.self_test);
    Find(library, "ksm7720_reset", t.reset);
    Find(library, "ksm7720_error_query", t.error_query);
    Find(library, "ksm7720_error_message", t.error_message);
    Find(library, "ksm7720_getHistogram_Q", t.getHistogram_Q);
    Find(library, "ksm7720_resetHistory", t.resetHistory);
    Find(library, "ksm7720_setAttribute", t.setAttribute);
    Find(library, "ksm7720_getAttribute_Q", t.getAttribute_Q);
    Find(library, "ksm7720_getLevel_Q", t.getLevel_Q);
    Find(library, "ksm7720_setLimit", t.setLimit);
    Find(library, "ksm7720_NVMem", t.NVMem);
    Find(library, "ksm7720_setMessage", t.setMessage);
    return t;
}

} // namespace ksm7720
