#ifndef WINDOWPLACEMENT_H
#define WINDOWPLACEMENT_H

#include <QRect>

#include <functional>

class QWidget;

// Where the application puts its windows, within the available area of a screen (which need
// not start at the origin of the desktop).
namespace WindowPlacement {

// The top-left corner of a window of `size` centred in `available`.
QPoint centred(const QRect& available, const QSize& size);

// The region for the first document window beside the inspector: when the inspector's frame
// is within 49 pixels of the area's left edge, the area's full height from 6 pixels right of
// the inspector to the area's right edge; when within 49 pixels of the right edge, from the
// area's left edge to 6 pixels left of the inspector. A null rectangle otherwise.
QRect besideInspector(const QRect& available, const QRect& inspectorFrame);

// Sets the window's geometry so that its frame fills `region`, as far as the frame is known.
void fitFrame(QWidget* window, const QRect& region);

// The frame of a further document window: `frameSize` (within the area, and a step smaller
// than the area where it would fill it whole) one step right of and below `previousFrame`;
// where that would reach past the area's right or bottom edge, back at the area's left or top
// edge. A null `previousFrame` puts it at the area's top-left corner. Always within
// `available`.
QRect cascaded(const QRect& available, const QRect& previousFrame, const QSize& frameSize);

// Whether the window manager has framed the window: until then the frame geometry equals the
// window's.
bool isFramed(const QWidget* window);

// Runs `place` once more when the window manager has framed the shown window, however long
// that takes, without blocking: it looks again at growing intervals (up to a second) for as
// long as the window exists and is shown. `framed` tells whether the frame is known
// (isFramed by default).
void whenFramed(QWidget* window, const std::function<void()>& place,
                const std::function<bool()>& framed = {});

} // namespace WindowPlacement

#endif // WINDOWPLACEMENT_H
