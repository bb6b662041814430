#ifndef CCITEMEDIT_H
#define CCITEMEDIT_H

#include "CCListEdit.h"

#include <QPolygonF>

class HoverPoints;

// The row of one controller curve: its type, its coarse (MSB) and fine (LSB) controller or
// pitch bend, and its values: one value for a single curve, or points drawn over a plot for a
// linear or cubic one. The type, the codes and the points are bound to the curve's keys, so
// that every edit is a request and every change of the document, undo included, comes back.
//
// Around the bindings the row keeps the codes consistent (pitch bend on both, the fine
// controller paired with the coarse one when the preference asks for it), replaces a curve
// still at the default of the old codes by the default of the new ones, sends the reset value
// of a controller that the curve leaves while the transport plays, and learns the controller
// from MIDI received while one of its fields has the focus. It answers the user's changes
// only: showing a curve, undo and redo change nothing in the document.
class CCItemEdit : public CCItem
{
    Q_OBJECT
    Q_PROPERTY(
        QPolygonF curvePoints MEMBER curvePoints WRITE setCurvePoints NOTIFY curvePointsChanged)

public:
    // The plot inside the curve frame, where the points lie: values 0 to 16383 from its bottom
    // edge to its top edge, the curve's start to its end from its left edge to its right.
    static const QRectF PlotRect;

    CCItemEdit(CCListEdit* parent, const QmdIndex& controllerIndex);
    ~CCItemEdit() override;

    HoverPoints* curveHoverPoints() const { return hoverPoints; }
    // Stops following the document, for a row on its way out: it makes no more requests.
    void detach();

    bool eventFilter(QObject* object, QEvent* event) override;

public slots:
    void setCurvePoints(const QPolygonF& points, bool curveTypeChanged);
    void setCurvePoints(const QPolygonF& points);
    void on_curveTypeChooser_currentChanged(int index) override;
    void onStrDictItemsChanged(const QmdIndex& parent, const QStringList& keys,
                               QmdRequestId requestId);
    void onSingleValueStandardCombinedValueChanged(int value);
    void onSingleValueMsbOrLsbValueChanged();
    void onSingleValuePitchBendCombinedValueChanged(int value);
    void onHoverPointsMouseButtonPressed();
    void onHoverPointsMouseButtonReleased();
    void onHoverPointsChanged();
    void onHoverPointsCurrentIndexChanged(int index);
    void onPointXOrCombinedValueChanged();
    void onPointMsbOrLsbValueChanged();
    void onPointPitchBendCombinedValueChanged(int value);

signals:
    void curvePointsChanged();

private:
    int curveType() const { return ui.curveTypeChooser->currentIndex(); }
    // The stored points completed for the curve's type, as the row shows them.
    QPolygonF shownCurvePoints(const QPolygonF& points) const;
    // The stored codes; none when the curve has gone.
    int storedCode(const QString& key) const;
    // Shows the widgets and the plot background that the codes call for.
    void updateCodeWidgets(int msbCode, int lsbCode);
    void updatePointEditors();
    // Sends every instrument the reset value of the controllers that the curve left.
    void smartReset(const QStringList& keys, int msbCode, int lsbCode);
    // Takes the controller, and the value where the curve shows one, from a control change or
    // a pitch bend.
    void learnFromMidi(const QVector<uchar>& bytes);

    const QmdIndex controllerIndex;
    QPolygonF curvePoints;
    int lastMsbCode = -127;
    int lastLsbCode = -127;
    HoverPoints* hoverPoints = nullptr;
    // Between a press and a release of the mouse in the plot, and the request that the
    // changes it makes there join.
    bool inMouseGesture = false;
    QmdRequestId mouseGestureRequestId = 0;
    // Between a press and a release of the mouse on the slider or the dial, and the first
    // request of that drag.
    bool inSingleValueDrag = false;
    QmdRequestId singleValueDragRequestId = 0;
};

#endif // CCITEMEDIT_H
