#pragma once
// The About box (dialog 100): the program's name, version and what it requires.
#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent);
};
