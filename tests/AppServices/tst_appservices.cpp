#include "DocumentTool.h"
#include "MidiEvent.h"
#include "MvcEvents.h"
#include "QmdKelvoController.h"
#include "QmdMemModel.h"
#include "SharedDialogs.h"
#include "TestAppServices.h"
#include "TestDocumentWindow.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QSignalSpy>
#include <QTest>

// A receiver of the shared dialogs that records what reaches it.
class Receiver : public QObject
{
    Q_OBJECT
public:
    QList<QColor> colors;
    QList<QFont> fonts;
public slots:
    void onColor(const QColor& color) { colors << color; }
    void onFont(const QFont& font) { fonts << font; }
};

class TestAppServicesSeams : public QObject
{
    Q_OBJECT

private slots:
    void midiEventCarriesTheMessage()
    {
        const QVector<uchar> bytes {0x90, 60, 100};
        MidiEvent event(Qt::ShiftModifier, 0.25, bytes);
        QCOMPARE(int(event.type()), 1000);
        QCOMPARE(event.modifiers(), Qt::ShiftModifier);
        QCOMPARE(event.deltaTime(), 0.25);
        QCOMPARE(event.bytes(), bytes);

        // Receivers tell it from the MVC events of the same number by its class.
        QEvent* asEvent = &event;
        QVERIFY(dynamic_cast<MidiEvent*>(asEvent));
        CEvent mvc(CEvent::ChangeModel);
        QCOMPARE(int(mvc.type()), 1000);
        QVERIFY(!dynamic_cast<MidiEvent*>(static_cast<QEvent*>(&mvc)));

        std::unique_ptr<MidiEvent> copy(event.clone());
        QCOMPARE(copy->bytes(), bytes);
        QCOMPARE(copy->modifiers(), Qt::ShiftModifier);
    }

    void toolLivesInTheRunTimePart()
    {
        QmdMemModel model;
        QmdKelvoController controller;
        controller.setModel(&model);
        QVERIFY(DocumentTool::parentIndex(&controller).isValid());
        QCOMPARE(DocumentTool::current(&controller), 2);

        QVERIFY(DocumentTool::requestSet(&controller, 4));
        QCOMPARE(DocumentTool::current(&controller), 4);
        QVERIFY(!controller.canUndo());

        // A reset makes "Temp" anew; the helper finds the new one.
        controller.reset();
        QVERIFY(DocumentTool::parentIndex(&controller).isValid());
        QCOMPARE(DocumentTool::current(&controller), 2);

        QVERIFY(!DocumentTool::parentIndex(nullptr).isValid());
        QCOMPARE(DocumentTool::current(nullptr), 0);
        QCOMPARE(DocumentTool::requestSet(nullptr, 1), QmdRequestId(0));
    }

    void testWindowRecordsCallsMadeByName()
    {
        TestDocumentWindow window;
        QVERIFY(window.controller());
        const QmdKelvo::TickPoint point {665280, -166320};
        QVERIFY(QMetaObject::invokeMethod(&window, "setPasteTickPoint",
                                          Q_ARG(QmdKelvo::TickPoint, point)));
        for (const char* slot : {"cut", "copy", "paste", "del", "selectAll"})
            QVERIFY(QMetaObject::invokeMethod(&window, slot));
        QCOMPARE(window.calls,
                 QStringList({"setPasteTickPoint", "cut", "copy", "paste", "del", "selectAll"}));
        QCOMPARE(window.pasteTickPoints.size(), 1);
        QCOMPARE(window.pasteTickPoints.first(), point);

        QSignalSpy saves(&window, &DocumentWindow::saveRequested);
        QSignalSpy selections(&window, &DocumentWindow::elementSelectionChanged);
        window.emitSaveRequested();
        window.setSelectedElementIds({3, 4});
        QCOMPARE(saves.count(), 1);
        QCOMPARE(selections.count(), 1);
        QCOMPARE(window.selectedElementIds(), QmdItemIdSet({3, 4}));
    }

    void servicesInstanceAndFocusWindow()
    {
        QCOMPARE(AppServices::instance(), nullptr);
        {
            TestAppServices services;
            QCOMPARE(AppServices::instance(), &services);
            TestDocumentWindow window;
            QSignalSpy focus(&services, &AppServices::focusWindowChanged);
            services.setFocusWindow(&window);
            services.setFocusWindow(&window);
            QCOMPARE(focus.count(), 1);
            QCOMPARE(services.focusWindow(), &window);
            QVERIFY(services.settings());

            QSignalSpy outputs(&services, &AppServices::midiOutputPortsChanged);
            services.setMidiOutputPorts({"Port 10", "Port 2"});
            services.setMidiOutputPorts({"Port 10", "Port 2"});
            QCOMPARE(outputs.count(), 1);
            QCOMPARE(services.midiOutputPorts(), QStringList({"Port 2", "Port 10"}));
        }
        QCOMPARE(AppServices::instance(), nullptr);
    }

    void colorDialogServesOneReceiver()
    {
        TestAppServices services;
        Receiver first;
        auto* second = new Receiver;
        QColorDialog* dialog = services.sharedDialogs()->colorDialog();
        QVERIFY(dialog->testOption(QColorDialog::DontUseNativeDialog));

        services.connectAppColorDialog(&first, SLOT(onColor(QColor)));
        QCOMPARE(services.appColorDialogReceiver(), &first);
        dialog->setCurrentColor(Qt::red);
        QCOMPARE(first.colors.size(), 1);

        // A second receiver replaces the first.
        services.connectAppColorDialog(second, SLOT(onColor(QColor)));
        QCOMPARE(services.appColorDialogReceiver(), second);
        dialog->setCurrentColor(Qt::green);
        QCOMPARE(first.colors.size(), 1);
        QCOMPARE(second->colors.size(), 1);
        QCOMPARE(second->colors.last(), QColor(Qt::green));

        // An update from the receiver is not echoed back to it.
        services.updateAppColorDialog(Qt::blue);
        QCOMPARE(dialog->currentColor(), QColor(Qt::blue));
        QCOMPARE(second->colors.size(), 1);

        // A receiver that goes leaves the dialog without one.
        delete second;
        QCOMPARE(services.appColorDialogReceiver(), nullptr);
        dialog->setCurrentColor(Qt::yellow);
        QCOMPARE(first.colors.size(), 1);
    }

    void fontDialogVisibilityAndReceiver()
    {
        TestAppServices services;
        Receiver receiver;
        QVERIFY(!services.isAppFontDialogVisible());
        services.setAppFontDialogVisible(true);
        QVERIFY(services.isAppFontDialogVisible());
        services.connectAppFontDialog(&receiver, SLOT(onFont(QFont)));
        QFont font = QApplication::font();
        font.setPointSize(font.pointSize() + 7);
        services.sharedDialogs()->fontDialog()->setCurrentFont(font);
        QCOMPARE(receiver.fonts.size(), 1);
        services.updateAppFontDialog(QApplication::font());
        QCOMPARE(receiver.fonts.size(), 1);
        services.disconnectAppFontDialog();
        QCOMPARE(services.appFontDialogReceiver(), nullptr);
        services.sharedDialogs()->fontDialog()->setCurrentFont(font);
        QCOMPARE(receiver.fonts.size(), 1);
        services.setAppFontDialogVisible(false);
        QVERIFY(!services.isAppFontDialogVisible());
    }
};

QTEST_MAIN(TestAppServicesSeams)
#include "tst_appservices.moc"
