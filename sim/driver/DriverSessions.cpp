#include "driver/DriverSessions.h"

#include "common/Immortal.h"
#include "driver/Refusals.h"

#include <map>
#include <mutex>

namespace {

struct Sessions {
    std::mutex mutex;
    std::map<ViSession, ViSession> managers; // session -> its resource manager
};

Sessions& Open() {
    static CImmortal<Sessions> sessions;
    return *sessions;
}

struct CloseAllAtUnload {
    ~CloseAllAtUnload() { CDriverSessions::CloseAll(); }
} g_closeAllAtUnload;

} // namespace

void CDriverSessions::Add(ViSession vi, ViSession rm) {
    std::lock_guard lock(Open().mutex);
    Open().managers.emplace(vi, rm);
}

// The entry leaves the list before VISA closes anything, so two threads closing the same
// session cannot both close it.
ViStatus CDriverSessions::Close(ViSession vi) {
    ViSession rm = VI_NULL;
    {
        std::lock_guard lock(Open().mutex);
        auto it = Open().managers.find(vi);
        if (it == Open().managers.end())
            return VI_ERROR_INV_OBJECT;
        rm = it->second;
        Open().managers.erase(it);
    }
    CRefusals::Forget(vi);
    ViStatus status = viClose(vi);
    ViStatus managerStatus = viClose(rm);
    return status < VI_SUCCESS ? status : managerStatus;
}

void CDriverSessions::CloseAll() {
    for (;;) {
        ViSession vi = VI_NULL;
        {
            std::lock_guard lock(Open().mutex);
            if (Open().managers.empty())
                return;
            vi = Open().managers.begin()->first;
        }
        Close(vi);
    }
}
