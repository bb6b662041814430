#include "ControllerCurves.h"
#include "CurveListFixture.h"
#include "HoverPoints.h"
#include "MidiEvent.h"
#include "MidiInstrument.h"
#include "TestSync.h"

#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QTest>

#include <limits>

namespace K = QmdKelvoKeys;
using namespace QmdKelvo;

namespace {

const QPolygonF linearAtZero {QPointF(0, 0), QPointF(1, 0)};

QPolygonF flat(double value)
{
    return {QPointF(0, value), QPointF(1, value)};
}

QImage background(const char* name)
{
    return QPixmap(QStringLiteral(":/images/%1@2x.png").arg(QLatin1String(name))).toImage();
}

// Sends one MIDI message to a field; true when the field's row took the event.
bool sendMidi(QWidget* field, std::initializer_list<uchar> bytes)
{
    MidiEvent event(Qt::NoModifier, 0.0, QVector<uchar>(bytes));
    return QCoreApplication::sendEvent(field, &event);
}

// The distinct requests that finished while it listened.
struct RequestCounter
{
    explicit RequestCounter(QmdKelvoController* controller)
        : spy(controller, &QmdController::requestFinished)
    { }
    int count() const
    {
        QSet<QmdRequestId> ids;
        for (const QList<QVariant>& arguments : spy)
            ids.insert(arguments.at(0).value<QmdRequestId>());
        return int(ids.size());
    }
    QSignalSpy spy;
};

// Shows the curve list in a window of its own and gives a field the focus with a click.
bool openList(CurveList& doc)
{
    doc.list->resize(300, 400);
    doc.list->show();
    doc.list->activateWindow();
    return QTest::qWaitForWindowActive(doc.list.get());
}

bool clickInto(QWidget* field)
{
    QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, field->rect().center());
    return QTest::qWaitFor([field] { return field->hasFocus(); });
}

// Where the slider's handle is.
QPoint sliderHandle(const QSlider* slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.singleStep = slider->singleStep();
    option.pageStep = slider->pageStep();
    option.tickPosition = slider->tickPosition();
    option.tickInterval = slider->tickInterval();
    option.upsideDown = slider->invertedAppearance();
    option.direction = slider->layoutDirection();
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

} // namespace

class TestCCItemEdit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showingACurveChangesNothing();
    void pitchBendFromTheMsbCombo();
    void pitchBendFromTheLsbCombo();
    void automaticLsb();
    void defaultCurveReplacedOnlyWhileUntouched();
    void undoKeepsTheCodesOfItsStep_data();
    void undoKeepsTheCodesOfItsStep();
    void singleValueWritesOneRequestPerStep();
    void pointSpinBoxesMoveTheCurrentPoint();
    void typedValueIsOneStepWhenFinished();
    void typedPointPositionMovesThePointOnceFinished();
    void sliderAndDialDragsAreOneStep();
    void deleteKeyRemovesFreePointsOnly();
    void draggedPointIsWrittenAndNotFedBack();
    void smartResetWhilePlaying();
    void midiLearningOfASingleValue();
    void midiLearningOfACurvePoint();
    void unusableMidiIsSwallowed();
    void savedDocumentHoldsTheEdits();
};

// Selecting an edge shows its curves as they are: a volume curve deliberately at 0, an LSB
// left unpaired and a stored curve that lacks its end point all stay, and no step is added.
void TestCCItemEdit::initTestCase()
{
    // Typed numbers are read with a point for decimals whatever the machine's locale.
    QLocale::setDefault(QLocale::c());
}

void TestCCItemEdit::showingACurveChangesNothing()
{
    CurveList doc;
    doc.setPreference(PreferenceKeys::ControllersAutoLsb, true);
    const QmdItemId volume = doc.addCurve(LinearCurve, 7, -1, linearAtZero);
    const QmdItemId unpaired = doc.addCurve(SingleCurve, 1, -1, {QPointF(0, 300)});
    const QmdItemId incomplete = doc.addCurve(LinearCurve, 10, -1, {QPointF(0, 700)});
    const QmdItemId pitchBend = doc.addCurve(SingleCurve, -2, -2, {QPointF(0, 0)});
    // A step to redo, which any new request would drop.
    doc.addCurve(CubicCurve, 2, -1, linearAtZero);
    doc.undo();
    QVERIFY(doc.controller.canRedo());
    const QString undoBefore = doc.controller.undoText();
    const QByteArray before = doc.savedFile();
    QVERIFY(!before.isEmpty());

    doc.list->setEdge(doc.edge);
    doc.settle();
    for (QmdItemId id : {volume, unpaired, incomplete, pitchBend})
        QVERIFY(doc.list->itemEdit(id));
    QCOMPARE(doc.savedFile(), before);
    QCOMPARE(doc.controller.undoText(), undoBefore);
    QVERIFY(doc.controller.canRedo());

    // Shown as stored, an incomplete curve completed for its type.
    CCItemEdit* row = doc.list->itemEdit(volume);
    QCOMPARE(row->ui.msbComboBox->currentData(), QVariant(7));
    QCOMPARE(row->ui.lsbComboBox->currentData(), QVariant(-1));
    QCOMPARE(row->curveHoverPoints()->points(),
             (QPolygonF {CCItemEdit::PlotRect.bottomLeft(), CCItemEdit::PlotRect.bottomRight()}));
    QCOMPARE(doc.list->itemEdit(unpaired)->ui.singleValueCombinedSlider->value(), 300);
    const HoverPoints* completed = doc.list->itemEdit(incomplete)->curveHoverPoints();
    QCOMPARE(completed->points().size(), 2);
    QCOMPARE(completed->points().at(1).x(), CCItemEdit::PlotRect.right());
    QCOMPARE(doc.list->itemEdit(pitchBend)->ui.singleValuePitchBendCombinedSpinBox->value(), -8192);
}

void TestCCItemEdit::pitchBendFromTheMsbCombo()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(LinearCurve, 1, -1, linearAtZero);
    CCItemEdit* row = doc.show(id);
    QVERIFY(row->ui.lsbComboBox->isEnabled());
    QVERIFY(row->ui.pointPitchBendCombinedSpinBox->isHidden());
    QCOMPARE(row->ui.curveEdit->pixmap.toImage(), background("CurveEditBackgroundMsbOnly"));
    const QString undoBefore = doc.controller.undoText();

    chooseKey(row->ui.msbComboBox, PitchBendCode);
    doc.settle();
    QCOMPARE(doc.msb(id), PitchBendCode);
    QCOMPARE(doc.lsb(id), PitchBendCode);
    QCOMPARE(doc.points(id), flat(8192));
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Controller MSB"));
    QCOMPARE(row->ui.lsbComboBox->currentData(), QVariant(PitchBendCode));
    QVERIFY(!row->ui.lsbComboBox->isEnabled());
    for (QWidget* shown : std::initializer_list<QWidget*> {
             row->ui.singleValuePitchBendCombinedSpinBox, row->ui.singleValuePitchBendMarkers,
             row->ui.pointPitchBendCombinedSpinBox})
        QVERIFY(!shown->isHidden());
    for (QWidget* hidden : std::initializer_list<QWidget*> {
             row->ui.singleValueMsbSpinBox, row->ui.singleValueLsbValueMarkers,
             row->ui.pointMsbSpinBox, row->ui.pointLsbSpinBox, row->ui.pointStandardCombinedSpinBox,
             row->ui.singleValueCombinedValueMarkers})
        QVERIFY(hidden->isHidden());
    QCOMPARE(row->ui.curveEdit->pixmap.toImage(), background("CurveEditBackgroundPitchBend"));
    QCOMPARE(row->ui.curveEdit->pixmap.devicePixelRatio(), 2.0);

    // Leaving pitch bend takes the LSB off it too, in the same step.
    chooseKey(row->ui.msbComboBox, 7);
    doc.settle();
    QCOMPARE(doc.lsb(id), NoControllerCode);
    QCOMPARE(doc.points(id), flat(16256));
    QVERIFY(row->ui.lsbComboBox->isEnabled());
    doc.undo();
    QCOMPARE(doc.msb(id), PitchBendCode);
    QCOMPARE(doc.lsb(id), PitchBendCode);
    QCOMPARE(doc.points(id), flat(8192));
    doc.undo();
    QCOMPARE(doc.msb(id), 1);
    QCOMPARE(doc.lsb(id), NoControllerCode);
    QCOMPARE(doc.points(id), linearAtZero);
    QCOMPARE(doc.controller.undoText(), undoBefore);
    QCOMPARE(row->ui.msbComboBox->currentData(), QVariant(1));
    QCOMPARE(row->ui.curveEdit->pixmap.toImage(), background("CurveEditBackgroundMsbOnly"));
}

void TestCCItemEdit::pitchBendFromTheLsbCombo()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 10, 42, {QPointF(0, 1000)});
    CCItemEdit* row = doc.show(id);
    QCOMPARE(row->ui.curveEdit->pixmap.toImage(), background("CurveEditBackgroundMsbCombined"));
    chooseKey(row->ui.lsbComboBox, PitchBendCode);
    doc.settle();
    QCOMPARE(doc.msb(id), PitchBendCode);
    QCOMPARE(doc.lsb(id), PitchBendCode);
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Controller LSB"));
    // An edited value stays.
    QCOMPARE(doc.points(id), QPolygonF {QPointF(0, 1000)});
    doc.undo();
    QCOMPARE(doc.msb(id), 10);
    QCOMPARE(doc.lsb(id), 42);
}

void TestCCItemEdit::automaticLsb()
{
    CurveList doc;
    doc.setPreference(PreferenceKeys::ControllersAutoLsb, true);
    const QmdItemId id = doc.addCurve(SingleCurve, 1, 33, {QPointF(0, 0)});
    CCItemEdit* row = doc.show(id);

    const auto choose = [&](int msb) {
        chooseKey(row->ui.msbComboBox, msb);
        doc.settle();
        return doc.lsb(id);
    };
    QCOMPARE(choose(7), 39);
    QCOMPARE(choose(64), 39);
    QCOMPARE(choose(99), 98);
    QCOMPARE(choose(PitchBendCode), PitchBendCode);
    QCOMPARE(choose(64), NoControllerCode);
    QCOMPARE(choose(101), 100);
    QCOMPARE(row->ui.lsbComboBox->currentData(), QVariant(100));

    // Off: a coarse controller keeps what the LSB holds.
    doc.setPreference(PreferenceKeys::ControllersAutoLsb, false);
    QCOMPARE(choose(7), 100);
    QCOMPARE(choose(PitchBendCode), PitchBendCode);
    QCOMPARE(choose(7), NoControllerCode);
}

void TestCCItemEdit::defaultCurveReplacedOnlyWhileUntouched()
{
    CurveList doc;
    const QmdItemId untouched = doc.addCurve(LinearCurve, 1, -1, linearAtZero);
    const QmdItemId moved = doc.addCurve(LinearCurve, 1, -1, {QPointF(0, 0), QPointF(1, 50)});
    const QmdItemId single = doc.addCurve(SingleCurve, 7, -1, {QPointF(0, 16256)});
    doc.list->setEdge(doc.edge);
    doc.settle();

    chooseKey(doc.list->itemEdit(untouched)->ui.msbComboBox, 7);
    chooseKey(doc.list->itemEdit(moved)->ui.msbComboBox, 7);
    chooseKey(doc.list->itemEdit(single)->ui.msbComboBox, 10);
    doc.settle();
    QCOMPARE(doc.points(untouched), flat(16256));
    QCOMPARE(doc.points(moved), (QPolygonF {QPointF(0, 0), QPointF(1, 50)}));
    QCOMPARE(doc.points(single), QPolygonF {QPointF(0, 8192)});
    QCOMPARE(doc.list->itemEdit(single)->ui.singleValueCombinedSlider->value(), 8192);

    // A default that was edited since is the user's value.
    doc.list->itemEdit(single)->ui.singleValueCombinedSlider->setValue(5000);
    doc.settle();
    chooseKey(doc.list->itemEdit(single)->ui.msbComboBox, 7);
    doc.settle();
    QCOMPARE(doc.points(single), QPolygonF {QPointF(0, 5000)});
}

void TestCCItemEdit::undoKeepsTheCodesOfItsStep_data()
{
    QTest::addColumn<bool>("autoLsbBefore");
    QTest::addColumn<int>("lsbBefore");
    QTest::addColumn<int>("lsbAfter");
    QTest::newRow("switched on") << false << -1 << -1;
    QTest::newRow("switched off") << true << 33 << 39;
}

// Undo and redo bring back the codes of the step, whatever the preference says now, and the
// redo stays available.
void TestCCItemEdit::undoKeepsTheCodesOfItsStep()
{
    QFETCH(bool, autoLsbBefore);
    QFETCH(int, lsbBefore);
    QFETCH(int, lsbAfter);
    CurveList doc;
    doc.setPreference(PreferenceKeys::ControllersAutoLsb, autoLsbBefore);
    const QmdItemId id = doc.addCurve(SingleCurve, 1, lsbBefore, {QPointF(0, 0)});
    CCItemEdit* row = doc.show(id);
    chooseKey(row->ui.msbComboBox, 7);
    doc.settle();
    QCOMPARE(doc.lsb(id), lsbAfter);
    const QPolygonF changed = doc.points(id);

    doc.setPreference(PreferenceKeys::ControllersAutoLsb, !autoLsbBefore);
    doc.undo();
    QCOMPARE(doc.msb(id), 1);
    QCOMPARE(doc.lsb(id), lsbBefore);
    QCOMPARE(doc.points(id), QPolygonF {QPointF(0, 0)});
    QVERIFY(doc.controller.canRedo());
    QCOMPARE(row->ui.lsbComboBox->currentData(), QVariant(lsbBefore));
    doc.redo();
    QCOMPARE(doc.msb(id), 7);
    QCOMPARE(doc.lsb(id), lsbAfter);
    QCOMPARE(doc.points(id), changed);
    QVERIFY(!doc.controller.canRedo());
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Controller MSB"));
}

void TestCCItemEdit::singleValueWritesOneRequestPerStep()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 7, 39, {QPointF(0, 100), QPointF(0.5, 200)});
    CCItemEdit* row = doc.show(id);
    Ui_CCItemEditForm& ui = row->ui;
    QCOMPARE(ui.singleValueStandardCombinedSpinBox->value(), 100);

    RequestCounter requests(&doc.controller);
    ui.singleValueCombinedSlider->setValue(5000);
    doc.settle();
    ui.singleValueCombinedSlider->setValue(6000);
    doc.settle();
    QCOMPARE(requests.count(), 2);
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Set Data"));
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 6000), QPointF(0.5, 200)}));
    QCOMPARE(ui.singleValueCombinedDial->value(), 6000);
    QCOMPARE(ui.singleValueStandardCombinedSpinBox->value(), 6000);
    QCOMPARE(ui.singleValueMsbSpinBox->value(), 6000 / 128);
    QCOMPARE(ui.singleValueLsbSpinBox->value(), 6000 % 128);
    QCOMPARE(ui.singleValuePitchBendCombinedSpinBox->value(), 6000 - 8192);

    // The other fields, one request each.
    requests.spy.clear();
    ui.singleValueCombinedDial->setValue(7000);
    ui.singleValueMsbSpinBox->setValue(10);
    ui.singleValueLsbSpinBox->setValue(3);
    ui.singleValuePitchBendCombinedSpinBox->setValue(100);
    doc.settle();
    QCOMPARE(requests.count(), 4);
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 8292), QPointF(0.5, 200)}));
    QCOMPARE(ui.singleValueMsbSpinBox->value(), 8292 / 128);

    doc.undo();
    QCOMPARE(doc.points(id).constFirst(), QPointF(0, 10 * 128 + 3));
    QCOMPARE(ui.singleValueCombinedSlider->value(), 10 * 128 + 3);
}

void TestCCItemEdit::pointSpinBoxesMoveTheCurrentPoint()
{
    CurveList doc;
    const QmdItemId id
        = doc.addCurve(LinearCurve, 7, 39, {QPointF(0, 0), QPointF(0.25, 1000), QPointF(1, 0)});
    CCItemEdit* row = doc.show(id);
    Ui_CCItemEditForm& ui = row->ui;
    HoverPoints* points = row->curveHoverPoints();
    QCOMPARE(points->currentIndex(), 0);
    points->setCurrentIndex(1);
    QVERIFY(ui.pointXSpinBox->isEnabled());
    QCOMPARE(ui.pointXSpinBox->value(), 0.25);
    QCOMPARE(ui.pointStandardCombinedSpinBox->value(), 1000);

    ui.pointXSpinBox->setValue(0.5);
    doc.settle();
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 0), QPointF(0.5, 1000), QPointF(1, 0)}));
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Curve Points"));
    ui.pointStandardCombinedSpinBox->setValue(16383);
    doc.settle();
    QCOMPARE(doc.points(id).at(1), QPointF(0.5, 16383));
    QCOMPARE(points->points().at(1).y(), CCItemEdit::PlotRect.top());
    ui.pointLsbSpinBox->setValue(0);
    doc.settle();
    QCOMPARE(doc.points(id).at(1), QPointF(0.5, 16256));
    QCOMPARE(ui.pointStandardCombinedSpinBox->value(), 16256);

    // The first point keeps to the start of the edge.
    points->setCurrentIndex(0);
    ui.pointXSpinBox->setValue(0.3);
    ui.pointStandardCombinedSpinBox->setValue(200);
    doc.settle();
    QCOMPARE(doc.points(id).constFirst(), QPointF(0, 200));
    QCOMPARE(ui.pointXSpinBox->value(), 0.0);

    // Undo moves the point back and the fields with it.
    doc.undo();
    QCOMPARE(doc.points(id).constFirst(), QPointF(0, 0));
    QCOMPARE(ui.pointStandardCombinedSpinBox->value(), 0);
}

// Typed digits are one value, written when the user finishes it: with Return, by leaving the
// field, or with an arrow key.
void TestCCItemEdit::typedValueIsOneStepWhenFinished()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 7, 39, {QPointF(0, 5000)});
    CCItemEdit* row = doc.show(id);
    QVERIFY(openList(doc));
    Ui_CCItemEditForm& ui = row->ui;
    const QString undoBefore = doc.controller.undoText();
    RequestCounter requests(&doc.controller);

    QVERIFY(clickInto(ui.singleValueStandardCombinedSpinBox));
    QTest::keyClick(ui.singleValueStandardCombinedSpinBox, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(ui.singleValueStandardCombinedSpinBox, QStringLiteral("100"));
    doc.settle();
    QCOMPARE(requests.count(), 0);
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 5000)}));
    QTest::keyClick(ui.singleValueStandardCombinedSpinBox, Qt::Key_Return);
    doc.settle();
    QCOMPARE(requests.count(), 1);
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 100)}));
    QCOMPARE(ui.singleValueCombinedSlider->value(), 100);

    // Leaving the field finishes it too; the MSB field writes the combined value once.
    requests.spy.clear();
    QVERIFY(clickInto(ui.singleValueMsbSpinBox));
    QTest::keyClick(ui.singleValueMsbSpinBox, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(ui.singleValueMsbSpinBox, QStringLiteral("64"));
    doc.settle();
    QCOMPARE(requests.count(), 0);
    QVERIFY(clickInto(ui.singleValueLsbSpinBox));
    doc.settle();
    QCOMPARE(requests.count(), 1);
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 64 * 128 + 100 % 128)}));

    // An arrow steps at once.
    requests.spy.clear();
    QTest::keyClick(ui.singleValueLsbSpinBox, Qt::Key_Up);
    doc.settle();
    QCOMPARE(requests.count(), 1);
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 64 * 128 + 100 % 128 + 1)}));

    doc.undo();
    doc.undo();
    doc.undo();
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 5000)}));
    QCOMPARE(doc.controller.undoText(), undoBefore);
}

// A position typed into the x field moves the current point there once finished, as one step;
// the unfinished text ("0", "0.") neither moves the point nor is rewritten.
void TestCCItemEdit::typedPointPositionMovesThePointOnceFinished()
{
    CurveList doc;
    const QPolygonF stored {QPointF(0, 0), QPointF(0.3, 5000), QPointF(0.6, 9000), QPointF(1, 0)};
    const QmdItemId id = doc.addCurve(LinearCurve, 7, 39, stored);
    CCItemEdit* row = doc.show(id);
    QVERIFY(openList(doc));
    Ui_CCItemEditForm& ui = row->ui;
    row->curveHoverPoints()->setCurrentIndex(2);
    QCOMPARE(ui.pointXSpinBox->value(), 0.6);
    const QString undoBefore = doc.controller.undoText();
    RequestCounter requests(&doc.controller);

    QVERIFY(clickInto(ui.pointXSpinBox));
    QTest::keyClick(ui.pointXSpinBox, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(ui.pointXSpinBox, QStringLiteral("0.9"));
    doc.settle();
    QCOMPARE(ui.pointXSpinBox->text(), QStringLiteral("0.9"));
    QCOMPARE(requests.count(), 0);
    QCOMPARE(doc.points(id), stored);
    QTest::keyClick(ui.pointXSpinBox, Qt::Key_Return);
    doc.settle();
    QCOMPARE(requests.count(), 1);
    const QPolygonF moved = doc.points(id);
    QCOMPARE(moved.size(), 4);
    QCOMPARE(moved.at(1), QPointF(0.3, 5000));
    QVERIFY(qAbs(moved.at(2).x() - 0.9) < 0.001);
    QCOMPARE(moved.at(2).y(), 9000.0);
    QCOMPARE(ui.pointXSpinBox->value(), 0.9);
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Curve Points"));
    doc.undo();
    QCOMPARE(doc.points(id), stored);
    QCOMPARE(doc.controller.undoText(), undoBefore);
}

// A drag of the slider or the dial is written as it goes and undone as one step.
void TestCCItemEdit::sliderAndDialDragsAreOneStep()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 7, 39, {QPointF(0, 0), QPointF(0.5, 200)});
    CCItemEdit* row = doc.show(id);
    QVERIFY(openList(doc));
    const QString undoBefore = doc.controller.undoText();
    RequestCounter requests(&doc.controller);

    QSlider* slider = row->ui.singleValueCombinedSlider;
    QPoint at = sliderHandle(slider);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, at);
    QList<double> written;
    for (int step = 1; step <= 3; ++step) {
        at += QPoint(slider->width() / 5, 0);
        QTest::mouseMove(slider, at);
        doc.settle();
        written.append(doc.points(id).constFirst().y());
    }
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, at);
    doc.settle();
    // Written as the drag went.
    QVERIFY(written.at(0) > 0);
    QVERIFY(written.at(0) < written.at(1) && written.at(1) < written.at(2));
    QCOMPARE(doc.points(id).constFirst().y(), double(slider->value()));
    // Each position a request, all of them under the drag's one id.
    QVERIFY(requests.spy.size() >= 3);
    QCOMPARE(requests.count(), 1);
    doc.undo();
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 0), QPointF(0.5, 200)}));
    QCOMPARE(slider->value(), 0);
    QCOMPARE(doc.controller.undoText(), undoBefore);

    // The dial, from its bottom round to its top.
    QDial* dial = row->ui.singleValueCombinedDial;
    const QPoint centre = dial->rect().center();
    const int r = qMin(dial->width(), dial->height()) / 3;
    QTest::mousePress(dial, Qt::LeftButton, Qt::NoModifier, centre + QPoint(-r, r / 2));
    QTest::mouseMove(dial, centre + QPoint(-r, 0));
    doc.settle();
    QTest::mouseMove(dial, centre + QPoint(0, -r));
    doc.settle();
    QTest::mouseRelease(dial, Qt::LeftButton, Qt::NoModifier, centre + QPoint(0, -r));
    doc.settle();
    QVERIFY(doc.points(id).constFirst().y() > 0);
    doc.undo();
    QCOMPARE(doc.points(id).constFirst().y(), 0.0);
    QCOMPARE(doc.controller.undoText(), undoBefore);
}

void TestCCItemEdit::deleteKeyRemovesFreePointsOnly()
{
    CurveList doc;
    const QPolygonF three {QPointF(0, 0), QPointF(0.5, 1000), QPointF(1, 0)};
    const QmdItemId id = doc.addCurve(CubicCurve, 7, -1, three);
    CCItemEdit* row = doc.show(id);
    HoverPoints* points = row->curveHoverPoints();
    const QString undoBefore = doc.controller.undoText();
    RequestCounter requests(&doc.controller);

    QCOMPARE(points->currentIndex(), 0);
    QTest::keyClick(row->ui.curveEdit, Qt::Key_Delete);
    points->setCurrentIndex(2);
    QTest::keyClick(row->ui.curveEdit, Qt::Key_Backspace);
    doc.settle();
    QCOMPARE(doc.points(id), three);
    QCOMPARE(requests.count(), 0);
    QCOMPARE(doc.controller.undoText(), undoBefore);

    points->setCurrentIndex(1);
    QTest::keyClick(row->ui.curveEdit, Qt::Key_Delete);
    doc.settle();
    QCOMPARE(doc.points(id), linearAtZero);
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Curve Points"));
    // Another point is current, so that the fields keep editing one.
    QCOMPARE(points->currentIndex(), 0);
    QVERIFY(row->ui.pointXSpinBox->isEnabled());
}

void TestCCItemEdit::draggedPointIsWrittenAndNotFedBack()
{
    CurveList doc;
    const QmdItemId id
        = doc.addCurve(LinearCurve, 7, 39, {QPointF(0, 0), QPointF(0.5, 8000), QPointF(1, 0)});
    CCItemEdit* row = doc.show(id);
    doc.list->resize(300, 400);
    doc.list->show();
    QVERIFY(QTest::qWaitForWindowExposed(doc.list.get()));
    QWidget* frame = row->ui.curveEdit;
    const QPoint grip = curvePointToWidget(QPointF(0.5, 8000), CCItemEdit::PlotRect).toPoint();
    const QString undoBefore = doc.controller.undoText();

    QTest::mousePress(frame, Qt::LeftButton, Qt::NoModifier, grip);
    QTest::mouseMove(frame, QPoint(100, 20));
    doc.settle();
    QTest::mouseMove(frame, QPoint(90, 15));
    doc.settle();
    QTest::mouseRelease(frame, Qt::LeftButton, Qt::NoModifier, QPoint(90, 15));
    doc.settle();

    const QPointF dropped = widgetToCurvePoint(QPointF(90, 15), CCItemEdit::PlotRect);
    QCOMPARE(doc.points(id), (QPolygonF {QPointF(0, 0), dropped, QPointF(1, 0)}));
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Curve Points"));
    // The point stays where the mouse left it, not where the stored value would put it.
    QCOMPARE(row->curveHoverPoints()->points().at(1), QPointF(90, 15));
    QCOMPARE(row->ui.pointStandardCombinedSpinBox->value(), int(dropped.y()));
    // The drag is one step.
    doc.undo();
    QCOMPARE(doc.points(id).at(1), QPointF(0.5, 8000));
    QCOMPARE(row->curveHoverPoints()->points().at(1),
             curvePointToWidget(QPointF(0.5, 8000), CCItemEdit::PlotRect));

    // A click beside the points adds one, and dragging it on is the same step.
    QTest::mousePress(frame, Qt::LeftButton, Qt::NoModifier, QPoint(200, 60));
    QTest::mouseMove(frame, QPoint(210, 60));
    QTest::mouseRelease(frame, Qt::LeftButton, Qt::NoModifier, QPoint(210, 60));
    doc.settle();
    QCOMPARE(doc.points(id).size(), 4);
    doc.undo();
    QCOMPARE(doc.points(id).size(), 3);
    QCOMPARE(doc.controller.undoText(), undoBefore);
}

// The controller that a curve leaves while the transport plays goes back to its reset value
// on every instrument, at the transport's position.
void TestCCItemEdit::smartResetWhilePlaying()
{
    TestSync::registerType();
    CurveList doc;
    doc.controller.requestAddInstrument(QmdRequestOptions(QStringLiteral("Instrument")));
    doc.controller.requestAddInstrument(QmdRequestOptions(QStringLiteral("Instrument")));
    doc.controller.requestSetData(K::SyncType, TestSync::staticTypeId(), QmdIndex(),
                                  QmdRequestOptions(Qmd::NotUndoable, QString()));
    doc.settle();
    auto* clock = qobject_cast<TestSync*>(doc.controller.sync());
    QVERIFY(clock);
    clock->setTicksElapsed(12345);
    clock->setPlaying(true);
    const QHash<QmdItemId, MidiInstrument*> instruments = doc.controller.instrumentsCopy();
    QCOMPARE(instruments.size(), 2);
    // The output threads are not playing, so what reaches their pipes stays there.
    for (MidiInstrument* instrument : instruments)
        QVERIFY(instrument->currentState() != AbstractOutputThread::Running);
    const auto taken = [&instruments]() {
        QStringList messages;
        QStringList other;
        for (auto it = instruments.cbegin(); it != instruments.cend(); ++it) {
            QVector<InstrumentMsg> out;
            it.value()->pipe.tryReadIfReady(out, 32, std::numeric_limits<quint64>::max());
            QStringList texts;
            for (const InstrumentMsg& m : std::as_const(out))
                texts << QStringLiteral("%1:%2:%3@%4")
                             .arg(m.kind)
                             .arg(m.data1)
                             .arg(m.data2)
                             .arg(m.time);
            (it == instruments.cbegin() ? messages : other) = texts;
        }
        // Every instrument gets the same.
        return messages == other ? messages : QStringList {QStringLiteral("differ")};
    };
    const QString cc = QString::number(InstrumentMsg::ControlChange);
    const QString bend = QString::number(InstrumentMsg::PitchBend);

    const QmdItemId pan = doc.addCurve(SingleCurve, 10, -1, {QPointF(0, 100)});
    const QmdItemId pitchBend = doc.addCurve(SingleCurve, -2, -2, {QPointF(0, 100)});
    const QmdItemId volume = doc.addCurve(SingleCurve, 7, 39, {QPointF(0, 100)});
    doc.list->setEdge(doc.edge);
    doc.settle();
    QCOMPARE(taken(), QStringList());

    chooseKey(doc.list->itemEdit(pan)->ui.msbComboBox, 11);
    doc.settle();
    QCOMPARE(taken(), QStringList {cc + ":10:64@12345"});

    // Off pitch bend: the bend goes back to its centre, once, though the LSB leaves it too.
    clock->setTicksElapsed(20000);
    chooseKey(doc.list->itemEdit(pitchBend)->ui.msbComboBox, 7);
    doc.settle();
    QCOMPARE(doc.lsb(pitchBend), NoControllerCode);
    QCOMPARE(taken(), QStringList {bend + ":64:0@20000"});

    // The fine controller, with its own reset value.
    chooseKey(doc.list->itemEdit(volume)->ui.lsbComboBox, 40);
    doc.settle();
    QCOMPARE(taken(), QStringList {cc + ":39:127@20000"});

    // Undo changes the controller back, and resets the one it leaves.
    doc.undo();
    QCOMPARE(taken(), QStringList {cc + ":40:0@20000"});

    // Nothing while stopped, or with the preference off.
    clock->setPlaying(false);
    chooseKey(doc.list->itemEdit(pan)->ui.msbComboBox, 12);
    doc.settle();
    QCOMPARE(taken(), QStringList());
    clock->setPlaying(true);
    doc.setPreference(PreferenceKeys::ControllersSmartReset, false);
    chooseKey(doc.list->itemEdit(pan)->ui.msbComboBox, 13);
    doc.settle();
    QCOMPARE(taken(), QStringList());
    QCOMPARE(doc.msb(pan), 13);
}

void TestCCItemEdit::midiLearningOfASingleValue()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 1, 33, {QPointF(0, 5)});
    CCItemEdit* row = doc.show(id);
    QCOMPARE(row->ui.singleValueLsbSpinBox->value(), 5);
    const QString undoBefore = doc.controller.undoText();

    QVERIFY(sendMidi(row->ui.msbComboBox, {0xB3, 74, 100}));
    doc.settle();
    QCOMPARE(doc.msb(id), 74);
    QCOMPARE(doc.lsb(id), 33);
    QCOMPARE(doc.points(id), QPolygonF {QPointF(0, 100 * 128 + 5)});
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Controller MSB && Value"));
    QCOMPARE(row->ui.msbComboBox->currentData(), QVariant(74));
    QCOMPARE(row->ui.singleValueStandardCombinedSpinBox->value(), 100 * 128 + 5);

    // Pitch bend: the 14-bit value from the message, the LSB on pitch bend too, one step.
    QVERIFY(sendMidi(row->ui.singleValueCombinedDial, {0xE5, 0x10, 0x40}));
    doc.settle();
    QCOMPARE(doc.msb(id), PitchBendCode);
    QCOMPARE(doc.lsb(id), PitchBendCode);
    QCOMPARE(doc.points(id), QPolygonF {QPointF(0, 64 * 128 + 16)});
    QCOMPARE(row->ui.singleValuePitchBendCombinedSpinBox->value(), 64 * 128 + 16 - 8192);
    doc.undo();
    QCOMPARE(doc.msb(id), 74);
    QCOMPARE(doc.lsb(id), 33);
    QCOMPARE(doc.points(id), QPolygonF {QPointF(0, 100 * 128 + 5)});
    doc.undo();
    QCOMPARE(doc.msb(id), 1);
    QCOMPARE(doc.points(id), QPolygonF {QPointF(0, 5)});
    QCOMPARE(doc.controller.undoText(), undoBefore);
}

void TestCCItemEdit::midiLearningOfACurvePoint()
{
    CurveList doc;
    const QmdItemId id
        = doc.addCurve(CubicCurve, 7, 39, {QPointF(0, 0), QPointF(0.5, 3), QPointF(1, 0)});
    const QmdItemId shortCurve = doc.addCurve(LinearCurve, 1, -1, {QPointF(0, 0)});
    CCItemEdit* row = doc.show(id);
    row->curveHoverPoints()->setCurrentIndex(1);
    QCOMPARE(row->ui.pointLsbSpinBox->value(), 3);

    QVERIFY(sendMidi(row->ui.curveEdit, {0xB0, 11, 90}));
    doc.settle();
    QCOMPARE(doc.msb(id), 11);
    QCOMPARE(doc.points(id),
             (QPolygonF {QPointF(0, 0), QPointF(0.5, 90 * 128 + 3), QPointF(1, 0)}));
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Controller MSB && Curve Points"));

    // A stored curve short of its end point gets it with the learned value.
    CCItemEdit* shortRow = doc.list->itemEdit(shortCurve);
    QVERIFY(shortRow);
    QCOMPARE(shortRow->curveHoverPoints()->currentIndex(), 0);
    QVERIFY(sendMidi(shortRow->ui.pointMsbSpinBox, {0xB0, 12, 1}));
    doc.settle();
    QCOMPARE(doc.msb(shortCurve), 12);
    QCOMPARE(doc.points(shortCurve), (QPolygonF {QPointF(0, 128), QPointF(1, 0)}));
}

void TestCCItemEdit::unusableMidiIsSwallowed()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(SingleCurve, 1, -1, {QPointF(0, 5)});
    CCItemEdit* row = doc.show(id);
    RequestCounter requests(&doc.controller);
    QVERIFY(sendMidi(row->ui.msbComboBox, {0x90, 60, 100}));
    QVERIFY(sendMidi(row->ui.lsbComboBox, {0xB0, 74}));
    QVERIFY(sendMidi(row->ui.singleValueMsbSpinBox, {0xB0, 74, 0x80}));
    QVERIFY(sendMidi(row->ui.singleValueCombinedSlider, {0xB0, 0x80, 1}));
    QVERIFY(sendMidi(row->ui.pointLsbSpinBox, {0xE0, 1, 2, 3}));
    doc.settle();
    QCOMPARE(requests.count(), 0);
    QCOMPARE(doc.msb(id), 1);

    // Another event of the same type is not taken for a MIDI message, and the x field, which
    // does not learn, leaves MIDI alone.
    QEvent other(MidiEvent::MidiEventType);
    QCoreApplication::sendEvent(row->ui.msbComboBox, &other);
    sendMidi(row->ui.pointXSpinBox, {0xB0, 74, 1});
    doc.settle();
    QCOMPARE(requests.count(), 0);
}

// What the editors wrote reads back from a saved file.
void TestCCItemEdit::savedDocumentHoldsTheEdits()
{
    CurveList doc;
    const QmdItemId id = doc.addCurve(LinearCurve, 1, -1, linearAtZero);
    CCItemEdit* row = doc.show(id);
    chooseKey(row->ui.msbComboBox, 74);
    row->curveHoverPoints()->setCurrentIndex(1);
    row->ui.pointStandardCombinedSpinBox->setValue(1234);
    doc.settle();
    const QByteArray saved = doc.savedFile();

    CurveList other;
    QFile file(other.dir.filePath(QStringLiteral("copy.kvd")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(saved);
    file.close();
    other.controller.requestLoad(file.fileName());
    other.settle();
    const QmdIndex edge = other.controller.elementIndex(doc.edge);
    const QmdIndex curves = other.controller.index(K::ContinuousControllers, edge);
    const QmdIndex curve = other.controller.index(id, curves);
    QCOMPARE(other.controller.data(K::CurveType, curve).toInt(), int(LinearCurve));
    QCOMPARE(other.controller.data(K::MsbCode, curve).toInt(), 74);
    QCOMPARE(other.controller.data(K::LsbCode, curve).toInt(), -1);
    QCOMPARE(other.controller.data(K::CurvePoints, curve).value<QPolygonF>(),
             (QPolygonF {QPointF(0, 0), QPointF(1, 1234)}));

    // Shown again, the loaded curve is as it was.
    other.list->setEdge(doc.edge);
    other.settle();
    CCItemEdit* loaded = other.list->itemEdit(id);
    QVERIFY(loaded);
    QCOMPARE(loaded->ui.msbComboBox->currentData(), QVariant(74));
    QCOMPARE(loaded->ui.lsbComboBox->currentData(), QVariant(-1));
    QCOMPARE(loaded->ui.curveTypeChooser->currentIndex(), int(LinearCurve));
}

QTEST_MAIN(TestCCItemEdit)
#include "tst_ccitemedit.moc"
