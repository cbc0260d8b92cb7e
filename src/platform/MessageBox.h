#pragma once
// The program's one message box: a warning icon, an OK button and the program's title
// (string 57344) as caption, modal to the active window. Tests install a
// MessageBoxRecorder so boxes and beeps are recorded instead of shown.
#include <QString>

#include <functional>
#include <vector>

namespace platform {

void SfpMessageBox(const QString& text);
void SfpMessageBeep();

class MessageBoxRecorder {
public:
    // While alive, boxes and beeps are recorded here; onBox (optional) runs in place of
    // the box's own message loop, so a test can act while a box "is open".
    explicit MessageBoxRecorder(std::function<void(const QString&)> onBox = {});
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    struct Event {
        bool beep;    // a beep, or else a box
        QString text; // the box's text
    };
    const std::vector<Event>& Events() const { return m_events; }
    std::vector<QString> Boxes() const;
    int Beeps() const;
    void Clear() { m_events.clear(); }

private:
    friend void SfpMessageBox(const QString& text);
    friend void SfpMessageBeep();

    std::function<void(const QString&)> m_onBox;
    std::vector<Event> m_events;
    MessageBoxRecorder* m_previous;
};

} // namespace platform
