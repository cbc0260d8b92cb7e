// The program's help: the window Help Contents opens and reuses, the pages and their
// links, the messages page, and the window closing with the frame.
#include "AppFixture.h"
#include "app/CommandIds.h"
#include "app/HelpWindow.h"
#include "app/InfoOptions.h"
#include "resources/StringTable.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QtTest>

namespace {

CHelpWindow* FindHelpWindow() {
    CHelpWindow* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* help = qobject_cast<CHelpWindow*>(w)) {
            if (found != nullptr) {
                return nullptr; // more than one: not what any caller expects
            }
            found = help;
        }
    }
    return found;
}

QString ReadPage(const QString& name) {
    QFile file(QStringLiteral(":/help/") + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The page as the operator sees it: the plain text of the page rendered in the browser.
QString RenderedText(const QString& name) {
    CHelpWindow window;
    window.Browser()->setSource(QUrl(QStringLiteral("qrc:/help/") + name));
    return window.Browser()->document()->toPlainText();
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    void helpContentsOpensTheContents();
    void secondHelpContentsReusesTheWindow();
    void everyLinkResolves();
    void messagesPageQuotesEveryMessage();
    void switchesAreExplained();
    void closingTheFrameClosesHelp();
    void escapeAndCloseKeysCloseHelp();
    void infoOptionOnlyAsAWholeArgument();
};

void TestHelp::helpContentsOpensTheContents() {
    AppFixture fx;
    QVERIFY(FindHelpWindow() == nullptr);
    fx.Command(ID_HELP_CONTENTS);
    CHelpWindow* help = FindHelpWindow();
    QVERIFY(help != nullptr);
    QVERIFY(help->isVisible());
    QVERIFY(help->isWindow());
    QCOMPARE(help->windowModality(), Qt::NonModal);
    QCOMPARE(help->windowTitle(), QStringLiteral("KS M7720 Soft Front Panel Help"));
    QCOMPARE(help->Browser()->source(), kHelpContentsUrl);
    QVERIFY(help->Browser()->toPlainText().contains(QStringLiteral("Contents")));
    QVERIFY(fx.boxes.Events().empty());
}

void TestHelp::secondHelpContentsReusesTheWindow() {
    AppFixture fx;
    fx.Command(ID_HELP_CONTENTS);
    QPointer<CHelpWindow> first = FindHelpWindow();
    QVERIFY(first);
    first->Browser()->setSource(QUrl(QStringLiteral("qrc:/help/messages.html")));
    first->hide();

    fx.Command(ID_HELP_CONTENTS);
    QCOMPARE(FindHelpWindow(), first.data());
    QVERIFY(first->isVisible());
    QCOMPARE(first->Browser()->source(), kHelpContentsUrl);
    // Back still leads to where the operator was.
    first->Browser()->backward();
    QCOMPARE(first->Browser()->source(), QUrl(QStringLiteral("qrc:/help/messages.html")));
}

void TestHelp::everyLinkResolves() {
    const QStringList pages = QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")});
    QVERIFY(pages.contains(QStringLiteral("index.html")));
    QVERIFY(pages.size() >= 8);
    static const QRegularExpression refs(QStringLiteral(R"((href|src)="([^"]*)\")"));
    QSet<QString> reached{QStringLiteral("index.html")};
    for (const QString& page : pages) {
        const QString html = ReadPage(page);
        QVERIFY2(!html.isEmpty(), qPrintable(page));
        for (const QRegularExpressionMatch& m : refs.globalMatch(html)) {
            const QString target = m.captured(2);
            const QString where = page + QStringLiteral(" -> ") + target;
            QVERIFY2(!target.contains(QLatin1Char(':')), qPrintable(where)); // nothing outside
            const QString file = target.section(QLatin1Char('#'), 0, 0);
            const QString anchor = target.section(QLatin1Char('#'), 1);
            const QString targetHtml = file.isEmpty() ? html : ReadPage(file);
            QVERIFY2(QFile::exists(QStringLiteral(":/help/") + file) || file.isEmpty(),
                     qPrintable(where));
            if (!anchor.isEmpty()) {
                QVERIFY2(targetHtml.contains(QStringLiteral("id=\"%1\"").arg(anchor)),
                         qPrintable(where));
            }
            reached.insert(file);
        }
    }
    for (const QString& page : pages) {
        QVERIFY2(reached.contains(page), qPrintable(page + QStringLiteral(" is linked nowhere")));
    }
}

void TestHelp::messagesPageQuotesEveryMessage() {
    const QString text = RenderedText(QStringLiteral("messages.html"));
    const int ids[] = {IDS_TIME_OUT,      IDS_INSTRUMENT_REPORTS_ERROR,
                       IDS_BAD_DRIVER,    IDS_NO_DRIVER_DLL,
                       IDS_NO_VISA_DLL,   IDS_OPEN_RM_FAILED,
                       IDS_NO_INSTRUMENT, IDS_SELECT_CANCELLED,
                       IDS_INIT_FAILED,   IDS_APP_TITLE};
    for (int id : ids) {
        const QString message = LoadStr(id);
        QVERIFY(!message.isEmpty());
        // Exactly, doubled blanks included: the page must not collapse them.
        QVERIFY2(text.contains(message), qPrintable(message));
    }
    QVERIFY(text.contains(QStringLiteral("This is my NON LIVE RESET")));
    QVERIFY(text.contains(QStringLiteral("Self Test Passed")));
}

void TestHelp::switchesAreExplained() {
    const QString text = RenderedText(QStringLiteral("starting.html"));
    for (const char* sw : {"-a", "/a", "-n", "/n", "-r", "/r"}) {
        QVERIFY2(text.contains(QLatin1String(sw)), sw);
    }
}

void TestHelp::closingTheFrameClosesHelp() {
    AppFixture fx;
    fx.Command(ID_HELP_CONTENTS);
    QPointer<CHelpWindow> help = FindHelpWindow();
    QVERIFY(help);
    fx.Command(ID_SYSTEM_EXIT);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(help.isNull());
    QVERIFY(FindHelpWindow() == nullptr);
}

void TestHelp::escapeAndCloseKeysCloseHelp() {
    AppFixture fx;
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)}) {
        fx.Command(ID_HELP_CONTENTS);
        CHelpWindow* help = FindHelpWindow();
        QVERIFY(QTest::qWaitForWindowActive(help));
        QTest::keySequence(help->Browser(), keys);
        QVERIFY2(!help->isVisible(), qPrintable(keys.toString()));
    }
}

// --help and --version are whole arguments; the panel's switches keep the rest.
void TestHelp::infoOptionOnlyAsAWholeArgument() {
    struct Case {
        std::vector<const char*> args;
        const char* expectedStart; // nullptr: the panel starts
    };
    const Case cases[] = {
        {{"ksm7720-sfp", "--help"}, "Usage: ksm7720-sfp"},
        {{"ksm7720-sfp", "-a", "VXI0::2::INSTR", "--version"}, "ksm7720-sfp 1."},
        {{"ksm7720-sfp", "--version", "--help"}, "ksm7720-sfp 1."},
        {{"ksm7720-sfp", "-n", "--helpful"}, nullptr},
        {{"ksm7720-sfp", "-help", "/version"}, nullptr},
        {{"ksm7720-sfp"}, nullptr},
    };
    for (const Case& c : cases) {
        const auto text = InfoOptionText(static_cast<int>(c.args.size()), c.args.data());
        QCOMPARE(text.has_value(), c.expectedStart != nullptr);
        if (text) {
            QVERIFY2(text->starts_with(c.expectedStart), text->c_str());
        }
    }
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
