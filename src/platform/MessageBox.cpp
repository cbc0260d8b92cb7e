#include "platform/MessageBox.h"

#include "resources/StringTable.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

namespace {
MessageBoxRecorder* g_recorder = nullptr; // the test seam; null in the program
}

void SfpMessageBox(const QString& text) {
    if (g_recorder != nullptr) {
        g_recorder->m_events.push_back({false, text});
        if (g_recorder->m_onBox) {
            g_recorder->m_onBox(text);
        }
        return;
    }
    QMessageBox box(QMessageBox::Warning, LoadStr(IDS_APP_TITLE), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void SfpMessageBeep() {
    if (g_recorder != nullptr) {
        g_recorder->m_events.push_back({true, {}});
        return;
    }
    QApplication::beep();
}

MessageBoxRecorder::MessageBoxRecorder(std::function<void(const QString&)> onBox)
    : m_onBox(std::move(onBox)), m_previous(g_recorder) {
    g_recorder = this;
}

MessageBoxRecorder::~MessageBoxRecorder() {
    g_recorder = m_previous;
}

std::vector<QString> MessageBoxRecorder::Boxes() const {
    std::vector<QString> boxes;
    for (const Event& e : m_events) {
        if (!e.beep) {
            boxes.push_back(e.text);
        }
    }
    return boxes;
}

int MessageBoxRecorder::Beeps() const {
    int n = 0;
    for (const Event& e : m_events) {
        n += e.beep ? 1 : 0;
    }
    return n;
}

} // namespace platform
