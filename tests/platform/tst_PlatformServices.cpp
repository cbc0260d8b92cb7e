// The message box recorder and the wait cursor.
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"

#include <QGuiApplication>
#include <QTest>

#include <stdexcept>

using namespace platform;

namespace {

Qt::CursorShape OverrideShape() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr ? cursor->shape() : Qt::BlankCursor;
}

bool NoOverride() {
    return QGuiApplication::overrideCursor() == nullptr;
}

} // namespace

class TestPlatformServices : public QObject {
    Q_OBJECT

private slots:
    void recorderRecordsBoxesAndBeepsInOrder() {
        QStringList seen;
        MessageBoxRecorder recorder([&](const QString& text) { seen << text; });
        SfpMessageBox(QStringLiteral("Time Out !"));
        SfpMessageBeep();
        SfpMessageBox(QStringLiteral("second"));
        QCOMPARE(recorder.Events().size(), size_t(3));
        QVERIFY(recorder.Events()[1].beep);
        QCOMPARE(recorder.Boxes(),
                 (std::vector<QString>{QStringLiteral("Time Out !"), QStringLiteral("second")}));
        QCOMPARE(recorder.Beeps(), 1);
        QCOMPARE(seen, (QStringList{QStringLiteral("Time Out !"), QStringLiteral("second")}));
        recorder.Clear();
        QVERIFY(recorder.Events().empty());
    }

    void innerRecorderHandsBackToOuter() {
        MessageBoxRecorder outer;
        {
            MessageBoxRecorder inner;
            SfpMessageBox(QStringLiteral("inner"));
            QCOMPARE(inner.Boxes().size(), size_t(1));
        }
        SfpMessageBox(QStringLiteral("outer"));
        QCOMPARE(outer.Boxes(), (std::vector<QString>{QStringLiteral("outer")}));
    }

    void waitCursorShowsAndEndsWithScope() {
        QVERIFY(NoOverride());
        {
            WaitCursor wait;
            QVERIFY(wait.IsActive());
            QCOMPARE(OverrideShape(), Qt::WaitCursor);
        }
        QVERIFY(NoOverride());
    }

    void earlyRestoreEndsOnlyOnce() {
        {
            WaitCursor outer;
            {
                WaitCursor inner;
                inner.Restore();
                QVERIFY(!inner.IsActive());
                inner.Restore();
                QCOMPARE(OverrideShape(), Qt::WaitCursor); // the outer one still stands
            }
            QCOMPARE(OverrideShape(), Qt::WaitCursor);
        }
        QVERIFY(NoOverride());
    }

    void waitCursorEndsWhenAnExceptionPasses() {
        try {
            WaitCursor wait;
            throw std::runtime_error("instrument failed");
        } catch (const std::runtime_error&) {
            QVERIFY(NoOverride());
        }
        QVERIFY(NoOverride());
    }
};

QTEST_MAIN(TestPlatformServices)
#include "tst_PlatformServices.moc"
