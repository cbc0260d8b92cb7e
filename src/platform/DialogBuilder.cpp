#include "platform/DialogBuilder.h"

#include "resources/Bitmaps.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

constexpr char kIdProperty[] = "sfpControlId";
constexpr int kIconSize = 32;

// a * b / c rounded half away from zero, as the original platform's MulDiv.
int MulDiv(int a, int b, int c) {
    const long long n = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(n >= 0 ? (n + half) / c : (n - half) / c);
}

QLabel* MakeLabel(const char* caption, Qt::Alignment horizontal, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setAlignment(horizontal | Qt::AlignTop);
    label->setWordWrap(true); // static texts break at blanks, as the originals did
    return label;
}

QComboBox* MakeCombo(const ControlTemplate& c, bool editable, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(editable);
    if (editable) {
        combo->setInsertPolicy(QComboBox::NoInsert);
    }
    for (const char* item : c.items) {
        combo->addItem(QString::fromLatin1(item));
    }
    return combo;
}

QWidget* MakeControl(const ControlTemplate& c, QWidget* parent) {
    const QString caption = QString::fromLatin1(c.caption != nullptr ? c.caption : "");
    switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::OwnerDraw:
        return new QPushButton(caption, parent);
    case ControlKind::DefPushButton: {
        auto* button = new QPushButton(caption, parent);
        button->setDefault(true);
        return button;
    }
    case ControlKind::AutoRadio:
        return new QRadioButton(caption, parent);
    case ControlKind::GroupBox: {
        auto* box = new QGroupBox(caption, parent);
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        return box;
    }
    case ControlKind::LText:
        return MakeLabel(c.caption, Qt::AlignLeft, parent);
    case ControlKind::CText:
        return MakeLabel(c.caption, Qt::AlignHCenter, parent);
    case ControlKind::RText:
        return MakeLabel(c.caption, Qt::AlignRight, parent);
    case ControlKind::Static:
    case ControlKind::Frame: {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::NoFrame | QFrame::Plain);
        return frame;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(caption, parent);
        edit->setFrame((c.style & kBorder) != 0);
        return edit;
    }
    case ControlKind::DropList:
        return MakeCombo(c, false, parent);
    case ControlKind::DropDown:
        return MakeCombo(c, true, parent);
    case ControlKind::Icon: {
        auto* icon = new QLabel(parent);
        icon->setPixmap(AppIcon().pixmap(kIconSize, kIconSize));
        return icon;
    }
    }
    return new QWidget(parent);
}

// The control's pixel rectangle. A combo box's template height includes its open list,
// so the closed box keeps its natural height; an icon takes the icon's own size.
QRect ControlRect(const ControlTemplate& c, const QWidget* w, const DialogUnits& units) {
    QRect r = units.ToPixels(c.x, c.y, c.cx, c.cy);
    if (c.kind == ControlKind::DropList || c.kind == ControlKind::DropDown) {
        r.setHeight(std::min(w->sizeHint().height(), r.height()));
    } else if (c.kind == ControlKind::Icon) {
        r.setSize({kIconSize, kIconSize});
    }
    return r;
}

// A combo box's template height is the closed box and its open list together: the list
// shows as many rows as fit in the rest, at least one.
void FitOpenList(QComboBox* combo, int templateHeight) {
    const int rowHeight = std::max(1, combo->fontMetrics().height());
    combo->setMaxVisibleItems(std::max(1, (templateHeight - combo->height()) / rowHeight));
}

// The top-left corner of a window's client area on the screen: below a main window's
// menu bar, where its central widget starts.
QPoint ClientOrigin(const QWidget* window) {
    if (const auto* frame = qobject_cast<const QMainWindow*>(window)) {
        if (const QWidget* client = frame->centralWidget()) {
            return client->mapToGlobal(QPoint(0, 0));
        }
    }
    return window->mapToGlobal(QPoint(0, 0));
}

// A modal dialog stands at its template position, in dialog units from the top-left corner
// of its owner's client area. A centred one, or one without a visible owner (during
// start-up), is left to Qt, which centres it.
void PlaceOverOwner(QWidget* dialog, const DialogTemplate& tmpl, const DialogUnits& units) {
    const QWidget* owner = dialog->parentWidget();
    if (tmpl.centred || owner == nullptr || !owner->window()->isVisible()) {
        return;
    }
    dialog->move(ClientOrigin(owner->window()) + QPoint(units.X(tmpl.x), units.Y(tmpl.y)));
}

bool IsField(ControlKind kind) {
    return kind == ControlKind::Edit || kind == ControlKind::DropList ||
           kind == ControlKind::DropDown;
}

bool IsStaticText(ControlKind kind) {
    return kind == ControlKind::LText || kind == ControlKind::CText || kind == ControlKind::RText;
}

// The height of a field's closed box, in dialog units: a combo box's template height
// includes its open list.
constexpr int kFieldRowHeight = 14;

// The static text that names a field: the nearest one to its left on its row.
const ControlTemplate* TextBeside(std::span<const ControlTemplate> controls,
                                  const ControlTemplate& field) {
    const ControlTemplate* best = nullptr;
    for (const ControlTemplate& c : controls) {
        const int middle = c.y + c.cy / 2;
        const bool onRow = middle >= field.y && middle < field.y + kFieldRowHeight;
        if (IsStaticText(c.kind) && onRow && c.x + c.cx <= field.x &&
            (best == nullptr || c.x + c.cx > best->x + best->cx)) {
            best = &c;
        }
    }
    return best;
}

// The captioned group box around a field's top-left corner, the innermost one.
const ControlTemplate* GroupAround(std::span<const ControlTemplate> controls,
                                   const ControlTemplate& field) {
    const ControlTemplate* best = nullptr;
    for (const ControlTemplate& c : controls) {
        const bool around =
            field.x >= c.x && field.x < c.x + c.cx && field.y >= c.y && field.y < c.y + c.cy;
        if (c.kind == ControlKind::GroupBox && c.caption != nullptr && *c.caption != '\0' &&
            around && (best == nullptr || c.cx * c.cy < best->cx * best->cy)) {
            best = &c;
        }
    }
    return best;
}

// Every field is labelled for assistive technologies by the static text beside it, or
// else by the caption of its group box (through a hidden label, since Qt relates a
// field to its label only through a label's buddy).
void LabelFields(QWidget* dialog, std::span<const ControlTemplate> controls,
                 const std::vector<QWidget*>& widgets) {
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (!IsField(controls[i].kind)) {
            continue;
        }
        QLabel* label = nullptr;
        if (const ControlTemplate* text = TextBeside(controls, controls[i])) {
            label =
                qobject_cast<QLabel*>(widgets[static_cast<std::size_t>(text - controls.data())]);
        } else if (const ControlTemplate* group = GroupAround(controls, controls[i])) {
            label = new QLabel(QString::fromLatin1(group->caption), dialog);
            label->hide();
        }
        if (label != nullptr) {
            label->setBuddy(widgets[i]);
        }
    }
}

void ApplyDialogFrame(QWidget* dialog, const DialogTemplate& tmpl, const DialogUnits& units) {
    const QSize size(units.X(tmpl.cx), units.Y(tmpl.cy));
    if (tmpl.kind == DialogKind::ChildForm) {
        dialog->setWindowFlags(Qt::Widget);
        dialog->resize(size);
        return;
    }
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (tmpl.systemMenu) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    dialog->setWindowFlags(flags);
    dialog->setWindowTitle(QString::fromLatin1(tmpl.title != nullptr ? tmpl.title : ""));
    dialog->setFixedSize(size);
    PlaceOverOwner(dialog, tmpl, units);
}

} // namespace

int DialogUnits::X(int du) const {
    return MulDiv(du, baseX, 4);
}

int DialogUnits::Y(int du) const {
    return MulDiv(du, baseY, 8);
}

QRect DialogUnits::ToPixels(int x, int y, int cx, int cy) const {
    return {X(x), Y(y), X(cx), Y(cy)};
}

QFont DialogFont() {
    const QStringList families = QFontDatabase::families();
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setFamily(QStringLiteral("Sans Serif"));
    for (const char* preferred : {"Liberation Sans", "Arial"}) {
        if (families.contains(QLatin1String(preferred), Qt::CaseInsensitive)) {
            font.setFamily(QLatin1String(preferred));
            break;
        }
    }
    font.setPointSize(8);
    return font;
}

DialogUnits DialogUnitsOf(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width + 26) / 52, fm.height()};
}

void BuildDialog(QWidget* dialog, const DialogTemplate& tmpl) {
    dialog->setFont(DialogFont());
    const DialogUnits units = DialogUnitsOf(dialog->font());
    ApplyDialogFrame(dialog, tmpl, units);
    std::vector<QWidget*> widgets;
    for (const ControlTemplate& c : tmpl.controls) {
        QWidget* w = MakeControl(c, dialog);
        widgets.push_back(w);
        w->setProperty(kIdProperty, c.id);
        w->setGeometry(ControlRect(c, w, units));
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            FitOpenList(combo, units.Y(c.cy));
        }
        if ((c.style & kDisabled) != 0) {
            w->setEnabled(false);
        }
        if ((c.style & kHidden) != 0) {
            w->hide();
        }
    }
    // Lowered last first, so overlapping group boxes keep their template order.
    const QList<QGroupBox*> boxes = dialog->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
    std::for_each(boxes.rbegin(), boxes.rend(), [](QGroupBox* box) { box->lower(); });
    LabelFields(dialog, tmpl.controls, widgets);
}

int DlgCtrlId(const QWidget* control) {
    const QVariant id = control != nullptr ? control->property(kIdProperty) : QVariant();
    return id.isValid() ? id.toInt() : kNoId;
}

QWidget* DlgItem(const QWidget* dialog, int id) {
    if (dialog == nullptr || id == kNoId) {
        return nullptr;
    }
    for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (DlgCtrlId(w) == id) {
            return w;
        }
    }
    return nullptr;
}

void ReplaceDlgItem(QWidget* dialog, int id, QWidget* replacement) {
    QWidget* old = DlgItem(dialog, id);
    if (replacement == nullptr || old == replacement) {
        return;
    }
    replacement->setParent(dialog);
    replacement->setProperty(kIdProperty, id);
    if (old == nullptr) {
        replacement->hide(); // owned by the dialog and never shown
        return;
    }
    replacement->setGeometry(old->geometry());
    replacement->setEnabled(old->isEnabledTo(dialog));
    replacement->setVisible(!old->isHidden());
    replacement->stackUnder(old);
    // Qt orders only focusable widgets; the original is deleted next, so it may
    // take focus for the moment it hands over its place.
    old->setFocusPolicy(Qt::TabFocus);
    QWidget::setTabOrder(old, replacement);
    delete old;
}

} // namespace platform
