#ifndef TOOLWINDOWS_H
#define TOOLWINDOWS_H

#include <memory>

class QWidget;
class QWindow;

// The application's tool windows (the inspector, the synthesizer dialog) float above every
// document window of the application, whichever has the focus, and above no other program's.
// On X11 a tool window is made transient for the root window, which window managers read as
// transient for the whole group of the application's windows; a transient parent changed while
// a window is shown is not told to the window manager, so one parent serves for good.
namespace ToolWindows {

// The stand-in for the root window that the tool windows are transient for; null where there
// is no X11 display.
std::unique_ptr<QWindow> createGroupParent();

// Makes `tool` float above the application's windows; before it is first shown.
void floatAboveApplication(QWidget* tool, QWindow* groupParent);

} // namespace ToolWindows

#endif // TOOLWINDOWS_H
