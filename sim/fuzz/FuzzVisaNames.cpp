// libFuzzer entry point; built by scripts/fuzz.sh.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzVisaNames(data, size);
    return 0;
}
