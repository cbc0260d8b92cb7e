#pragma once
// The hourglass while the instrument is busy. The guard ends it on every path; Restore()
// ends it early (before a message box, say) and is safe to call more than once.
namespace platform {

class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    void Restore();
    bool IsActive() const { return m_active; }

private:
    bool m_active = true;
};

} // namespace platform
