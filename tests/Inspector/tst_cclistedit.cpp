#include "ControllerCurves.h"
#include "CurveListFixture.h"
#include "HoverPoints.h"

#include <QBoxLayout>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

namespace K = QmdKelvoKeys;
using namespace QmdKelvo;

namespace {

const QPolygonF linearAtZero {QPointF(0, 0), QPointF(1, 0)};

// The widgets of the list from top to bottom.
QList<QWidget*> rowsInOrder(CCListEdit* list)
{
    QList<QWidget*> rows;
    QLayout* layout = list->QWidget::layout();
    for (int i = 0; i < layout->count(); ++i)
        if (QWidget* row = layout->itemAt(i)->widget())
            rows.append(row);
    return rows;
}

QString backgroundOf(QWidget* row)
{
    const QString sheet = row->styleSheet();
    const int at = sheet.indexOf(QLatin1String("background:"));
    return sheet.mid(at, sheet.indexOf(QLatin1Char(';'), at) - at).simplified();
}

// One notch down, as the window system delivers it: only such a spontaneous event goes on to
// the parent when the widget ignores it.
void turnWheel(QWidget* widget)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::instance()->notify(widget, &wheel);
}

} // namespace

class TestCCListEdit : public QObject
{
    Q_OBJECT

private slots:
    void spawnerAddsOneCurvePerChoice_data();
    void spawnerAddsOneCurvePerChoice();
    void spawnerWithoutChoiceOrEdgeDoesNothing();
    void rowsFollowTheCurvesInIdOrder();
    void typeNoneRemovesCurveAndRowInOneStep();
    void typeChangeCompletesThePoints();
    void newControllerLeavesTheSpawnerAlone();
    void onlyEdgesAreShown();
    void scrollAreaKeepsTheListAsWideAsItsRoom();
    void formNamesAndSettings();
    void wheelGoesToTheScrollArea();
    void curveFrameKeepsItsHeight();
    void images_data();
    void images();
};

void TestCCListEdit::spawnerAddsOneCurvePerChoice_data()
{
    QTest::addColumn<bool>("autoLsb");
    QTest::addColumn<int>("lsb");
    QTest::newRow("automatic LSB") << true << 33;
    QTest::newRow("no automatic LSB") << false << -1;
}

void TestCCListEdit::spawnerAddsOneCurvePerChoice()
{
    QFETCH(bool, autoLsb);
    QFETCH(int, lsb);
    CurveList doc;
    doc.setPreference(PreferenceKeys::ControllersAutoLsb, autoLsb);
    doc.list->setEdge(doc.edge);
    doc.settle();
    const QString undoBefore = doc.controller.undoText();

    Chooser* chooser = doc.list->itemSpawner()->ui.curveTypeChooser;
    chooser->setCurrentIndex(LinearCurve);
    doc.settle();

    QCOMPARE(chooser->currentIndex(), int(NoCurve));
    QCOMPARE(doc.curveIds().size(), 1);
    const QmdItemId id = doc.curveIds().constFirst();
    QCOMPARE(doc.curveValue(id, K::CurveType).toInt(), int(LinearCurve));
    QCOMPARE(doc.msb(id), 1);
    QCOMPARE(doc.lsb(id), lsb);
    QCOMPARE(doc.points(id), linearAtZero);
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Controller"));
    QVERIFY(doc.list->itemEdit(id));
    QCOMPARE(rowsInOrder(doc.list.get()),
             (QList<QWidget*> {doc.list->itemEdit(id), doc.list->itemSpawner()}));

    // The points were completed in the same step.
    doc.undo();
    QVERIFY(doc.curveIds().isEmpty());
    QCOMPARE(doc.controller.undoText(), undoBefore);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(rowsInOrder(doc.list.get()), QList<QWidget*> {doc.list->itemSpawner()});

    // The next choice adds the next curve, once.
    chooser->setCurrentIndex(SingleCurve);
    doc.settle();
    QCOMPARE(doc.curveIds().size(), 1);
    QCOMPARE(doc.points(doc.curveIds().constFirst()), QPolygonF {QPointF(0, 0)});
}

void TestCCListEdit::spawnerWithoutChoiceOrEdgeDoesNothing()
{
    CurveList doc;
    Chooser* chooser = doc.list->itemSpawner()->ui.curveTypeChooser;
    const QString undoBefore = doc.controller.undoText();
    // No edge shown yet.
    chooser->setCurrentIndex(CubicCurve);
    doc.settle();
    QVERIFY(doc.curveIds().isEmpty());

    doc.list->setEdge(doc.edge);
    doc.settle();
    chooser->setCurrentIndex(SingleCurve);
    doc.settle();
    QCOMPARE(doc.curveIds().size(), 1);
    chooser->blockSignals(true);
    chooser->setCurrentIndex(SingleCurve);
    chooser->blockSignals(false);
    chooser->setCurrentIndex(NoCurve);
    doc.settle();
    QCOMPARE(doc.curveIds().size(), 1);
    QVERIFY(doc.controller.undoText() != undoBefore);
}

void TestCCListEdit::rowsFollowTheCurvesInIdOrder()
{
    CurveList doc;
    const QmdItemId first = doc.addCurve(SingleCurve, 1, -1, {QPointF(0, 5)});
    const QmdItemId none = doc.addCurve(NoCurve, 2, -1, {});
    const QmdItemId second = doc.addCurve(LinearCurve, 3, -1, linearAtZero);
    const QmdItemId third = doc.addCurve(CubicCurve, 4, -1, linearAtZero);
    doc.list->setEdge(doc.edge);
    doc.settle();

    QVERIFY(!doc.list->itemEdit(none));
    const QList<QWidget*> rows = rowsInOrder(doc.list.get());
    QCOMPARE(rows,
             (QList<QWidget*> {doc.list->itemEdit(first), doc.list->itemEdit(second),
                               doc.list->itemEdit(third), doc.list->itemSpawner()}));
    // Lighter, darker, lighter, ... from the top.
    const QString lighter = QStringLiteral("background: rgba(190, 190, 190, 97)");
    const QString darker = QStringLiteral("background: rgba(130, 130, 130, 97)");
    QCOMPARE(backgroundOf(rows.at(0)), lighter);
    QCOMPARE(backgroundOf(rows.at(1)), darker);
    QCOMPARE(backgroundOf(rows.at(2)), lighter);
    QCOMPARE(backgroundOf(rows.at(3)), darker);

    // A row goes with its curve, and the stripes move up.
    doc.controller.requestRemove(doc.curveIndex(second), QmdRequestOptions(QStringLiteral("R")));
    doc.settle();
    QVERIFY(!doc.list->itemEdit(second));
    const QList<QWidget*> left = rowsInOrder(doc.list.get());
    QCOMPARE(left.size(), 3);
    QCOMPARE(left.at(1), doc.list->itemEdit(third));
    QCOMPARE(backgroundOf(left.at(1)), darker);
    QCOMPARE(backgroundOf(left.at(2)), lighter);
}

void TestCCListEdit::typeNoneRemovesCurveAndRowInOneStep()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(LinearCurve, 7, -1, {QPointF(0, 10), QPointF(1, 20)});
    CCItemEdit* row = doc.show(id);
    QVERIFY(row);
    const QString undoBefore = doc.controller.undoText();

    row->ui.curveTypeChooser->setCurrentIndex(NoCurve);
    doc.settle();
    QVERIFY(doc.curveIds().isEmpty());
    QVERIFY(!doc.list->itemEdit(id));
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Curve Type"));

    doc.undo();
    QCOMPARE(doc.controller.undoText(), undoBefore);
    QCOMPARE(doc.curveIds(), QmdItemIdList {id});
    QCOMPARE(doc.curveValue(id, K::CurveType).toInt(), int(LinearCurve));
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 10), QPointF(1, 20)}));
    QVERIFY(doc.list->itemEdit(id));
    QCOMPARE(doc.list->itemEdit(id)->ui.curveTypeChooser->currentIndex(), int(LinearCurve));

    // Redo removes both again, with no further step.
    doc.redo();
    QVERIFY(doc.curveIds().isEmpty());
    QVERIFY(!doc.list->itemEdit(id));
    QVERIFY(!doc.controller.canRedo());
}

void TestCCListEdit::typeChangeCompletesThePoints()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 10, -1, {QPointF(0, 700)});
    CCItemEdit* row = doc.show(id);
    row->ui.curveTypeChooser->setCurrentIndex(CubicCurve);
    doc.settle();
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 700), QPointF(1, 700)}));
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Curve Type"));
    QCOMPARE(row->ui.stackedEditWidget->currentIndex(), 1);
    QCOMPARE(row->curveHoverPoints()->points().size(), 2);

    doc.undo();
    QCOMPARE(doc.curveValue(id, K::CurveType).toInt(), int(SingleCurve));
    QCOMPARE(doc.points(id), QPolygonF {QPointF(0, 700)});
    QCOMPARE(row->ui.stackedEditWidget->currentIndex(), 0);
    QCOMPARE(row->ui.singleValueStandardCombinedSpinBox->value(), 700);
}

void TestCCListEdit::newControllerLeavesTheSpawnerAlone()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 1, -1, {QPointF(0, 0)});
    QVERIFY(doc.show(id));
    doc.list->setController(&doc.controller);
    QCOMPARE(rowsInOrder(doc.list.get()), QList<QWidget*> {doc.list->itemSpawner()});

    // Without an edge nothing is added, and a curve added elsewhere gets no row.
    doc.list->itemSpawner()->ui.curveTypeChooser->setCurrentIndex(SingleCurve);
    doc.settle();
    QCOMPARE(doc.curveIds().size(), 1);
    doc.addCurve(SingleCurve, 2, -1, {QPointF(0, 0)});
    QCOMPARE(rowsInOrder(doc.list.get()), QList<QWidget*> {doc.list->itemSpawner()});

    doc.list->setController(nullptr);
    doc.list->setEdge(doc.edge);
    QCOMPARE(rowsInOrder(doc.list.get()), QList<QWidget*> {doc.list->itemSpawner()});
}

void TestCCListEdit::onlyEdgesAreShown()
{
    CurveList doc;
    const QmdItemId node = doc.controller.data(K::FromNode, doc.edgeIndex()).toUInt();
    QVERIFY(node);
    doc.list->setEdge(node);
    doc.settle();
    QVERIFY(!doc.controller.index(K::ContinuousControllers, doc.controller.elementIndex(node))
                 .isValid());

    // An edge without a container gets one, outside the history.
    doc.controller.requestRemove(K::ContinuousControllers, doc.edgeIndex(),
                                 QmdRequestOptions(Qmd::NotUndoable, QString()));
    doc.settle();
    const QString undoBefore = doc.controller.undoText();
    doc.list->setEdge(doc.edge);
    doc.settle();
    QCOMPARE(doc.controller.type(doc.curvesIndex()), Qmd::IntDict);
    QCOMPARE(doc.controller.undoText(), undoBefore);
}

void TestCCListEdit::scrollAreaKeepsTheListAsWideAsItsRoom()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 1, -1, {QPointF(0, 0)});
    for (int i = 0; i < 3; ++i)
        doc.addCurve(LinearCurve, 1, -1, linearAtZero);
    QWidget window;
    auto* area = new CCListEditScrollArea(&window);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    CCListEdit* list = doc.list.release();
    area->setWidget(list);
    list->setController(&doc.controller);
    list->setEdge(doc.edge);
    doc.settle();
    area->setGeometry(0, 0, 300, 450);
    window.resize(300, 450);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(area->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(area->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(area->verticalScrollBar()->isVisible());
    QTRY_COMPARE(list->width(), area->viewport()->width());
    area->resize(260, 450);
    QTRY_COMPARE(list->width(), area->viewport()->width());
    QVERIFY(list->itemEdit(id)->width() <= area->viewport()->width());

    // With a frame, too.
    area->setFrameShape(QFrame::Box);
    area->setLineWidth(3);
    area->resize(280, 450);
    QTRY_COMPARE(list->width(), area->viewport()->width());
    delete area;
}

void TestCCListEdit::formNamesAndSettings()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 1, -1, {QPointF(0, 0)});
    CCItemEdit* row = doc.show(id);
    CCItemSpawner* spawner = doc.list->itemSpawner();
    for (CCItem* item : std::initializer_list<CCItem*> {row, spawner}) {
        QCOMPARE(item->objectName(), QStringLiteral("CCItemEditForm"));
        const QStringList tabs {"None", "Single", "Linear", "Cubic"};
        QCOMPARE(item->ui.curveTypeChooser->count(), tabs.size());
        for (int i = 0; i < tabs.size(); ++i)
            QCOMPARE(item->ui.curveTypeChooser->tabText(i), tabs.at(i));
        QVERIFY(!item->ui.curveTypeChooser->drawBase());
    }
    QVERIFY(spawner->ui.editContainer->isHidden());
    QVERIFY(!row->ui.editContainer->isHidden());
    QCOMPARE(row->ui.editContainer->height(), 160);

    // Every named widget of the form, by its object name.
    const QList<QWidget*> named {row->ui.curveTypeChooser,
                                 row->ui.editContainer,
                                 row->ui.msbLabel,
                                 row->ui.msbComboBox,
                                 row->ui.lsbLabel,
                                 row->ui.lsbComboBox,
                                 row->ui.stackedEditWidget,
                                 row->ui.singleValuePage,
                                 row->ui.curveEditPage,
                                 row->ui.singleValueCombinedDial,
                                 row->ui.singleValueCombinedSlider,
                                 row->ui.singleValueCombinedValueMarkers,
                                 row->ui.singleValueLsbValueMarkers,
                                 row->ui.singleValuePitchBendMarkers,
                                 row->ui.singleValueMsbSpinBox,
                                 row->ui.singleValueLsbSpinBox,
                                 row->ui.singleValueCombinedEqualsLabel,
                                 row->ui.singleValueStandardCombinedSpinBox,
                                 row->ui.singleValuePitchBendCombinedSpinBox,
                                 row->ui.curveEdit,
                                 row->ui.pointXSpinBox,
                                 row->ui.label_2,
                                 row->ui.pointMsbSpinBox,
                                 row->ui.pointLsbSpinBox,
                                 row->ui.pointCombinedEqualsLabel,
                                 row->ui.pointStandardCombinedSpinBox,
                                 row->ui.pointPitchBendCombinedSpinBox};
    const QStringList names {"curveTypeChooser",
                             "editContainer",
                             "msbLabel",
                             "msbComboBox",
                             "lsbLabel",
                             "lsbComboBox",
                             "stackedEditWidget",
                             "singleValuePage",
                             "curveEditPage",
                             "singleValueCombinedDial",
                             "singleValueCombinedSlider",
                             "singleValueCombinedValueMarkers",
                             "singleValueLsbValueMarkers",
                             "singleValuePitchBendMarkers",
                             "singleValueMsbSpinBox",
                             "singleValueLsbSpinBox",
                             "singleValueCombinedEqualsLabel",
                             "singleValueStandardCombinedSpinBox",
                             "singleValuePitchBendCombinedSpinBox",
                             "curveEdit",
                             "pointXSpinBox",
                             "label_2",
                             "pointMsbSpinBox",
                             "pointLsbSpinBox",
                             "pointCombinedEqualsLabel",
                             "pointStandardCombinedSpinBox",
                             "pointPitchBendCombinedSpinBox"};
    for (int i = 0; i < named.size(); ++i)
        QCOMPARE(named.at(i)->objectName(), names.at(i));
    QCOMPARE(row->ui.stackedEditWidget->widget(0), row->ui.singleValuePage);
    QCOMPARE(row->ui.stackedEditWidget->widget(1), row->ui.curveEditPage);
    QCOMPARE(row->ui.msbLabel->text(), QStringLiteral("MSB:"));
    QCOMPARE(row->ui.lsbComboBox->toolTip(), QStringLiteral("LSB Code"));
    QCOMPARE(row->ui.pointXSpinBox->singleStep(), 0.01);

    // The marker labels keep their pictures although the form gives some an empty text.
    const QList<QLabel*> markers {row->ui.label_20, row->ui.label_21, row->ui.label_22,
                                  row->ui.label_23, row->ui.label_24, row->ui.label_25,
                                  row->ui.label_26, row->ui.label_27, row->ui.label_28};
    for (QLabel* marker : markers)
        QVERIFY2(!marker->pixmap().isNull(), qPrintable(marker->objectName()));
    QCOMPARE(row->ui.label_22->pixmap().toImage(),
             QPixmap(QStringLiteral(":/images/SingleValue16383.png")).toImage());

    // The code combos: "None", "Pitch Bend" and the 128 controllers, keyed by code.
    for (QwpComboBox* combo : {row->ui.msbComboBox, row->ui.lsbComboBox}) {
        QCOMPARE(combo->count(), 4 + 128);
        QCOMPARE(combo->itemText(0), QStringLiteral("None"));
        QCOMPARE(combo->key(0), QVariant(-1));
        QCOMPARE(combo->itemText(2), QStringLiteral("Pitch Bend"));
        QCOMPARE(combo->key(2), QVariant(-2));
        QCOMPARE(combo->itemText(4 + 7), controllerInfo(7).name);
        QCOMPARE(combo->key(4 + 127), QVariant(127));
    }
    // A form on a frame that has a name keeps the name.
    QFrame named2;
    named2.setObjectName(QStringLiteral("mine"));
    Ui_CCItemEditForm form;
    form.setupUi(&named2);
    QCOMPARE(named2.objectName(), QStringLiteral("mine"));
}

void TestCCListEdit::wheelGoesToTheScrollArea()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 7, -1, {QPointF(0, 0)});
    for (int i = 0; i < 4; ++i)
        doc.addCurve(SingleCurve, 1, -1, {QPointF(0, 0)});
    CCListEditScrollArea area;
    area.setFrameShape(QFrame::NoFrame);
    area.setWidgetResizable(true);
    CCListEdit* list = doc.list.release();
    area.setWidget(list);
    list->setEdge(doc.edge);
    doc.settle();
    area.resize(300, 300);
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    QVERIFY(area.verticalScrollBar()->maximum() > 0);
    const QString undoBefore = doc.controller.undoText();

    CCItemEdit* row = list->itemEdit(id);
    int scrolled = area.verticalScrollBar()->value();
    for (QWidget* widget : std::initializer_list<QWidget*> {
             row->ui.curveTypeChooser, row->ui.msbComboBox, row->ui.lsbComboBox}) {
        turnWheel(widget);
        QVERIFY2(area.verticalScrollBar()->value() > scrolled, qPrintable(widget->objectName()));
        scrolled = area.verticalScrollBar()->value();
    }
    doc.settle();
    QCOMPARE(row->ui.curveTypeChooser->currentIndex(), int(SingleCurve));
    QCOMPARE(row->ui.msbComboBox->currentData(), QVariant(7));
    QCOMPARE(doc.controller.undoText(), undoBefore);
}

void TestCCListEdit::curveFrameKeepsItsHeight()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(LinearCurve, 1, -1, linearAtZero);
    CCItemEdit* row = doc.show(id);
    doc.list->resize(600, 800);
    doc.list->show();
    QVERIFY(QTest::qWaitForWindowExposed(doc.list.get()));
    QCOMPARE(row->ui.curveEdit->size(), QSize(265, 80));
    doc.list->resize(250, 200);
    QTRY_COMPARE(row->ui.curveEdit->height(), 80);
    QCOMPARE(row->ui.curveEdit->minimumHeight(), 80);
    QCOMPARE(row->ui.curveEdit->maximumHeight(), 80);
}

void TestCCListEdit::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qreal>("ratio");
    for (const char* kind : {"PitchBend", "MsbOnly", "MsbCombined"})
        QTest::newRow(kind) << QStringLiteral(":/images/CurveEditBackground%1@2x.png").arg(kind)
                            << QSize(530, 160) << 2.0;
    for (const char* value : {"0", "64", "127", "8192", "16383", "Neg8192", "Pos8191"})
        QTest::newRow(value) << QStringLiteral(":/images/SingleValue%1.png").arg(value)
                             << QSize(-1, 10) << 1.0;
}

void TestCCListEdit::images()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(qreal, ratio);
    const QPixmap pixmap(path);
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.devicePixelRatio(), ratio);
    QCOMPARE(pixmap.height(), size.height());
    if (size.width() > 0)
        QCOMPARE(pixmap.width(), size.width());
    else
        QVERIFY(pixmap.width() > 0 && pixmap.width() <= 40);
    QVERIFY(pixmap.hasAlphaChannel());
}

QTEST_MAIN(TestCCListEdit)
#include "tst_cclistedit.moc"
