#include "Inspector.h"

#include "AppServices.h"
#include "DocumentWindow.h"
#include "QmdKelvoController.h"

Inspector::Inspector()
    : QWidget(nullptr,
              Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(tr("Inspector"));
    setFixedWidth(FixedWidth);
    resize(FixedWidth, 420);
    if (AppServices* services = AppServices::instance())
        connect(services, &AppServices::focusWindowChanged, this, &Inspector::setKelvoWindow);
}

Inspector::~Inspector() = default;

void Inspector::setController(QmdKelvoController* controller)
{
    QmdObserver<QmdKelvoController>::setController(controller);
}

DocumentWindow* Inspector::kelvoWindow() const
{
    return m_window;
}

void Inspector::setKelvoWindow(DocumentWindow* window)
{
    m_window = window;
    setController(window ? window->controller() : nullptr);
}

void Inspector::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    emit visibilityToggled();
}

void Inspector::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit visibilityToggled();
}
