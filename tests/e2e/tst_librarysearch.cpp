// The panel comes up live where no libvisa.so is on the loader path: the stand-in VISA
// copied under another vendor's name, found through the environment variable or in the
// VXIplug&play framework folder, the stand-in driver beside it. Run one row a process: a
// VISA library once loaded stays loaded.
#include "SimProcess.h"
#include "app/SfpApp.h"
#include "core/DriverInstrument.h"
#include "platform/MessageBox.h"

#include <QTemporaryDir>
#include <QtTest>

#include <dlfcn.h>

#include <filesystem>

class TestLibrarySearch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void liveWithVisaUnderAnotherName_data();
    void liveWithVisaUnderAnotherName();

private:
    std::unique_ptr<CSimProcess> m_sim;
};

void TestLibrarySearch::initTestCase() {
    m_sim = std::make_unique<CSimProcess>(CSimProcess::DefaultBench());
    QVERIFY(m_sim->Start());
    qputenv("KSM7720_BENCH", QByteArray::fromStdString(m_sim->ResolvedBench()));
}

void TestLibrarySearch::liveWithVisaUnderAnotherName_data() {
    QTest::addColumn<QString>("visaName");
    QTest::addColumn<bool>("namedByVariables");
    QTest::newRow("variables") << "libiovisa.so" << true;
    QTest::newRow("framework-older-name") << "libvisa.so.7" << false;
    QTest::newRow("framework-other-vendor") << "librsvisa.so" << false;
}

void TestLibrarySearch::liveWithVisaUnderAnotherName() {
    QFETCH(QString, visaName);
    QFETCH(bool, namedByVariables);
    // The loader alone finds no VISA library, or the test would prove nothing.
    QVERIFY(dlopen("libvisa.so", RTLD_NOW | RTLD_NOLOAD) == nullptr);
    QVERIFY(dlopen("libvisa.so", RTLD_NOW) == nullptr);
    QTemporaryDir framework;
    const std::filesystem::path bin = framework.path().toStdString() + "/linux/bin";
    std::filesystem::create_directories(bin);
    const auto visa = bin / visaName.toStdString();
    const auto driver = bin / "libksm7720_32.so";
    std::filesystem::copy_file(VISA_LIBRARY, visa);
    std::filesystem::copy_file(DRIVER_LIBRARY, driver);
    qputenv("VXIPNPPATH", namedByVariables ? "" : framework.path().toUtf8());
    qputenv("KSM7720_VISA_LIBRARY", namedByVariables ? visa.c_str() : "");
    qputenv("KSM7720_DRIVER_LIBRARY", namedByVariables ? driver.c_str() : "");

    platform::MessageBoxRecorder boxes;
    CSfpApp app;
    QVERIFY(app.DiscoverInstrument());
    QCOMPARE(boxes.Boxes(), std::vector<QString>{});
    QVERIFY(dynamic_cast<CDriverInstrument*>(app.m_pInstrument.get()) != nullptr);
    QCOMPARE(app.m_instrumentName, QStringLiteral("VXI0::24"));
    int result = -1;
    app.m_pInstrument->SelfTest(&result);
    QCOMPARE(result, 0);
}

QTEST_MAIN(TestLibrarySearch)
#include "tst_librarysearch.moc"
