#include "core/Snapshot.h"

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::True:
        return "true";
    case Verdict::False:
        return "false";
    default:
        return "unknown";
    }
}
