#include "driver/Refusals.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

std::mutex g_mutex;
std::map<ViSession, std::pair<ViStatus, const char*>> g_last;

} // namespace

ViStatus CRefusals::Refuse(ViSession vi, ViStatus status, const char* why) {
    std::lock_guard lock(g_mutex);
    g_last[vi] = {status, why};
    return status;
}

const char* CRefusals::Reason(ViSession vi, ViStatus status) {
    std::lock_guard lock(g_mutex);
    auto it = g_last.find(vi);
    return it != g_last.end() && it->second.first == status ? it->second.second : nullptr;
}
