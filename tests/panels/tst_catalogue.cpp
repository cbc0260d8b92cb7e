// The catalogue's codes, names and the translation of history-reset pairs.
#include "core/QuantityCatalogue.h"

#include <QtTest>

#include <set>

class TestCatalogue : public QObject {
    Q_OBJECT
private slots:
    void kindsInOrder();
    void codesFollowTheBaseRule();
    void codesAreUniqueAndSkipTheGaps();
    void readingValueCounts();
    void resetPairs_data();
    void resetPairs();
};

void TestCatalogue::kindsInOrder() {
    QCOMPARE(KindInfo(BLOWER).title, "Blower RPM histogram");
    QCOMPARE(KindInfo(TEMPERATURE).listKeyword, "TEMPERATURE");
    QCOMPARE(KindInfo(TEMPERATURE).resetKeyword, "TEMP");
    QCOMPARE(KindInfo(TEMPERATURE).unit, ".1 deg. C");
    QCOMPARE(KindInfo(TEMPERATURE).objectLabel, "Slot: ");
    QCOMPARE(KindInfo(BLOWER).objectLabel, "Blower #");
    QCOMPARE(KindInfo(VOLT).unit, "mV");
    QCOMPARE(kSensorNames[9], "OUT9");
    QCOMPARE(kSensorNames[13], "DELT0");
    QCOMPARE(kSensorNames[26], "AMBIENT");
}

void TestCatalogue::codesFollowTheBaseRule() {
    QCOMPARE(ObjectCodeOf(BLOWER, 1), std::optional<ObjectCode>(50));
    QCOMPARE(ObjectCodeOf(BLOWER, 3), std::optional<ObjectCode>(52));
    QCOMPARE(ObjectCodeOf(CURRENT, 6), std::optional<ObjectCode>(41));
    QCOMPARE(ObjectCodeOf(POWER, 6), std::optional<ObjectCode>(33));
    QCOMPARE(ObjectCodeOf(VOLT, 6), std::optional<ObjectCode>(48));
    QCOMPARE(ObjectCodeOf(TEMPERATURE, 26), std::optional<ObjectCode>(26));
    QCOMPARE(ObjectCodeOf(BLOWER, 0), std::nullopt);
    QCOMPARE(ObjectCodeOf(BLOWER, 4), std::nullopt);
    QCOMPARE(ObjectCodeOf(CURRENT, 7), std::nullopt);
    QCOMPARE(ObjectCodeOf(TEMPERATURE, -1), std::nullopt);
    QCOMPARE(ObjectCodeOf(static_cast<QuantityKind>(5), 0), std::nullopt);
}

void TestCatalogue::codesAreUniqueAndSkipTheGaps() {
    std::set<ObjectCode> codes;
    int count = 0;
    for (int kind = BLOWER; kind <= VOLT; ++kind) {
        for (int pos = -1; pos <= 28; ++pos) {
            if (const auto code = ObjectCodeOf(static_cast<QuantityKind>(kind), pos)) {
                codes.insert(*code);
                ++count;
            }
        }
    }
    QCOMPARE(count, 3 + 7 * 3 + 27);
    QCOMPARE(static_cast<int>(codes.size()), count);
    QVERIFY(!codes.count(34));
    QVERIFY(!codes.count(49));
    QCOMPARE(*codes.begin(), 0);
    QCOMPARE(*codes.rbegin(), 52);
}

void TestCatalogue::readingValueCounts() {
    QCOMPARE(ReadingValueCount(0), 3);
    QCOMPARE(ReadingValueCount(25), 3);
    QCOMPARE(ReadingValueCount(26), 1);
    QCOMPARE(ReadingValueCount(41), 1);
    QCOMPARE(ReadingValueCount(-1), 1);
}

void TestCatalogue::resetPairs_data() {
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::newRow("current N2") << "CURRENT"
                                << "N2" << 41;
    QTest::newRow("power N2") << "POWER"
                              << "N2" << 33;
    QTest::newRow("volt P5") << "VOLT"
                             << "P5" << 42;
    QTest::newRow("temp OUT3") << "TEMP"
                               << "OUT3" << 3;
    QTest::newRow("temp AMBIENT") << "TEMP"
                                  << "AMBIENT" << 26;
    QTest::newRow("blower BLOW1") << "BLOWER"
                                  << "BLOW1" << 50;
    QTest::newRow("blower typed BLOW3") << "BLOWER"
                                        << "BLOW3" << 52;
    QTest::newRow("blower names win over keywords") << "VOLT"
                                                    << "BLOW2" << 51;
    QTest::newRow("queue") << "Q"
                           << "" << 53;
    QTest::newRow("queue ignores the name") << "Q"
                                            << "P5" << 53;
    QTest::newRow("all") << "ALL"
                         << "" << 54;
    QTest::newRow("empty blower") << "BLOWER"
                                  << "" << 1000;
    QTest::newRow("display spelling is not a name") << "TEMP"
                                                    << "Ambient" << 1000;
    QTest::newRow("case matters") << "current"
                                  << "N2" << 1000;
    QTest::newRow("sensor under a supply keyword") << "VOLT"
                                                   << "OUT1" << 1000;
    QTest::newRow("names compare whole") << "CURRENT"
                                         << "N2 " << 1000;
}

void TestCatalogue::resetPairs() {
    QFETCH(QString, keyword);
    QFETCH(QString, name);
    QFETCH(int, code);
    QCOMPARE(ResetPairCode(keyword.toStdString(), name.toStdString()), code);
}

QTEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
