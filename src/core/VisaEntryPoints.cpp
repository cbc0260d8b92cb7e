#include "core/VisaEntryPoints.h"

namespace visa {

namespace {
template <class Fn> bool Find(platform::LibraryHandle library, const char* name, Fn& out) {
    out = platform::GetProc<Fn>(library, name);
    return out != nullptr;
}
} // namespace

bool LookUpVisaEntryPoints(platform::LibraryHandle library, VisaEntryPoints& table) {
    return Find(library, "viOpenDefaultRM", table.openDefaultRM) &&
           Find(library, "viFindRsrc", table.findRsrc) &&
           Find(library, "viFindNext", table.findNext) && Find(library, "viOpen", table.open) &&
           Find(library, "viGetAttribute", table.getAttribute) &&
           Find(library, "viWrite", table.write) && Find(library, "viRead", table.read) &&
           Find(library, "viClose", table.close);
}

} // namespace visa
