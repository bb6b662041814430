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

// Runs `place` once more when the window manager has framed the shown window: until then its
// frame's size is unknown (the frame geometry equals the window's). Gives up after a second,
// as where nothing frames windows.
void whenFramed(QWidget* window, const std::function<void()>& place);

} // namespace WindowPlacement

#endif // WINDOWPLACEMENT_H
