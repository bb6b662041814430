#include "Chooser.h"
#include "QwpComboBox.h"
#include "SmartStringLessThan.h"
#include "WheellessWidgets.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace {

QIcon squareIcon(const QColor& color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// Turns the wheel one notch down over the middle of widget, as the window system delivers it:
// only such a spontaneous event goes on to the parent when the widget ignores it, and sending
// an event would mark it as not spontaneous.
void turnWheelOver(QWidget* widget)
{
    const QPointF local(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent event(local, widget->mapToGlobal(local), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(widget, &event);
}

// A scroll area whose form is much taller than the area, with `widget` at its top.
struct ScrollingForm
{
    explicit ScrollingForm(QWidget* widget)
    {
        auto* form = new QWidget;
        auto* layout = new QVBoxLayout(form);
        layout->addWidget(widget);
        layout->addSpacing(2000);
        area.setWidget(form);
        area.resize(200, 150);
        area.show();
    }

    QScrollArea area;
};

} // namespace

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

    void chooserTabsAreIconsWithoutText()
    {
        Chooser chooser;
        QVERIFY(!chooser.drawBase());
        QVERIFY(!chooser.isCompact());
        QCOMPARE(chooser.addTab(squareIcon(Qt::red)), 0);
        QCOMPARE(chooser.addTab(squareIcon(Qt::blue)), 1);
        QCOMPARE(chooser.count(), 2);
        QVERIFY(chooser.tabText(1).isEmpty());
        QVERIFY(!chooser.tabIcon(1).isNull());
    }

    void compactChooserIsTwentyPixelsNarrowerPerTab()
    {
        Chooser wide;
        Chooser compact;
        compact.setCompact(true);
        QVERIFY(compact.isCompact());
        for (Chooser* chooser : {&wide, &compact}) {
            chooser->setIconSize(QSize(32, 32));
            chooser->addTab(squareIcon(Qt::red));
            chooser->addTab(squareIcon(Qt::blue));
            chooser->setExpanding(false);
        }
        QVERIFY(wide.tabRect(0).width() > 20);
        QCOMPARE(compact.tabRect(0).width(), wide.tabRect(0).width() - 20);
        QCOMPARE(compact.tabRect(0).height(), wide.tabRect(0).height());
        QCOMPARE(compact.sizeHint().width(), wide.sizeHint().width() - 40);

        // No longer compact: the tabs take their full width when the bar next lays them out.
        compact.setCompact(false);
        compact.addTab(squareIcon(Qt::green));
        QCOMPARE(compact.tabRect(0).width(), wide.tabRect(0).width());
    }

    void wheelOverComboBoxScrollsTheForm_data()
    {
        QTest::addColumn<bool>("wheelless");
        QTest::newRow("ordinary box") << false;
        QTest::newRow("wheelless box") << true;
    }

    void wheelOverComboBoxScrollsTheForm()
    {
        QFETCH(bool, wheelless);
        QwpComboBox* box = wheelless ? new WheellessQwpComboBox : new QwpComboBox;
        box->addItems({"a", "b", "c"});
        ScrollingForm form(box);
        QVERIFY(QTest::qWaitForWindowExposed(&form.area));
        QScrollBar* scrollBar = form.area.verticalScrollBar();
        QCOMPARE(scrollBar->value(), 0);

        turnWheelOver(box);
        if (wheelless) {
            QCOMPARE(box->currentKey(), QVariant("a"));
            QVERIFY(scrollBar->value() > 0);
        } else {
            // The ordinary box takes the wheel itself, which the wheelless one must not.
            QCOMPARE(box->currentKey(), QVariant("b"));
            QCOMPARE(scrollBar->value(), 0);
        }
    }

    void wheelOverChooserScrollsTheForm_data()
    {
        QTest::addColumn<bool>("wheelless");
        QTest::newRow("ordinary chooser") << false;
        QTest::newRow("wheelless chooser") << true;
    }

    void wheelOverChooserScrollsTheForm()
    {
        QFETCH(bool, wheelless);
        Chooser* chooser = wheelless ? new WheellessChooser : new Chooser;
        for (const QColor& color : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue)})
            chooser->addTab(squareIcon(color));
        ScrollingForm form(chooser);
        QVERIFY(QTest::qWaitForWindowExposed(&form.area));
        QScrollBar* scrollBar = form.area.verticalScrollBar();

        turnWheelOver(chooser);
        if (wheelless) {
            QCOMPARE(chooser->currentIndex(), 0);
            QVERIFY(scrollBar->value() > 0);
        } else {
            QCOMPARE(chooser->currentIndex(), 1);
            QCOMPARE(scrollBar->value(), 0);
        }
    }
};

QTEST_MAIN(TestWidgetPack)
#include "tst_widgetpack.moc"
