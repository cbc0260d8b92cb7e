#include "platform/ExportMenu.h"

#include "platform/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QImageWriter>
#include <QMenu>
#include <QSaveFile>
#include <QWidget>

#include <utility>

namespace platform {

namespace {

SaveFileChooser* g_chooser = nullptr; // the test seam; null in the program

// Writes path through a temporary file that takes its place only once complete. The
// reason when it fails.
std::optional<QString> WriteFile(const QString& path,
                                 const std::function<std::optional<QString>(QIODevice&)>& write) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    if (std::optional<QString> failure = write(file)) {
        file.cancelWriting();
        return failure;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return std::nullopt;
}

void ReportWriteFailure(const QString& path, const QString& reason) {
    SfpMessageBox(
        QStringLiteral("Could not save %1:\n%2").arg(QDir::toNativeSeparators(path), reason));
}

} // namespace

ExportMenu::ExportMenu(QWidget* display, QWidget* form, QString fileStem, Availability hasValues,
                       TableSource table, ImageSource image)
    : QObject(display), m_display(display), m_fileStem(std::move(fileStem)),
      m_hasValues(std::move(hasValues)), m_table(std::move(table)), m_image(std::move(image)) {
    display->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(display, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = BuildMenu(m_display);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_display->mapToGlobal(pos));
    });
    // Fields that have their own copy (the text fields) keep it: they take the shortcut
    // first while they have the focus.
    auto* copy = new QAction(form);
    copy->setShortcuts(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &ExportMenu::Copy);
    form->addAction(copy);
}

QMenu* ExportMenu::BuildMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    const bool hasValues = m_hasValues();
    QAction* copy = menu->addAction(tr("&Copy"), this, &ExportMenu::Copy);
    copy->setShortcuts(QKeySequence::Copy);
    copy->setEnabled(hasValues);
    menu->addAction(tr("Save as CS&V..."), this, &ExportMenu::SaveCsv)->setEnabled(hasValues);
    if (m_image) {
        menu->addAction(tr("Save as &PNG..."), this, &ExportMenu::SavePng);
    }
    return menu;
}

void ExportMenu::Copy() {
    if (!m_hasValues()) {
        return;
    }
    if (const std::optional<ExportTable> table = m_table()) {
        QApplication::clipboard()->setText(ToTabSeparated(*table));
    }
}

void ExportMenu::SaveCsv() {
    const std::optional<ExportTable> table =
        m_hasValues() ? m_table() : std::nullopt; // what was shown when asked
    if (!table) {
        return;
    }
    const QString path = ChooseFile(tr("Save as CSV"), tr("CSV files (*.csv)"), "csv");
    if (path.isEmpty()) {
        return;
    }
    const QByteArray bytes = ToCsv(*table).toUtf8();
    const auto failure = WriteFile(path, [&](QIODevice& file) -> std::optional<QString> {
        if (file.write(bytes) != bytes.size()) {
            return file.errorString();
        }
        return std::nullopt;
    });
    if (failure) {
        ReportWriteFailure(path, *failure);
    }
}

void ExportMenu::SavePng() {
    const QImage image = m_image ? m_image() : QImage();
    if (image.isNull()) {
        return;
    }
    const QString path = ChooseFile(tr("Save as PNG"), tr("PNG images (*.png)"), "png");
    if (path.isEmpty()) {
        return;
    }
    const auto failure = WriteFile(path, [&](QIODevice& file) -> std::optional<QString> {
        QImageWriter writer(&file, "png");
        if (!writer.write(image)) {
            return writer.errorString();
        }
        return std::nullopt;
    });
    if (failure) {
        ReportWriteFailure(path, *failure);
    }
}

QString ExportMenu::ChooseFile(const QString& caption, const QString& filter,
                               const QString& suffix) {
    const QString suggested = m_fileStem + u'.' + suffix;
    if (g_chooser != nullptr) {
        return g_chooser->m_choose(suggested);
    }
    QFileDialog dialog(m_display->window(), caption, QDir::homePath(), filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(suggested);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

SaveFileChooser::SaveFileChooser(std::function<QString(const QString&)> choose)
    : m_choose(std::move(choose)), m_previous(g_chooser) {
    g_chooser = this;
}

SaveFileChooser::~SaveFileChooser() {
    g_chooser = m_previous;
}

} // namespace platform
