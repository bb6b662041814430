#include "CCItemEdit.h"

#include "AbstractSync.h"
#include "ControllerCurves.h"
#include "HoverPoints.h"
#include "MidiEvent.h"
#include "PreferenceKeys.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace K = QmdKelvoKeys;

const QRectF CCItemEdit::PlotRect(34, 5, 197, 61);

namespace {

constexpr int CoarseStep = 127;

QPolygonF toWidget(const QPolygonF& points)
{
    QPolygonF mapped;
    mapped.reserve(points.size());
    for (const QPointF& p : points)
        mapped.append(curvePointToWidget(p, CCItemEdit::PlotRect));
    return mapped;
}

QPolygonF toCurve(const QPolygonF& points)
{
    QPolygonF mapped;
    mapped.reserve(points.size());
    for (const QPointF& p : points)
        mapped.append(widgetToCurvePoint(p, CCItemEdit::PlotRect));
    return mapped;
}

bool isPointCurve(int type)
{
    return type == QmdKelvo::LinearCurve || type == QmdKelvo::CubicCurve;
}

InstrumentMsg resetMessage(int code, quint64 time)
{
    InstrumentMsg message;
    message.time = time;
    if (code == PitchBendCode) {
        message.kind = InstrumentMsg::PitchBend;
        message.data1 = quint8(PitchBendCenter / 128);
        message.data2 = quint8(PitchBendCenter % 128);
    } else {
        message.kind = InstrumentMsg::ControlChange;
        message.data1 = quint8(code);
        message.data2 = controllerInfo(code).defaultValue;
    }
    return message;
}

} // namespace

CCItemEdit::CCItemEdit(CCListEdit* parent, const QmdIndex& controllerIndex)
    : CCItem(parent)
    , controllerIndex(controllerIndex)
{
    ui.editContainer->setFixedHeight(160);
    ui.editContainer->setStyleSheet(
        QStringLiteral("QLabel {  color: rgb(99, 99, 99);}"
                       "QAbstractSpinBox {  border: 1px solid rgb(160, 160, 160);"
                       "  border-radius: 3px;}"));

    const QVector<ControllerInfo>& table = controllerInfoTable();
    for (QwpComboBox* combo : {ui.msbComboBox, ui.lsbComboBox}) {
        combo->addItem(tr("None"), NoControllerCode);
        combo->insertSeparator(combo->count());
        combo->addItem(tr("Pitch Bend"), PitchBendCode);
        combo->insertSeparator(combo->count());
        for (int code = 0; code < table.size(); ++code)
            combo->addItem(table.at(code).name, code);
    }

    // One value.
    ui.singleValueCombinedSlider->setRange(0, CurveValueMax);
    ui.singleValueCombinedSlider->setSingleStep(CoarseStep);
    ui.singleValueCombinedSlider->setPageStep(CoarseStep);
    ui.singleValueCombinedSlider->setTickPosition(QSlider::TicksBelow);
    ui.singleValueCombinedSlider->setTickInterval(1638);
    ui.singleValueCombinedDial->setRange(0, CurveValueMax);
    ui.singleValueCombinedDial->setSingleStep(CoarseStep);
    ui.singleValueCombinedDial->setPageStep(CoarseStep);
    ui.singleValueCombinedDial->setNotchesVisible(true);
    ui.singleValueCombinedDial->setNotchTarget(0.1);
    ui.singleValueStandardCombinedSpinBox->setRange(0, CurveValueMax);
    ui.singleValueStandardCombinedSpinBox->setSingleStep(CoarseStep);
    ui.singleValueMsbSpinBox->setRange(0, 127);
    ui.singleValueLsbSpinBox->setRange(0, 127);
    ui.singleValuePitchBendCombinedSpinBox->setRange(-PitchBendCenter,
                                                     CurveValueMax - PitchBendCenter);
    ui.singleValuePitchBendCombinedSpinBox->setSingleStep(CoarseStep);
    connect(ui.singleValueCombinedSlider, &QSlider::valueChanged, this,
            &CCItemEdit::onSingleValueStandardCombinedValueChanged);
    connect(ui.singleValueCombinedDial, &QDial::valueChanged, this,
            &CCItemEdit::onSingleValueStandardCombinedValueChanged);
    connect(ui.singleValueStandardCombinedSpinBox, &QSpinBox::valueChanged, this,
            &CCItemEdit::onSingleValueStandardCombinedValueChanged);
    connect(ui.singleValueMsbSpinBox, &QSpinBox::valueChanged, this,
            &CCItemEdit::onSingleValueMsbOrLsbValueChanged);
    connect(ui.singleValueLsbSpinBox, &QSpinBox::valueChanged, this,
            &CCItemEdit::onSingleValueMsbOrLsbValueChanged);
    connect(ui.singleValuePitchBendCombinedSpinBox, &QSpinBox::valueChanged, this,
            &CCItemEdit::onSingleValuePitchBendCombinedValueChanged);

    // Points.
    ui.curveEdit->setFixedSize(265, 80);
    hoverPoints = new HoverPoints(ui.curveEdit, HoverPoints::CircleShape);
    hoverPoints->setBoundingRect(PlotRect);
    hoverPoints->setPointSize(QSizeF(7, 7));
    hoverPoints->setSortType(HoverPoints::XSort);
    const QPen ink(QColor(70, 70, 70));
    hoverPoints->setConnectionPen(ink);
    hoverPoints->setPointPen(ink);
    hoverPoints->setPointBrush(QColor(120, 120, 120));
    // The point that the spin boxes edit stands out: hollow where the others are filled.
    hoverPoints->setCurrentPointPen(ink);
    hoverPoints->setCurrentPointBrush(Qt::white);
    connect(hoverPoints, &HoverPoints::mouseButtonPressed, this,
            &CCItemEdit::onHoverPointsMouseButtonPressed);
    connect(hoverPoints, &HoverPoints::mouseButtonReleased, this,
            &CCItemEdit::onHoverPointsMouseButtonReleased);
    connect(hoverPoints, &HoverPoints::pointsChanged, this, &CCItemEdit::onHoverPointsChanged);
    connect(hoverPoints, &HoverPoints::currentIndexChanged, this,
            &CCItemEdit::onHoverPointsCurrentIndexChanged);

    ui.pointXSpinBox->setRange(0.0, 1.0);
    ui.pointStandardCombinedSpinBox->setRange(0, CurveValueMax);
    ui.pointStandardCombinedSpinBox->setSingleStep(CoarseStep);
    ui.pointMsbSpinBox->setRange(0, 127);
    ui.pointLsbSpinBox->setRange(0, 127);
    ui.pointPitchBendCombinedSpinBox->setRange(-PitchBendCenter, CurveValueMax - PitchBendCenter);
    ui.pointPitchBendCombinedSpinBox->setSingleStep(CoarseStep);
    connect(ui.pointXSpinBox, &QDoubleSpinBox::valueChanged, this,
            &CCItemEdit::onPointXOrCombinedValueChanged);
    connect(ui.pointStandardCombinedSpinBox, &QSpinBox::valueChanged, this,
            &CCItemEdit::onPointXOrCombinedValueChanged);
    connect(ui.pointMsbSpinBox, &QSpinBox::valueChanged, this,
            &CCItemEdit::onPointMsbOrLsbValueChanged);
    connect(ui.pointLsbSpinBox, &QSpinBox::valueChanged, this,
            &CCItemEdit::onPointMsbOrLsbValueChanged);
    connect(ui.pointPitchBendCombinedSpinBox, &QSpinBox::valueChanged, this,
            &CCItemEdit::onPointPitchBendCombinedValueChanged);

    // A typed value is written when the user finishes it (Return, leaving the field or an
    // arrow), never digit by digit: "100" is one step, and a position such as "0.9" can be
    // typed through its unfinished "0." without the point moving.
    for (QAbstractSpinBox* spinBox : std::initializer_list<QAbstractSpinBox*> {
             ui.singleValueStandardCombinedSpinBox, ui.singleValuePitchBendCombinedSpinBox,
             ui.singleValueMsbSpinBox, ui.singleValueLsbSpinBox, ui.pointXSpinBox,
             ui.pointStandardCombinedSpinBox, ui.pointMsbSpinBox, ui.pointLsbSpinBox,
             ui.pointPitchBendCombinedSpinBox})
        spinBox->setKeyboardTracking(false);

    // The fields that make this row the one that learns from MIDI while they have the focus.
    for (QWidget* field : std::initializer_list<QWidget*> {
             ui.msbComboBox, ui.lsbComboBox, ui.singleValueCombinedSlider,
             ui.singleValueCombinedDial, ui.singleValueStandardCombinedSpinBox,
             ui.singleValuePitchBendCombinedSpinBox, ui.singleValueMsbSpinBox,
             ui.singleValueLsbSpinBox, ui.curveEdit, ui.pointStandardCombinedSpinBox,
             ui.pointPitchBendCombinedSpinBox, ui.pointMsbSpinBox, ui.pointLsbSpinBox}) {
        field->setFocusPolicy(Qt::StrongFocus);
        field->installEventFilter(this);
    }

    if (!controller) {
        updateCodeWidgets(NoControllerCode, NoControllerCode);
        return;
    }
    connect(
        controller,
        qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(&QmdController::itemsChanged),
        this, &CCItemEdit::onStrDictItemsChanged);
    controller->bind(ui.curveTypeChooser, "currentIndex", SIGNAL(currentChanged(int)), K::CurveType,
                     controllerIndex, 0, 0, tr("Curve Type"));
    controller->bind(this, "curvePoints", SIGNAL(curvePointsChanged()), K::CurvePoints,
                     controllerIndex, QVariant(), QVariant(), tr("Curve Points"));
    controller->bind(ui.msbComboBox, "currentKey", SIGNAL(currentIndexChanged(int)), K::MsbCode,
                     controllerIndex, QString(), QString(), tr("Controller MSB"));
    controller->bind(ui.lsbComboBox, "currentKey", SIGNAL(currentIndexChanged(int)), K::LsbCode,
                     controllerIndex, QString(), QString(), tr("Controller LSB"));
    // Showing the curve changes nothing in it: the codes as stored are the ones the next
    // change starts from.
    lastMsbCode = storedCode(K::MsbCode);
    lastLsbCode = storedCode(K::LsbCode);
    updateCodeWidgets(lastMsbCode, lastLsbCode);
}

CCItemEdit::~CCItemEdit() = default;

void CCItemEdit::detach()
{
    if (!controller)
        return;
    controller->disconnect(this);
    for (QObject* bound : std::initializer_list<QObject*> {ui.curveTypeChooser, this,
                                                           ui.msbComboBox, ui.lsbComboBox})
        controller->unbind(bound, nullptr,
                           QmdController::RemoveBinding | QmdController::DisconnectSignals);
    controller = nullptr;
}

int CCItemEdit::storedCode(const QString& key) const
{
    const QVariant code = controller ? controller->data(key, controllerIndex) : QVariant();
    return code.isValid() ? code.toInt() : NoControllerCode;
}

QPolygonF CCItemEdit::shownCurvePoints(const QPolygonF& points) const
{
    return normalizedCurvePoints(QmdKelvo::ControllerCurveType(curveType()), storedCode(K::MsbCode),
                                 storedCode(K::LsbCode), points);
}

void CCItemEdit::on_curveTypeChooser_currentChanged(int index)
{
    switch (index) {
    case QmdKelvo::CubicCurve:
        ui.stackedEditWidget->setCurrentIndex(1);
        hoverPoints->setEditable(true);
        hoverPoints->setConnectionType(HoverPoints::CurveConnection);
        break;
    case QmdKelvo::LinearCurve:
        ui.stackedEditWidget->setCurrentIndex(1);
        hoverPoints->setEditable(true);
        hoverPoints->setConnectionType(HoverPoints::LineConnection);
        break;
    case QmdKelvo::SingleCurve:
        ui.stackedEditWidget->setCurrentIndex(0);
        break;
    default:
        break;
    }
    ui.curveEdit->update();
    ui.msbComboBox->setFocus(Qt::OtherFocusReason);
    setCurvePoints(curvePoints, true);
}

void CCItemEdit::setCurvePoints(const QPolygonF& points)
{
    setCurvePoints(points, false);
}

void CCItemEdit::setCurvePoints(const QPolygonF& points, bool curveTypeChanged)
{
    // An edit made in the plot comes back from the document unchanged.
    if (!curveTypeChanged && curvePointsEqual(points, curvePoints))
        return;
    curvePoints = points;
    // A stored curve that lacks points for its type is shown complete; it is written so only
    // when edited.
    const QPolygonF shown = shownCurvePoints(points);
    const int type = curveType();
    if (isPointCurve(type)) {
        const QPolygonF mapped = toWidget(shown);
        hoverPoints->setPoints(mapped);
        if (!mapped.isEmpty())
            hoverPoints->setPointLock(0, HoverPoints::LockToLeft);
        if (mapped.size() > 1)
            hoverPoints->setPointLock(int(mapped.size()) - 1, HoverPoints::LockToRight);
        const int current = hoverPoints->currentIndex();
        if ((current < 0 || current >= mapped.size()) && !mapped.isEmpty())
            hoverPoints->setCurrentIndex(0);
        else
            updatePointEditors();
    } else if (type == QmdKelvo::SingleCurve) {
        const int value = shown.isEmpty() ? 0 : qRound(shown.constFirst().y());
        const QSignalBlocker slider(ui.singleValueCombinedSlider);
        const QSignalBlocker dial(ui.singleValueCombinedDial);
        const QSignalBlocker standard(ui.singleValueStandardCombinedSpinBox);
        const QSignalBlocker pitchBend(ui.singleValuePitchBendCombinedSpinBox);
        const QSignalBlocker msb(ui.singleValueMsbSpinBox);
        const QSignalBlocker lsb(ui.singleValueLsbSpinBox);
        ui.singleValueCombinedSlider->setValue(value);
        ui.singleValueCombinedDial->setValue(value);
        ui.singleValueStandardCombinedSpinBox->setValue(value);
        ui.singleValuePitchBendCombinedSpinBox->setValue(value - PitchBendCenter);
        ui.singleValueMsbSpinBox->setValue(value / 128);
        ui.singleValueLsbSpinBox->setValue(value % 128);
    }
}

void CCItemEdit::onSingleValueStandardCombinedValueChanged(int value)
{
    if (controller) {
        QPolygonF points = controller->data(K::CurvePoints, controllerIndex).value<QPolygonF>();
        if (points.isEmpty())
            points.append(QPointF(0, 0));
        points.first() = QPointF(0, value);
        // Every position of a drag is written, and joins the drag's first request.
        const bool dragging = inSingleValueDrag || ui.singleValueCombinedSlider->isSliderDown()
            || ui.singleValueCombinedDial->isSliderDown();
        QmdRequestOptions options(tr("Set Data"));
        if (dragging)
            options.id = singleValueDragRequestId;
        const QmdRequestId id = controller->requestSetData(
            K::CurvePoints, QVariant::fromValue(points), controllerIndex, options);
        if (dragging && singleValueDragRequestId == 0)
            singleValueDragRequestId = id;
    }
    // Quietly: its own signal would come back here with the same value once more.
    const QSignalBlocker blocker(ui.singleValuePitchBendCombinedSpinBox);
    ui.singleValuePitchBendCombinedSpinBox->setValue(value - PitchBendCenter);
}

void CCItemEdit::onSingleValueMsbOrLsbValueChanged()
{
    ui.singleValueStandardCombinedSpinBox->setValue(ui.singleValueMsbSpinBox->value() * 128
                                                    + ui.singleValueLsbSpinBox->value());
}

void CCItemEdit::onSingleValuePitchBendCombinedValueChanged(int value)
{
    ui.singleValueStandardCombinedSpinBox->setValue(value + PitchBendCenter);
}

void CCItemEdit::onHoverPointsMouseButtonPressed()
{
    mouseGestureRequestId = 0;
    inMouseGesture = true;
}

void CCItemEdit::onHoverPointsMouseButtonReleased()
{
    inMouseGesture = false;
}

void CCItemEdit::onHoverPointsChanged()
{
    const QPolygonF points = toCurve(hoverPoints->points());
    // Removing a locked point, say, reports the points unchanged: no request for that.
    if (!curvePointsEqual(points, curvePoints)) {
        curvePoints = points;
        if (inMouseGesture && controller) {
            // Every position of a drag is written, and the whole drag is one step.
            QmdRequestOptions options(tr("Curve Points"));
            options.id = mouseGestureRequestId;
            mouseGestureRequestId = controller->requestSetData(
                K::CurvePoints, QVariant::fromValue(points), controllerIndex, options);
        } else {
            emit curvePointsChanged();
        }
    }
    updatePointEditors();
}

void CCItemEdit::onHoverPointsCurrentIndexChanged(int index)
{
    updatePointEditors();
    if ((index < 0 || index >= hoverPoints->points().size()) && !hoverPoints->points().isEmpty())
        hoverPoints->setCurrentIndex(0);
}

void CCItemEdit::updatePointEditors()
{
    const QPolygonF points = hoverPoints->points();
    const int current = hoverPoints->currentIndex();
    const bool onPoint = current >= 0 && current < points.size();
    const QPointF point
        = widgetToCurvePoint(onPoint ? points.at(current) : PlotRect.bottomLeft(), PlotRect);
    const int value = qRound(point.y());

    QAbstractSpinBox* const editors[]
        = {ui.pointXSpinBox, ui.pointStandardCombinedSpinBox, ui.pointMsbSpinBox,
           ui.pointLsbSpinBox, ui.pointPitchBendCombinedSpinBox};
    for (QAbstractSpinBox* editor : editors)
        editor->setEnabled(onPoint);
    const QSignalBlocker x(ui.pointXSpinBox);
    const QSignalBlocker standard(ui.pointStandardCombinedSpinBox);
    const QSignalBlocker msb(ui.pointMsbSpinBox);
    const QSignalBlocker lsb(ui.pointLsbSpinBox);
    const QSignalBlocker pitchBend(ui.pointPitchBendCombinedSpinBox);
    ui.pointXSpinBox->setValue(point.x());
    ui.pointStandardCombinedSpinBox->setValue(value);
    ui.pointMsbSpinBox->setValue(value / 128);
    ui.pointLsbSpinBox->setValue(value % 128);
    ui.pointPitchBendCombinedSpinBox->setValue(value - PitchBendCenter);
}

void CCItemEdit::onPointXOrCombinedValueChanged()
{
    hoverPoints->moveCurrentPoint(curvePointToWidget(
        QPointF(ui.pointXSpinBox->value(), ui.pointStandardCombinedSpinBox->value()), PlotRect));
}

void CCItemEdit::onPointMsbOrLsbValueChanged()
{
    ui.pointStandardCombinedSpinBox->setValue(ui.pointMsbSpinBox->value() * 128
                                              + ui.pointLsbSpinBox->value());
}

void CCItemEdit::onPointPitchBendCombinedValueChanged(int value)
{
    ui.pointStandardCombinedSpinBox->setValue(value + PitchBendCenter);
}

void CCItemEdit::updateCodeWidgets(int msbCode, int lsbCode)
{
    const bool pitchBend = msbCode == PitchBendCode;
    const bool fine = lsbCode >= 0;
    for (QWidget* widget : std::initializer_list<QWidget*> {
             ui.singleValueMsbSpinBox, ui.singleValueLsbValueMarkers, ui.pointMsbSpinBox})
        widget->setVisible(!pitchBend);
    for (QWidget* widget : std::initializer_list<QWidget*> {
             ui.singleValueLsbSpinBox, ui.singleValueCombinedEqualsLabel,
             ui.singleValueStandardCombinedSpinBox, ui.singleValueCombinedValueMarkers,
             ui.pointLsbSpinBox, ui.pointCombinedEqualsLabel, ui.pointStandardCombinedSpinBox})
        widget->setVisible(fine);
    for (QWidget* widget : std::initializer_list<QWidget*> {ui.singleValuePitchBendCombinedSpinBox,
                                                            ui.singleValuePitchBendMarkers,
                                                            ui.pointPitchBendCombinedSpinBox})
        widget->setVisible(pitchBend);
    ui.lsbComboBox->setEnabled(!pitchBend);

    const char* background = pitchBend ? "CurveEditBackgroundPitchBend"
        : fine                         ? "CurveEditBackgroundMsbCombined"
                                       : "CurveEditBackgroundMsbOnly";
    ui.curveEdit->pixmap
        = QPixmap(QStringLiteral(":/images/%1@2x.png").arg(QLatin1String(background)));
    ui.curveEdit->showPixmap = true;
    ui.curveEdit->update();
}

void CCItemEdit::onStrDictItemsChanged(const QmdIndex& parent, const QStringList& keys,
                                       QmdRequestId requestId)
{
    const bool msbChanged = keys.contains(K::MsbCode);
    const bool lsbChanged = keys.contains(K::LsbCode);
    if (!controller || parent != controllerIndex || !(msbChanged || lsbChanged))
        return;
    const int msb = storedCode(K::MsbCode);
    const int lsb = storedCode(K::LsbCode);
    smartReset(keys, msb, lsb);

    // The follow-ups belong to the change that they answer. Undo and redo bring back what an
    // earlier change did, its follow-ups included, and get none of their own.
    const bool answersUser = !controller->unfinishedUndoRedoRequests().contains(requestId);
    QmdRequestOptions followUp {QString()};
    followUp.id = requestId;
    if (answersUser && msbChanged) {
        // The fine controller follows the coarse one: onto pitch bend, off it, or onto the
        // coarse controller's partner when the preference asks for it.
        int wanted = lsb == PitchBendCode ? NoControllerCode : lsb;
        if (msb == PitchBendCode)
            wanted = PitchBendCode;
        else if (msb >= 0 && controllerInfo(msb).lsbCode >= 0
                 && preference(PreferenceKeys::ControllersAutoLsb,
                               PreferenceKeys::ControllersAutoLsbDefault))
            wanted = controllerInfo(msb).lsbCode;
        if (wanted != lsb) {
            followUp.intent = tr("Controller LSB");
            controller->requestSetData(K::LsbCode, wanted, controllerIndex, followUp);
        }
    }
    if (answersUser && lsbChanged && lsb == PitchBendCode && msb != PitchBendCode) {
        followUp.intent = tr("Controller MSB");
        controller->requestSetData(K::MsbCode, PitchBendCode, controllerIndex, followUp);
    }

    updateCodeWidgets(msb, lsb);

    if (answersUser) {
        // A curve still at the default of the old codes takes the default of the new ones.
        const auto type = QmdKelvo::ControllerCurveType(
            controller->data(K::CurveType, controllerIndex).toInt());
        const QPolygonF current
            = controller->data(K::CurvePoints, controllerIndex).value<QPolygonF>();
        const QPolygonF replaced = normalizedCurvePoints(type, msb, lsb, QPolygonF());
        if (curvePointsEqual(current,
                             normalizedCurvePoints(type, lastMsbCode, lastLsbCode, QPolygonF()))
            && !curvePointsEqual(current, replaced)) {
            followUp.intent = tr("Curve Points");
            controller->requestSetData(K::CurvePoints, QVariant::fromValue(replaced),
                                       controllerIndex, followUp);
        }
    }
    lastMsbCode = msb;
    lastLsbCode = lsb;
}

void CCItemEdit::smartReset(const QStringList& keys, int msbCode, int lsbCode)
{
    // The clock is replaced by every reset of the document: it is asked for afresh each time.
    const AbstractSync* clock = controller->sync();
    if (!clock || !clock->isPlaying()
        || !preference(PreferenceKeys::ControllersSmartReset,
                       PreferenceKeys::ControllersSmartResetDefault))
        return;
    const quint64 now = clock->ticksElapsed();
    QVector<InstrumentMsg> messages;
    if (keys.contains(K::MsbCode) && lastMsbCode != msbCode
        && (lastMsbCode == PitchBendCode || lastMsbCode >= 0))
        messages.append(resetMessage(lastMsbCode, now));
    if (keys.contains(K::LsbCode) && lastLsbCode >= 0 && lastLsbCode != lsbCode)
        messages.append(resetMessage(lastLsbCode, now));
    if (messages.isEmpty())
        return;
    for (QmdItemId instrument : controller->instruments())
        for (const InstrumentMsg& message : std::as_const(messages))
            controller->tryWriteToInstrument(instrument, message);
}

bool CCItemEdit::eventFilter(QObject* object, QEvent* event)
{
    if (event->type() == MidiEvent::MidiEventType) {
        // The type is shared with other custom events.
        if (const auto* midi = dynamic_cast<const MidiEvent*>(event)) {
            learnFromMidi(midi->bytes());
            return true;
        }
    } else if ((object == ui.singleValueCombinedSlider || object == ui.singleValueCombinedDial)
               && (event->type() == QEvent::MouseButtonPress
                   || event->type() == QEvent::MouseButtonRelease)) {
        // A drag, from the press that may already move the value to the release, is written as
        // it goes and is one step: a new one starts with no request yet.
        const bool press = event->type() == QEvent::MouseButtonPress;
        inSingleValueDrag = press && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        if (press)
            singleValueDragRequestId = 0;
    } else if (object == ui.curveEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            hoverPoints->removeAt(hoverPoints->currentIndex());
            return true;
        }
    }
    return CCItem::eventFilter(object, event);
}

void CCItemEdit::learnFromMidi(const QVector<uchar>& bytes)
{
    // A control change or a pitch bend, on any channel, with proper data bytes.
    if (!controller || bytes.size() != 3 || bytes.at(1) >= 0x80 || bytes.at(2) >= 0x80)
        return;
    const bool controlChange = (bytes.at(0) & 0xF0) == 0xB0;
    const bool pitchBend = (bytes.at(0) & 0xF0) == 0xE0;
    if (!controlChange && !pitchBend)
        return;
    const int msbCode = controlChange ? bytes.at(1) : PitchBendCode;

    // The value comes along: the coarse part from the message, the fine part from the field
    // (or, for pitch bend, from the message too).
    QPolygonF points
        = shownCurvePoints(controller->data(K::CurvePoints, controllerIndex).value<QPolygonF>());
    QString intent = tr("Controller MSB");
    bool valueLearned = false;
    const int type = curveType();
    if (isPointCurve(type)) {
        const int current = hoverPoints->currentIndex();
        if (current >= 0 && current < points.size()) {
            const int fine = controlChange ? ui.pointLsbSpinBox->value() : bytes.at(1);
            points[current].setY(bytes.at(2) * 128 + fine);
            intent = tr("Controller MSB && Curve Points");
            valueLearned = true;
        }
    } else if (type == QmdKelvo::SingleCurve) {
        const int fine = controlChange ? ui.singleValueLsbSpinBox->value() : bytes.at(1);
        if (points.isEmpty())
            points.append(QPointF(0, 0));
        points.first() = QPointF(0, bytes.at(2) * 128 + fine);
        intent = tr("Controller MSB && Value");
        valueLearned = true;
    }
    const QmdRequestId requestId = controller->requestSetData(K::MsbCode, msbCode, controllerIndex,
                                                              QmdRequestOptions(intent));
    if (valueLearned) {
        QmdRequestOptions joined {QString()};
        joined.id = requestId;
        controller->requestSetData(K::CurvePoints, QVariant::fromValue(points), controllerIndex,
                                   joined);
    }
}
