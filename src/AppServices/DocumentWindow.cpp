#include "DocumentWindow.h"

DocumentWindow::DocumentWindow(QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{ }

DocumentWindow::~DocumentWindow() = default;
