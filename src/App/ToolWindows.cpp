#include "ToolWindows.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

namespace ToolWindows {

std::unique_ptr<QWindow> createGroupParent()
{
    const auto* x11
        = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return nullptr;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return nullptr;
    return std::unique_ptr<QWindow>(QWindow::fromWinId(WId(screen->root)));
}

void floatAboveApplication(QWidget* tool, QWindow* groupParent)
{
    if (!tool || !groupParent)
        return;
    tool->winId();
    tool->windowHandle()->setTransientParent(groupParent);
}

} // namespace ToolWindows
