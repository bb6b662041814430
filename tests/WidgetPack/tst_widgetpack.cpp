#include "QwpComboBox.h"
#include "SmartStringLessThan.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>

class TestWidgetPack : public QObject
{
    Q_OBJECT

private slots:
    void smartLessThan_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("less");
        QTest::newRow("2 < 10") << "Port 2"
                                << "Port 10" << true;
        QTest::newRow("10 !< 2") << "Port 10"
                                 << "Port 2" << false;
        QTest::newRow("no number first") << "Bus"
                                         << "Bus 1" << true;
        QTest::newRow("number after none") << "Bus 1"
                                           << "Bus" << false;
        QTest::newRow("leading zero equal") << "IAC 01"
                                            << "IAC 1" << false;
        QTest::newRow("leading zero equal, reversed") << "IAC 1"
                                                      << "IAC 01" << false;
        QTest::newRow("same") << "Synth 3"
                              << "Synth 3" << false;
        QTest::newRow("empty") << ""
                               << "" << false;
        QTest::newRow("digits only") << "9"
                                     << "10" << true;
        QTest::newRow("empty before digits") << ""
                                             << "0" << false;
        QTest::newRow("prefix decides") << "a 10"
                                        << "b 2" << true;
        QTest::newRow("beyond 64 bits") << "x 18446744073709551615"
                                        << "x 18446744073709551616" << true;
        QTest::newRow("beyond 64 bits, reversed") << "x 18446744073709551616"
                                                  << "x 18446744073709551615" << false;
        QTest::newRow("long against short") << "x 100000000000000000000"
                                            << "x 99" << false;
        QTest::newRow("digits inside only") << "Port 2 (a)"
                                            << "Port 10 (a)" << false;
    }

    void smartLessThan()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, less);
        QCOMPARE(nSmartStringLessThan(a, b), less);
    }

    void smartSortOfPortNames()
    {
        QStringList names {"Port 10", "Port 2", "Port", "Port 1", "Port 02"};
        std::stable_sort(names.begin(), names.end(), nSmartStringLessThan);
        QCOMPARE(names, QStringList({"Port", "Port 1", "Port 2", "Port 02", "Port 10"}));
    }

    void comboKeysAreExactAndCaseSensitive()
    {
        QwpComboBox box;
        box.addItem("Upper", QVariant("ABC"));
        box.addItem("Lower", QVariant("abd"));
        box.setCurrentKey("abc");
        QCOMPARE(box.currentIndex(), -1);
        QVERIFY(!box.currentKey().isValid());
        box.setCurrentKey("ABC");
        QCOMPARE(box.currentIndex(), 0);
        QCOMPARE(box.currentKey(), QVariant("ABC"));
        box.setCurrentKey("AB");
        QCOMPARE(box.currentIndex(), -1);
    }

    void comboCurrentKeyAgainEmitsNothing()
    {
        QwpComboBox box;
        box.addItems({"a", "b"});
        box.setCurrentKey("b");
        QSignalSpy changes(&box, &QComboBox::currentIndexChanged);
        box.setCurrentKey("b");
        QCOMPARE(changes.count(), 0);
        box.setCurrentKey("a");
        QCOMPARE(changes.count(), 1);
    }

    void comboEmptyAndOutOfRange()
    {
        QwpComboBox box;
        QVERIFY(!box.currentKey().isValid());
        box.addItems({"a"});
        QVERIFY(!box.key(1).isValid());
        QVERIFY(!box.key(-1).isValid());
    }

    void comboItemsAreTheirOwnKeys()
    {
        QwpComboBox box;
        box.addItems({"a", "b"});
        QCOMPARE(box.count(), 2);
        QCOMPARE(box.key(0), QVariant("a"));
        QCOMPARE(box.key(1), QVariant("b"));
        QCOMPARE(box.itemText(1), QString("b"));
    }

    void comboNumericKeysThroughTheProperty()
    {
        QwpComboBox box;
        box.addItem("25%", 0.25);
        box.addItem("100%", 1.0);
        QVERIFY(box.setProperty("currentKey", 1.0));
        QCOMPARE(box.currentIndex(), 1);
        QCOMPARE(box.property("currentKey").toDouble(), 1.0);
        box.setProperty("currentKey", 1.5);
        QCOMPARE(box.currentIndex(), -1);
    }
};

QTEST_MAIN(TestWidgetPack)
#include "tst_widgetpack.moc"
