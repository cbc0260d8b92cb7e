// Dialog units, and widgets built from a template: kinds, ids, geometry, state, order.
#include "platform/DialogBuilder.h"

#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <array>

using namespace platform;

namespace {

constexpr std::array<const char*, 3> kItems = {"BLOWER", "ALPHA", "CURRENT"};

constexpr std::array<ControlTemplate, 14> kControls = {{
    {kNoId, ControlKind::GroupBox, "Type", 5, 5, 100, 60},
    {101, ControlKind::AutoRadio, "Temp", 10, 15, 40, 10, kTabStop | kGroup},
    {102, ControlKind::DefPushButton, "Take Reading", 120, 5, 60, 14},
    {103, ControlKind::PushButton, "Setup ...", 120, 25, 60, 14, kDisabled},
    {104, ControlKind::LText, "Left", 10, 70, 40, 8, kHidden},
    {105, ControlKind::CText, "Centre", 60, 70, 40, 8},
    {106, ControlKind::RText, "Right", 110, 70, 40, 8},
    {107, ControlKind::Edit, "", 10, 85, 60, 14, kBorder | kAutoHScroll},
    {108, ControlKind::DropList, nullptr, 80, 85, 60, 60, kVScroll, kItems},
    {109, ControlKind::DropDown, nullptr, 150, 85, 60, 50, kVScroll, kItems},
    {110, ControlKind::Static, nullptr, 10, 105, 40, 10},
    {111, ControlKind::Frame, nullptr, 60, 105, 40, 10, kHidden},
    {112, ControlKind::OwnerDraw, nullptr, 110, 105, 16, 12},
    {113, ControlKind::Icon, nullptr, 150, 105, 20, 20},
}};

constexpr DialogTemplate kModal{200,  DialogKind::Modal, "Histogram Setup", 0, 0, 220, 130,
                                true, kControls};
constexpr DialogTemplate kForm{201,      DialogKind::ChildForm, nullptr, 0, 0, 220, 130, false,
                               kControls};

constexpr std::array<ControlTemplate, 3> kRow = {{
    {1, ControlKind::PushButton, "One", 0, 0, 40, 14},
    {2, ControlKind::Static, nullptr, 50, 0, 40, 14, kHidden | kDisabled},
    {3, ControlKind::PushButton, "Three", 100, 0, 40, 14},
}};
constexpr DialogTemplate kRowForm{202, DialogKind::ChildForm, nullptr, 0, 0, 150, 20, false, kRow};

// The dialog's direct children that Tab visits, in focus-chain order.
QList<QWidget*> TabOrder(QWidget* dialog) {
    QList<QWidget*> order;
    for (QWidget* w = dialog->nextInFocusChain(); w != dialog; w = w->nextInFocusChain()) {
        if (w->parentWidget() == dialog && (w->focusPolicy() & Qt::TabFocus) != 0) {
            order.append(w);
        }
    }
    return order;
}

QRect TemplateRect(const QWidget* dialog, const ControlTemplate& c) {
    return DialogUnitsOf(dialog->font()).ToPixels(c.x, c.y, c.cx, c.cy);
}

} // namespace

class TestDialogBuilder : public QObject {
    Q_OBJECT

private slots:
    void dialogUnitsRoundHalfAwayFromZero() {
        const DialogUnits u{6, 13};
        QCOMPARE(u.X(4), 6);
        QCOMPARE(u.X(1), 2);   // 1.5
        QCOMPARE(u.X(3), 5);   // 4.5
        QCOMPARE(u.X(-1), -2); // -1.5
        QCOMPARE(u.Y(8), 13);
        QCOMPARE(u.Y(1), 2); // 1.625
        QCOMPARE(u.Y(4), 7); // 6.5
        QCOMPARE(u.Y(3), 5); // 4.875
        QCOMPARE(u.ToPixels(34, 22, 232, 92), QRect(51, 36, 348, 150));
    }

    void dialogUnitsComeFromFontMetrics() {
        // In a monospaced font the average letter is every letter.
        QFont mono(QStringLiteral("DejaVu Sans Mono"));
        mono.setPixelSize(13);
        const QFontMetricsF fm(mono);
        const DialogUnits u = DialogUnitsOf(mono);
        QCOMPARE(u.baseX, qRound(fm.horizontalAdvance(QLatin1Char('x'))));
        QCOMPARE(u.baseY, QFontMetrics(mono).height());

        const QFont dialogFont = DialogFont();
        QCOMPARE(dialogFont.pointSize(), 8);
        QVERIFY(!QFontInfo(dialogFont).fixedPitch());
    }

    void buildsEveryKindWithIdAndGeometry() {
        QDialog dialog;
        BuildDialog(&dialog, kModal);
        QVERIFY(DlgItemAs<QRadioButton>(&dialog, 101));
        QVERIFY(DlgItemAs<QPushButton>(&dialog, 102)->isDefault());
        QVERIFY(!DlgItemAs<QPushButton>(&dialog, 103)->isDefault());
        QCOMPARE(DlgItemAs<QLabel>(&dialog, 104)->alignment(), Qt::AlignLeft | Qt::AlignTop);
        QCOMPARE(DlgItemAs<QLabel>(&dialog, 105)->alignment(), Qt::AlignHCenter | Qt::AlignTop);
        QCOMPARE(DlgItemAs<QLabel>(&dialog, 106)->alignment(), Qt::AlignRight | Qt::AlignTop);
        QVERIFY(DlgItemAs<QLineEdit>(&dialog, 107)->hasFrame());
        QCOMPARE(DlgItemAs<QFrame>(&dialog, 110)->frameShape(), QFrame::NoFrame);
        QVERIFY(DlgItemAs<QFrame>(&dialog, 111));
        QVERIFY(DlgItemAs<QPushButton>(&dialog, 112));
        QVERIFY(!DlgItemAs<QLabel>(&dialog, 113)->pixmap().isNull());
        QVERIFY(DlgItem(&dialog, 999) == nullptr);
        QVERIFY(DlgItem(&dialog, kNoId) == nullptr);
        QCOMPARE(DlgCtrlId(DlgItem(&dialog, 105)), 105);
        QVERIFY(DlgItem(&dialog, 104)->isHidden() && DlgItem(&dialog, 111)->isHidden());
        QVERIFY(!DlgItem(&dialog, 105)->isHidden());
        QVERIFY(!DlgItem(&dialog, 103)->isEnabled() && DlgItem(&dialog, 102)->isEnabled());

        for (int id : {101, 102, 104, 107}) {
            QCOMPARE(DlgItem(&dialog, id)->geometry(), TemplateRect(&dialog, kControls[id - 100]));
        }
    }

    void combosKeepTemplateItemsAndClosedHeight() {
        QDialog dialog;
        BuildDialog(&dialog, kModal);
        auto* list = DlgItemAs<QComboBox>(&dialog, 108);
        auto* combo = DlgItemAs<QComboBox>(&dialog, 109);
        QVERIFY(!list->isEditable());
        QVERIFY(combo->isEditable());
        QCOMPARE(combo->insertPolicy(), QComboBox::NoInsert);
        for (QComboBox* box : {list, combo}) {
            QCOMPARE(box->count(), 3);
            QCOMPARE(box->itemText(0), QStringLiteral("BLOWER"));
            QCOMPARE(box->itemText(1), QStringLiteral("ALPHA"));
            QCOMPARE(box->itemText(2), QStringLiteral("CURRENT"));
        }
        const QRect full = TemplateRect(&dialog, kControls[8]);
        QCOMPARE(list->height(), std::min(list->sizeHint().height(), full.height()));
        QVERIFY(list->height() < full.height());
        QCOMPARE(list->pos(), full.topLeft());
        // The rest of the template height is the open list: as many rows as fit there.
        const int rows = (full.height() - list->height()) / list->fontMetrics().height();
        QVERIFY(rows >= 1 && rows < 10);
        QCOMPARE(list->maxVisibleItems(), rows);
        QCOMPARE(list->width(), full.width());
    }

    void modalAndChildFormFrames() {
        QDialog modal;
        BuildDialog(&modal, kModal);
        const DialogUnits u = DialogUnitsOf(modal.font());
        QCOMPARE(modal.windowTitle(), QStringLiteral("Histogram Setup"));
        QCOMPARE(modal.minimumSize(), QSize(u.X(220), u.Y(130)));
        QCOMPARE(modal.maximumSize(), modal.minimumSize());
        QCOMPARE(modal.font().pointSize(), 8);

        QWidget parent;
        QDialog form(&parent);
        BuildDialog(&form, kForm);
        QVERIFY(!form.isWindow());
        QVERIFY(form.windowTitle().isEmpty());
        QCOMPARE(form.size(), QSize(u.X(220), u.Y(130)));
    }

    void tabOrderIsTemplateOrder() {
        QDialog dialog;
        BuildDialog(&dialog, kModal);
        QList<QWidget*> expected;
        for (const ControlTemplate& c : kControls) {
            QWidget* w = DlgItem(&dialog, c.id);
            if (w != nullptr && (w->focusPolicy() & Qt::TabFocus) != 0) {
                expected.append(w);
            }
        }
        QCOMPARE(expected.size(), 7); // radio, 3 buttons, edit, 2 combos
        QCOMPARE(TabOrder(&dialog), expected);
    }

    void groupBoxLiesUnderAndLetsClicksThrough() {
        QDialog dialog;
        BuildDialog(&dialog, kModal);
        auto* box = dialog.findChild<QGroupBox*>();
        QVERIFY(box->testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(dialog.children().first(), box); // lowest in the stacking order
        auto* radio = DlgItem(&dialog, 101);
        QCOMPARE(dialog.childAt(radio->geometry().center()), radio);
        const QPoint empty = box->geometry().bottomRight() - QPoint(4, 4);
        QVERIFY(dialog.childAt(empty) == nullptr);
    }

    void replacementTakesThePlaceOfTheControl() {
        QWidget parent;
        QDialog form(&parent);
        BuildDialog(&form, kRowForm);
        form.show();
        QPointer<QWidget> old = DlgItem(&form, 2);
        const QRect geometry = old->geometry();
        auto* replacement = new QPushButton(QStringLiteral("Lamp"));
        ReplaceDlgItem(&form, 2, replacement);

        QVERIFY(old.isNull());
        QCOMPARE(DlgItem(&form, 2), replacement);
        QCOMPARE(replacement->parentWidget(), &form);
        QCOMPARE(replacement->geometry(), geometry);
        QVERIFY(replacement->isHidden());
        QVERIFY(!replacement->isEnabled());
        QWidget* one = DlgItem(&form, 1);
        QWidget* three = DlgItem(&form, 3);
        QCOMPARE(TabOrder(&form), (QList<QWidget*>{one, replacement, three}));
        const QObjectList stack = form.children();
        QVERIFY(stack.indexOf(one) < stack.indexOf(replacement));
        QVERIFY(stack.indexOf(replacement) < stack.indexOf(three));
    }

    void visibleReplacementStaysVisible() {
        QWidget parent;
        QDialog form(&parent);
        BuildDialog(&form, kRowForm);
        parent.show();
        auto* replacement = new QLabel;
        ReplaceDlgItem(&form, 3, replacement);
        QVERIFY(replacement->isVisible());
        QVERIFY(replacement->isEnabled());
        QCOMPARE(TabOrder(&form), (QList<QWidget*>{DlgItem(&form, 1)}));
    }

    void replacingMissingIdOnlyAdoptsTheWidget() {
        QDialog form;
        BuildDialog(&form, kRowForm);
        QPointer<QLabel> replacement = new QLabel;
        ReplaceDlgItem(&form, 77, replacement);
        QCOMPARE(replacement->parentWidget(), &form);
        QVERIFY(replacement->isHidden());
        QVERIFY(DlgItem(&form, 1) != nullptr);
        QVERIFY(DlgItem(&form, 3) != nullptr);
    }
};

QTEST_MAIN(TestDialogBuilder)
#include "tst_DialogBuilder.moc"
