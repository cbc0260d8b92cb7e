#pragma once
// The export commands of a display: a context menu on it with "Copy", "Save as CSV..." and,
// for a picture, "Save as PNG...", and the desktop's copy shortcut anywhere in its form.
// Copy puts the table on the clipboard as tab-separated text. A save writes only to a file
// the operator chose in Qt's file dialog, through a temporary file that replaces the chosen
// one only when complete; a failed write says why in a message box, and nothing shown
// changes.
#include "platform/ExportTable.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QMenu;
class QWidget;

namespace platform {

class ExportMenu : public QObject {
    Q_OBJECT
public:
    // Whether the display shows values now.
    using Availability = std::function<bool()>;
    // What the display shows now, or nothing when it cannot be had.
    using TableSource = std::function<std::optional<ExportTable>()>;
    // The display's picture, for "Save as PNG..."; without one the menu has no such item.
    using ImageSource = std::function<QImage()>;

    // fileStem suggests the saved file's name. The menu and the shortcut belong to display
    // and form, and go with them.
    ExportMenu(QWidget* display, QWidget* form, QString fileStem, Availability hasValues,
               TableSource table, ImageSource image = {});

    // The context menu as it would open now.
    QMenu* BuildMenu(QWidget* parent);
    void Copy();
    void SaveCsv();
    void SavePng();

private:
    QString ChooseFile(const QString& caption, const QString& filter, const QString& suffix);

    QWidget* m_display;
    QString m_fileStem;
    Availability m_hasValues;
    TableSource m_table;
    ImageSource m_image;
};

// While alive, the save dialogs are answered by choose(suggested file name) instead of
// being shown; an empty answer cancels. For tests.
class SaveFileChooser {
public:
    explicit SaveFileChooser(std::function<QString(const QString&)> choose);
    ~SaveFileChooser();
    SaveFileChooser(const SaveFileChooser&) = delete;
    SaveFileChooser& operator=(const SaveFileChooser&) = delete;

    std::function<QString(const QString&)> m_choose;

private:
    SaveFileChooser* m_previous;
};

} // namespace platform
