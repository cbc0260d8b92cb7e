#include "driver/Refusals.h"

#include "common/Immortal.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

struct Store {
    std::mutex mutex;
    std::map<ViSession, std::pair<ViStatus, const char*>> last;
};

Store& Last() {
    static CImmortal<Store> store;
    return *store;
}

// The reasons point into the library's text, which goes with it.
struct ForgetAllAtUnload {
    ~ForgetAllAtUnload() {
        std::lock_guard lock(Last().mutex);
        Last().last.clear();
    }
} g_forgetAllAtUnload;

} // namespace

ViStatus CRefusals::Refuse(ViSession vi, ViStatus status, const char* why) {
    std::lock_guard lock(Last().mutex);
    Last().last[vi] = {status, why};
    return status;
}

const char* CRefusals::Reason(ViSession vi, ViStatus status) {
    std::lock_guard lock(Last().mutex);
    auto it = Last().last.find(vi);
    return it != Last().last.end() && it->second.first == status ? it->second.second : nullptr;
}

void CRefusals::Forget(ViSession vi) {
    std::lock_guard lock(Last().mutex);
    Last().last.erase(vi);
}
