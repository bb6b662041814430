#include "TestAppServices.h"

#include "DocumentWindow.h"
#include "SharedDialogs.h"
#include "SmartStringLessThan.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QFontDialog>
#include <QSettings>

TestAppServices::TestAppServices(QObject* parent)
    : AppServices(parent)
    , m_settings(new QSettings(QSettings::IniFormat, QSettings::UserScope,
                               QStringLiteral("KelvoTests"), QCoreApplication::applicationName(),
                               this))
    , m_dialogs(new SharedDialogs(this))
{ }

TestAppServices::~TestAppServices() = default;

void TestAppServices::setFocusWindow(DocumentWindow* window)
{
    if (window == m_focusWindow)
        return;
    m_focusWindow = window;
    emit focusWindowChanged(window);
}

DocumentWindow* TestAppServices::focusWindow() const
{
    return m_focusWindow;
}

void TestAppServices::setMidiInputPorts(const QSet<QString>& names)
{
    if (names == m_inputPortSet)
        return;
    m_inputPortSet = names;
    m_inputPorts = nSmartSorted(names);
    emit midiInputPortsChanged();
}

void TestAppServices::setMidiOutputPorts(const QSet<QString>& names)
{
    if (names == m_outputPortSet)
        return;
    m_outputPortSet = names;
    m_outputPorts = nSmartSorted(names);
    emit midiOutputPortsChanged();
}

void TestAppServices::setAppFontDialogVisible(bool visible)
{
    m_dialogs->fontDialog()->setVisible(visible);
}

void TestAppServices::setAppColorDialogVisible(bool visible)
{
    m_dialogs->colorDialog()->setVisible(visible);
}

void TestAppServices::connectAppFontDialog(QObject* receiver, const char* member)
{
    m_dialogs->connectFontDialog(receiver, member);
}

void TestAppServices::connectAppColorDialog(QObject* receiver, const char* member)
{
    m_dialogs->connectColorDialog(receiver, member);
}

bool TestAppServices::isAppFontDialogVisible() const
{
    return m_dialogs->isFontDialogVisible();
}

bool TestAppServices::isAppColorDialogVisible() const
{
    return m_dialogs->isColorDialogVisible();
}

QObject* TestAppServices::appFontDialogReceiver() const
{
    return m_dialogs->fontDialogReceiver();
}

QObject* TestAppServices::appColorDialogReceiver() const
{
    return m_dialogs->colorDialogReceiver();
}

void TestAppServices::showAppFontDialog()
{
    m_dialogs->showFontDialog(m_focusWindow);
}

void TestAppServices::disconnectAppFontDialog()
{
    m_dialogs->disconnectFontDialog();
}

void TestAppServices::updateAppFontDialog(const QFont& font)
{
    m_dialogs->updateFontDialog(font);
}

void TestAppServices::showAppColorDialog()
{
    m_dialogs->showColorDialog(m_focusWindow);
}

void TestAppServices::disconnectAppColorDialog()
{
    m_dialogs->disconnectColorDialog();
}

void TestAppServices::updateAppColorDialog(const QColor& color)
{
    m_dialogs->updateColorDialog(color);
}

void TestAppServices::setSynthDialogOpen(bool open)
{
    m_synthDialogRequests << open;
}
