#pragma once
// The program's help: a top-level, non-modal window that shows the operator's pages
// compiled into the program, with Back and Contents buttons.
#include <QUrl>
#include <QWidget>

class QPushButton;
class QTextBrowser;

// The contents page of the help.
extern const QUrl kHelpContentsUrl;

class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // Shows the contents page, brings the window to the front and activates it.
    void ShowContents();
    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
    QPushButton* m_back;
    QPushButton* m_contents;
};
