#include "ChannelsBox.h"
#include "CustomFrame.h"
#include "FlashingValidator.h"
#include "QPlainTextEditPlus.h"
#include "ScaleListEdit.h"
#include "SqueezedText.h"
#include "VerticalGraphicsListView.h"
#include "VerticalListViewWidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBitArray>
#include <QGraphicsLinearLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProxyStyle>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QVBoxLayout>

namespace {

QBitArray bits(int size, std::initializer_list<int> set)
{
    QBitArray array(size);
    for (int i : set)
        array.setBit(i);
    return array;
}

bool showActive(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

} // namespace

class TestSmallWidgets : public QObject
{
    Q_OBJECT

private slots:
    void fixupTrimsOneComma_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fixed");
        QTest::newRow("trailing comma") << "C3,D3,"
                                        << "C3,D3";
        QTest::newRow("only one") << "C3,,"
                                  << "C3,";
        QTest::newRow("none") << "C3"
                              << "C3";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("lone comma") << ","
                                    << "";
    }

    void fixupTrimsOneComma()
    {
        QFETCH(QString, text);
        QFETCH(QString, fixed);
        QLineEdit edit;
        FlashingValidator validator(QRegularExpression(QStringLiteral(".*")), &edit);
        validator.fixup(text);
        QCOMPARE(text, fixed);
    }

    void flashesOnRejectedKeysOnly()
    {
        ScaleListEdit edit;
        const auto* validator = qobject_cast<const FlashingValidator*>(edit.validator());
        QVERIFY(validator);
        // The pattern is matched as a whole.
        QString text = QStringLiteral("x12");
        int pos = 0;
        QCOMPARE(validator->validate(text, pos), QValidator::Invalid);
        QTRY_VERIFY(!validator->isFlashing());

        QTest::keyClicks(&edit, QStringLiteral("3/4,1/"));
        QCOMPARE(edit.text(), QStringLiteral("3/4,1/"));
        QVERIFY(!edit.hasAcceptableInput());
        QVERIFY(!validator->isFlashing());

        // A denominator does not start with 0.
        QTest::keyClick(&edit, Qt::Key_0);
        QCOMPARE(edit.text(), QStringLiteral("3/4,1/"));
        QVERIFY(validator->isFlashing());
    }

    void flashReturnsToTheFieldsOwnColour()
    {
        QLineEdit edit;
        QPalette dark = edit.palette();
        const QColor base(30, 30, 40);
        dark.setColor(QPalette::Base, base);
        dark.setColor(QPalette::Text, Qt::white);
        edit.setPalette(dark);
        auto* validator
            = new FlashingValidator(QRegularExpression(QStringLiteral("[0-9]*")), &edit);
        edit.setValidator(validator);

        QTest::keyClick(&edit, Qt::Key_A);
        QVERIFY(validator->isFlashing());
        // A dark field flashes a dark red, not the light red of a light one.
        QTRY_VERIFY(edit.palette().color(QPalette::Base) != base);
        const QColor peak = edit.palette().color(QPalette::Base);
        QVERIFY(peak.red() > peak.green());
        QVERIFY(peak.lightness() < 128);
        // A second rejected key restarts the flash; both return to the field's colour.
        QTest::keyClick(&edit, Qt::Key_B);
        QTRY_VERIFY(!validator->isFlashing());
        QCOMPARE(edit.palette().color(QPalette::Base), base);
        QCOMPARE(edit.palette().color(QPalette::Text), QColor(Qt::white));

        // A field without a palette of its own is left following the application's.
        QLineEdit plain;
        auto* plainValidator
            = new FlashingValidator(QRegularExpression(QStringLiteral("[0-9]*")), &plain);
        plain.setValidator(plainValidator);
        QTest::keyClick(&plain, Qt::Key_A);
        QVERIFY(plainValidator->isFlashing());
        QTRY_VERIFY(!plainValidator->isFlashing());
        QVERIFY(!plain.testAttribute(Qt::WA_SetPalette));
    }

    void scaleListPattern_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state");
        QTest::newRow("empty") << "" << int(QValidator::Acceptable);
        QTest::newRow("ratios") << "1,9/8,5/4,2" << int(QValidator::Acceptable);
        QTest::newRow("four digits") << "1200/1000" << int(QValidator::Acceptable);
        QTest::newRow("five digits") << "12000" << int(QValidator::Invalid);
        QTest::newRow("open denominator") << "3/" << int(QValidator::Intermediate);
        QTest::newRow("zero denominator") << "3/0" << int(QValidator::Invalid);
        QTest::newRow("letters") << "a" << int(QValidator::Invalid);
    }

    void scaleListPattern()
    {
        QFETCH(QString, text);
        QFETCH(int, state);
        ScaleListEdit edit;
        int pos = 0;
        QCOMPARE(int(edit.validator()->validate(text, pos)), state);
    }

    void channelsAreAlwaysSixteenBits()
    {
        ChannelsBox box;
        QCOMPARE(box.channels(), QBitArray(16));
        QSignalSpy spy(&box, &ChannelsBox::channelsChanged);

        box.setChannels(bits(3, {1}));
        QCOMPARE(box.channels(), bits(16, {1}));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).value<QBitArray>(), bits(16, {1}));
        for (int i = 0; i < 16; ++i)
            QCOMPARE(box.channelButton(i)->isChecked(), i == 1);

        box.setChannels(bits(20, {0, 15, 17}));
        QCOMPARE(box.channels(), bits(16, {0, 15}));
        QVERIFY(!box.channelButton(1)->isChecked());
        // Emitted also when nothing changed.
        box.setChannels(bits(16, {0, 15}));
        QCOMPARE(spy.size(), 3);
    }

    void clickingAChannelEmitsOnce()
    {
        ChannelsBox box;
        box.setChannels(bits(16, {0}));
        QSignalSpy spy(&box, &ChannelsBox::channelsChanged);
        QTest::mouseClick(box.channelButton(2), Qt::LeftButton);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).value<QBitArray>(), bits(16, {0, 2}));
        QCOMPARE(box.property("channels").value<QBitArray>(), bits(16, {0, 2}));

        QTest::mouseClick(box.channelButton(0), Qt::LeftButton);
        QCOMPARE(spy.size(), 2);
        QCOMPARE(box.channels(), bits(16, {2}));

        const auto buttons = box.findChildren<QAbstractButton*>();
        QAbstractButton* all = nullptr;
        QAbstractButton* none = nullptr;
        for (QAbstractButton* button : buttons) {
            if (button->text() == QLatin1String("All"))
                all = button;
            else if (button->text() == QLatin1String("None"))
                none = button;
        }
        QVERIFY(all && none);
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(box.channels(), QBitArray(16, true));
        QVERIFY(box.channelButton(9)->isChecked());
        QTest::mouseClick(none, Qt::LeftButton);
        QCOMPARE(box.channels(), QBitArray(16, false));
        QCOMPARE(spy.size(), 4);
    }

    void channelButtonsShareOneCompactStyle()
    {
        ChannelsBox first;
        ChannelsBox second;
        QStyle* style = first.channelButton(0)->style();
        QVERIFY(qobject_cast<QProxyStyle*>(style));
        QCOMPARE(qobject_cast<QProxyStyle*>(style)->baseStyle()->name(), QStringLiteral("fusion"));
        QCOMPARE(first.channelButton(15)->style(), style);
        QCOMPARE(second.channelButton(3)->style(), style);
        QCOMPARE(first.channelButton(0)->size(), QSize(22, 22));
        const int expected = qMax(QApplication::font().pointSize() - 2, 7);
        QCOMPARE(first.channelButton(0)->font().pointSize(), expected);
        QCOMPARE(first.size(), QSize(200, 78));

        // A selected channel shows in the highlight colour.
        first.setChannels(bits(16, {0}));
        const QColor highlight = first.palette().color(QPalette::Highlight);
        const auto distance = [&highlight](QWidget* button) {
            const QColor c = button->grab().toImage().pixelColor(4, 11);
            return qAbs(c.red() - highlight.red()) + qAbs(c.green() - highlight.green())
                + qAbs(c.blue() - highlight.blue());
        };
        QVERIFY(distance(first.channelButton(0)) < 60);
        QVERIFY(distance(first.channelButton(1)) > 150);
    }

    void squeezedLabelElidesInTheMiddle()
    {
        QWidget window;
        auto* label = new SqueezedTextLabel(&window);
        const QString name = QStringLiteral("A rather long MIDI port name that does not fit 99");
        label->setText(name);
        QCOMPARE(label->fullText(), name);
        QCOMPARE(label->sizeHint().width(), label->fontMetrics().horizontalAdvance(name));
        QCOMPARE(label->minimumSizeHint().width(), -1);

        label->setGeometry(0, 0, 80, 20);
        QVERIFY(showActive(window));
        QVERIFY(label->text() != name);
        QVERIFY(label->text().contains(QChar(0x2026)));
        QVERIFY(label->text().startsWith(QLatin1Char('A')));
        QVERIFY(label->text().endsWith(QLatin1String("99")));
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= 80);
        QCOMPARE(label->fullText(), name);

        label->setTextElideMode(Qt::ElideRight);
        QVERIFY(label->text().endsWith(QChar(0x2026)));

        label->resize(label->sizeHint().width() + 10, 20);
        QTRY_COMPARE(label->text(), name);
    }

    void squeezedCheckBoxLeavesRoomForItsIndicator()
    {
        QWidget window;
        auto* fits = new SqueezedTextCheckBox(QStringLiteral("Port 1"), &window);
        const QString name = QStringLiteral("Another rather long port name, ending in 42");
        auto* narrow = new SqueezedTextCheckBox(name, &window);
        fits->setGeometry(0, 0, 200, 24);
        narrow->setGeometry(0, 30, 100, 24);
        QVERIFY(showActive(window));

        QCOMPARE(fits->text(), QStringLiteral("Port 1"));
        const int textWidth = narrow->fontMetrics().horizontalAdvance(name);
        QVERIFY(narrow->sizeHint().width() > textWidth);
        QVERIFY(narrow->sizeHint().width() < textWidth + 60);
        QVERIFY(narrow->text().contains(QChar(0x2026)));
        QVERIFY(narrow->text().endsWith(QLatin1String("42")));
        // The shortened text fits beside the indicator.
        const int decoration = narrow->sizeHint().width() - textWidth;
        QVERIFY(narrow->fontMetrics().horizontalAdvance(narrow->text()) <= 100 - decoration);

        narrow->resize(narrow->sizeHint().width(), 24);
        QTRY_COMPARE(narrow->text(), name);
    }

    void plainTextEditReportsLeavingOnce()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* edit = new QPlainTextEditPlus(&window);
        auto* other = new QLineEdit(&window);
        layout->addWidget(edit);
        layout->addWidget(other);
        QVERIFY(showActive(window));
        QSignalSpy spy(edit, &QPlainTextEditPlus::editingFinished);

        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        QTest::keyClicks(edit, QStringLiteral("Comment"));
        QCOMPARE(spy.size(), 0);
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        QCOMPARE(spy.size(), 1);
        other->setFocus();
        QCOMPARE(spy.size(), 1);
    }

    void verticalListFillsTheViewportWidth()
    {
        QScrollArea area;
        area.setFixedSize(220, 120);
        auto* list = new VerticalListViewWidget;
        area.setWidget(list);
        QCOMPARE(list->scrollArea(), &area);
        list->listLayout()->addWidget(new SqueezedTextCheckBox(QStringLiteral("Port 1")));
        QVERIFY(showActive(area));
        QTRY_COMPARE(list->width(), area.viewport()->width());
        QVERIFY(!area.verticalScrollBar()->isVisible());
        const int without = list->width();

        for (int i = 2; i <= 20; ++i)
            list->listLayout()->addWidget(
                new SqueezedTextCheckBox(QStringLiteral("Port %1").arg(i)));
        QTRY_VERIFY(area.verticalScrollBar()->isVisible());
        QTRY_COMPARE(list->width(), area.viewport()->width());
        QCOMPARE(list->width(), without - area.verticalScrollBar()->width());
        QVERIFY(list->height() > area.viewport()->height());
    }

    void graphicsListFillsTheViewportWidth()
    {
        QGraphicsScene scene;
        auto* list = new QGraphicsWidget;
        auto* layout = new QGraphicsLinearLayout(Qt::Vertical, list);
        scene.addItem(list);
        VerticalGraphicsListView view;
        view.setScene(&scene);
        view.setFixedSize(200, 100);
        view.setListWidget(list);
        const auto addRows = [&](int n) {
            for (int i = 0; i < n; ++i) {
                auto* row = new QGraphicsWidget;
                row->setMinimumSize(20, 30);
                row->setMaximumHeight(30);
                layout->addItem(row);
            }
            view.updatePortListRect();
        };
        addRows(1);
        QVERIFY(showActive(view));
        QTRY_COMPARE(list->size().width(), qreal(view.viewport()->width() - 4));
        QCOMPARE(scene.sceneRect(), QRectF(QPointF(0, 0), list->size()));

        addRows(9);
        QTRY_VERIFY(view.verticalScrollBar()->isVisible());
        view.updatePortListRect();
        QCOMPARE(list->size().width(), qreal(view.viewport()->width() - 4));
        QCOMPARE(scene.sceneRect(), QRectF(QPointF(0, 0), list->size()));
        QVERIFY(list->size().height() >= 300);
    }

    void customFramePaintsOnlyItsPicture()
    {
        CustomFrame frame;
        frame.setFrameShape(QFrame::Box);
        frame.setAutoFillBackground(true);
        QPalette palette = frame.palette();
        palette.setColor(QPalette::Window, Qt::green);
        palette.setColor(QPalette::WindowText, Qt::blue);
        frame.setPalette(palette);
        frame.resize(40, 40);
        frame.pixmap = QPixmap(10, 10);
        frame.pixmap.fill(Qt::red);

        QImage image = frame.grab().toImage();
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::green));
        QCOMPARE(image.pixelColor(5, 5), QColor(Qt::green));

        frame.showPixmap = true;
        image = frame.grab().toImage();
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(image.pixelColor(9, 9), QColor(Qt::red));
        QCOMPARE(image.pixelColor(20, 20), QColor(Qt::green));
        QCOMPARE(image.pixelColor(39, 39), QColor(Qt::green));
    }
};

QTEST_MAIN(TestSmallWidgets)
#include "tst_smallwidgets.moc"
