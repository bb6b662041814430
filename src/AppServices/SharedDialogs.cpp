#include "SharedDialogs.h"

#include <QColorDialog>
#include <QFontDialog>

namespace {

void showAndKeepActive(QDialog* dialog, QWidget* keepActive)
{
    if (!dialog->isVisible())
        dialog->show();
    dialog->raise();
    if (keepActive)
        keepActive->activateWindow();
}

} // namespace

SharedDialogs::SharedDialogs(QObject* parent)
    : QObject(parent)
    , m_fontDialog(new QFontDialog)
    , m_colorDialog(new QColorDialog)
{
    m_fontDialog->setWindowModality(Qt::NonModal);
    m_fontDialog->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_colorDialog->setWindowModality(Qt::NonModal);
    m_colorDialog->setOptions(QColorDialog::ShowAlphaChannel | QColorDialog::NoButtons
                              | QColorDialog::DontUseNativeDialog);
}

SharedDialogs::~SharedDialogs()
{
    delete m_colorDialog;
    delete m_fontDialog;
}

void SharedDialogs::showFontDialog(QWidget* keepActive)
{
    showAndKeepActive(m_fontDialog, keepActive);
}

void SharedDialogs::showColorDialog(QWidget* keepActive)
{
    showAndKeepActive(m_colorDialog, keepActive);
}

void SharedDialogs::connectFontDialog(QObject* receiver, const char* member)
{
    disconnectFontDialog();
    if (!receiver)
        return;
    connect(m_fontDialog, SIGNAL(currentFontChanged(QFont)), receiver, member);
    connect(m_fontDialog, SIGNAL(fontSelected(QFont)), receiver, member);
    connect(receiver, &QObject::destroyed, this, &SharedDialogs::disconnectFontDialog);
    m_fontReceiver = receiver;
}

void SharedDialogs::connectColorDialog(QObject* receiver, const char* member)
{
    disconnectColorDialog();
    if (!receiver)
        return;
    connect(m_colorDialog, SIGNAL(currentColorChanged(QColor)), receiver, member);
    connect(m_colorDialog, SIGNAL(colorSelected(QColor)), receiver, member);
    connect(receiver, &QObject::destroyed, this, &SharedDialogs::disconnectColorDialog);
    m_colorReceiver = receiver;
}

void SharedDialogs::disconnectFontDialog()
{
    disconnect(m_fontDialog, SIGNAL(currentFontChanged(QFont)), nullptr, nullptr);
    disconnect(m_fontDialog, SIGNAL(fontSelected(QFont)), nullptr, nullptr);
    if (m_fontReceiver)
        disconnect(m_fontReceiver, &QObject::destroyed, this, &SharedDialogs::disconnectFontDialog);
    m_fontReceiver = nullptr;
}

void SharedDialogs::disconnectColorDialog()
{
    disconnect(m_colorDialog, SIGNAL(currentColorChanged(QColor)), nullptr, nullptr);
    disconnect(m_colorDialog, SIGNAL(colorSelected(QColor)), nullptr, nullptr);
    if (m_colorReceiver)
        disconnect(m_colorReceiver, &QObject::destroyed, this,
                   &SharedDialogs::disconnectColorDialog);
    m_colorReceiver = nullptr;
}

void SharedDialogs::updateFontDialog(const QFont& font)
{
    const QSignalBlocker blocker(m_fontDialog);
    m_fontDialog->setCurrentFont(font);
}

void SharedDialogs::updateColorDialog(const QColor& color)
{
    const QSignalBlocker blocker(m_colorDialog);
    m_colorDialog->setCurrentColor(color);
}

bool SharedDialogs::isFontDialogVisible() const
{
    return m_fontDialog->isVisible();
}

bool SharedDialogs::isColorDialogVisible() const
{
    return m_colorDialog->isVisible();
}
