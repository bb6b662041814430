#include "ColorChooserButton.h"
#include "InstrumentsModel.h"
#include "InstrumentsView.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "SharedDialogs.h"
#include "TestAppServices.h"

#include <QColorDialog>
#include <QSignalSpy>
#include <QTest>

namespace K = QmdKelvoKeys;

// The colour button with the shared colour dialog, and the instruments list's removal.
class TestInspectorWidgets : public QObject
{
    Q_OBJECT

private slots:
    void colorButtonStoresAndShows()
    {
        ColorChooserButton button;
        button.resize(60, 24);
        QVERIFY(!button.color().isValid());
        QSignalSpy changed(&button, &ColorChooserButton::colorChanged);

        const QColor translucent(10, 20, 30, 100);
        button.setColor(translucent);
        QCOMPARE(button.color(), translucent);
        QVERIFY(!button.icon().isNull());
        QCOMPARE(changed.size(), 1);
        // Emitted also when nothing changed.
        button.setColor(translucent);
        QCOMPARE(changed.size(), 2);

        button.setIgnoreAlpha(true);
        QCOMPARE(button.color(), translucent);
        button.setColor(translucent);
        QCOMPARE(button.color(), QColor(10, 20, 30));
        QCOMPARE(changed.last().at(0).value<QColor>(), QColor(10, 20, 30));
        QCOMPARE(button.property("color").value<QColor>().alpha(), 255);

        button.setColor(QColor());
        QVERIFY(button.icon().isNull());
        QCOMPARE(changed.size(), 4);
        QVERIFY(!changed.last().at(0).value<QColor>().isValid());
    }

    void swatchShowsTranslucency()
    {
        ColorChooserButton button;
        button.resize(60, 26);
        button.setColor(QColor(255, 0, 0, 128));
        const QImage swatch = button.icon().pixmap(button.iconSize()).toImage();
        QCOMPARE(swatch.size(), QSize(54, 20));
        // Over the black half darker, over the white half lighter.
        QCOMPARE(swatch.pixelColor(0, 0), QColor(90, 90, 90));
        QVERIFY(swatch.pixelColor(3, 3).green() < 20);
        QVERIFY(swatch.pixelColor(50, 17).green() > 100);

        // It follows the button's size.
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        button.resize(80, 30);
        QCOMPARE(button.icon().pixmap(button.iconSize()).size(), QSize(74, 24));
    }

    void colorButtonFollowsTheSharedDialog()
    {
        TestAppServices services;
        ColorChooserButton first;
        ColorChooserButton second;
        first.setColor(Qt::red);
        second.setColor(Qt::green);
        QSignalSpy changed(&first, &ColorChooserButton::colorChanged);

        first.click();
        QCOMPARE(services.appColorDialogReceiver(), &first);
        QVERIFY(services.isAppColorDialogVisible());
        QColorDialog* dialog = services.sharedDialogs()->colorDialog();
        QCOMPARE(dialog->currentColor(), QColor(Qt::red));
        QCOMPARE(changed.size(), 0);

        // Browsing in the dialog changes the colour live.
        dialog->setCurrentColor(Qt::blue);
        QCOMPARE(first.color(), QColor(Qt::blue));
        QCOMPARE(changed.size(), 1);

        // Another button takes the dialog over.
        second.click();
        QCOMPARE(services.appColorDialogReceiver(), &second);
        QCOMPARE(dialog->currentColor(), QColor(Qt::green));
        dialog->setCurrentColor(Qt::yellow);
        QCOMPARE(first.color(), QColor(Qt::blue));
        QCOMPARE(second.color(), QColor(Qt::yellow));
        services.setAppColorDialogVisible(false);
    }

    void deleteRemovesTheSelectedInstrumentsInOneStep()
    {
        QmdMemModel model;
        QmdKelvoController controller;
        controller.setModel(&model);
        for (int i = 0; i < 3; ++i)
            controller.requestAddInstrument();
        const QmdItemIdList ids = controller.instruments();
        QCOMPARE(ids.size(), 3);
        QmdItemId node = 0;
        controller.requestAddNode(QmdKelvo::TickPoint {0, 0}, QmdKelvo::NoCreationFlags,
                                  QmdRequestOptions(QStringLiteral("Node")), &node);
        const QmdIndex nodeIndex = controller.elementIndex(node);
        controller.requestSetData(K::Instrument, ids.at(1), nodeIndex);
        const QString before = controller.undoText();
        QTRY_COMPARE(controller.instrumentsModel()->rowCount(), 3);

        InstrumentsView view;
        view.setModel(controller.instrumentsModel());
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.setController(&controller);

        // Nothing selected asks for nothing.
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(controller.undoText(), before);
        QCOMPARE(controller.instruments().size(), 3);

        const QAbstractItemModel* instruments = controller.instrumentsModel();
        QList<QmdItemId> selected;
        for (int row : {0, 1}) {
            const QModelIndex index = instruments->index(row, 0);
            view.selectionModel()->select(index, QItemSelectionModel::Select);
            selected << instruments->data(index, Qt::UserRole).toUInt();
        }
        QVERIFY(selected.contains(ids.at(1)));
        QTest::keyClick(&view, Qt::Key_Backspace);
        QCOMPARE(controller.instruments().size(), 1);
        QVERIFY(!controller.instruments().contains(selected.at(0)));
        QVERIFY(!controller.instruments().contains(selected.at(1)));
        QCOMPARE(controller.undoText(), QStringLiteral("Remove"));
        // The node that played one of them plays none, in the same step.
        QTRY_COMPARE(controller.data(K::Instrument, nodeIndex).toUInt(), 0u);

        controller.requestUndo();
        QCOMPARE(controller.instruments().size(), 3);
        QTRY_COMPARE(controller.data(K::Instrument, nodeIndex).toUInt(), uint(ids.at(1)));
        QCOMPARE(controller.undoText(), before);
    }

    void deleteWithoutADocumentDoesNothing()
    {
        QmdMemModel model;
        QmdKelvoController controller;
        controller.setModel(&model);
        controller.requestAddInstrument();
        QTRY_COMPARE(controller.instrumentsModel()->rowCount(), 1);
        InstrumentsView view;
        view.setModel(controller.instrumentsModel());
        view.selectionModel()->select(controller.instrumentsModel()->index(0, 0),
                                      QItemSelectionModel::Select);
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(controller.instruments().size(), 1);
    }
};

QTEST_MAIN(TestInspectorWidgets)
#include "tst_inspectorwidgets.moc"
