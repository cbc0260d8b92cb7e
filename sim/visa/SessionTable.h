#pragma once

#include "visa/InstrSession.h"
#include "visa/visa.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Every object the library has handed out: resource managers, find lists and INSTR
// sessions, by handle. Handles are never reused within a process. Callers get shared
// references, so closing a session on one thread cannot pull it from under a call that
// another thread is making on it. The table itself is never destroyed: when the library
// unloads (or the process exits) every object still open is closed, and a call that comes
// later finds its handle closed.
class CSessionTable {
public:
    struct FindList {
        std::vector<std::string> names;
        size_t next = 1; // the first name went back with viFindRsrc
        std::mutex mutex;
    };
    struct Object {
        ViSession manager = VI_NULL; // the owning resource manager; VI_NULL for a manager
        std::string benchPath;       // managers only
        std::shared_ptr<FindList> find;
        std::shared_ptr<CInstrSession> instr;
    };

    static CSessionTable& Instance();

    ViObject Add(Object object);
    // A copy of the object, or nothing for a handle that is not open.
    std::optional<Object> Get(ViObject handle);
    // Closes the object and, for a manager, everything opened through it.
    bool Close(ViObject handle);
    // Closes every object.
    void CloseAll();

private:
    std::mutex m_mutex;
    std::map<ViObject, Object> m_objects;
    ViObject m_next = 1;
};
