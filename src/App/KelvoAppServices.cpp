#include "KelvoAppServices.h"

#include "KelvoApplication.h"
#include "KelvoWindow.h"

KelvoAppServices::KelvoAppServices(KelvoApplication* app)
    : AppServices(app)
    , app(app)
{
    connect(app, &KelvoApplication::kelvoFocusWindowChanged, this,
            [this](KelvoWindow* window) { emit focusWindowChanged(window); });
    connect(app, &KelvoApplication::midiInputPortsChanged, this,
            &AppServices::midiInputPortsChanged);
    connect(app, &KelvoApplication::midiOutputPortsChanged, this,
            &AppServices::midiOutputPortsChanged);
}

QSettings* KelvoAppServices::settings() const
{
    return app->settings();
}

DocumentWindow* KelvoAppServices::focusWindow() const
{
    return app->focusWindow();
}

const QSet<QString>& KelvoAppServices::midiInputPortSet() const
{
    return app->midiInputPortSet();
}

const QSet<QString>& KelvoAppServices::midiOutputPortSet() const
{
    return app->midiOutputPortSet();
}

const QStringList& KelvoAppServices::midiInputPorts() const
{
    return app->midiInputPorts();
}

const QStringList& KelvoAppServices::midiOutputPorts() const
{
    return app->midiOutputPorts();
}

void KelvoAppServices::connectAppFontDialog(QObject* receiver, const char* member)
{
    app->connectAppFontDialog(receiver, member);
}

void KelvoAppServices::connectAppColorDialog(QObject* receiver, const char* member)
{
    app->connectAppColorDialog(receiver, member);
}

bool KelvoAppServices::isAppFontDialogVisible() const
{
    return app->isAppFontDialogVisible();
}

bool KelvoAppServices::isAppColorDialogVisible() const
{
    return app->isAppColorDialogVisible();
}

QObject* KelvoAppServices::appFontDialogReceiver() const
{
    return app->appFontDialogReceiver();
}

QObject* KelvoAppServices::appColorDialogReceiver() const
{
    return app->appColorDialogReceiver();
}

void KelvoAppServices::showAppFontDialog()
{
    app->showAppFontDialog();
}

void KelvoAppServices::disconnectAppFontDialog()
{
    app->disconnectAppFontDialog();
}

void KelvoAppServices::updateAppFontDialog(const QFont& font)
{
    app->updateAppFontDialog(font);
}

void KelvoAppServices::showAppColorDialog()
{
    app->showAppColorDialog();
}

void KelvoAppServices::disconnectAppColorDialog()
{
    app->disconnectAppColorDialog();
}

void KelvoAppServices::updateAppColorDialog(const QColor& color)
{
    app->updateAppColorDialog(color);
}

void KelvoAppServices::setSynthDialogOpen(bool open)
{
    app->setSynthDialogOpen(open);
}
