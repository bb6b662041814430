// The application object's documents and windows: new and opened documents, placement, the
// focus window, the inspector's and the synthesizer dialog's visibility, and the shared font
// and colour dialogs.

#include "KelvoApplication.h"

#include "DocumentTool.h"
#include "Inspector.h"
#include "KelvoInfo.h"
#include "KelvoMenuBar.h"
#include "KelvoWindow.h"
#include "MidiSynthDialog.h"
#include "NetworkView.h"
#include "PreferenceKeys.h"
#include "PreferencesDialog.h"
#include "QmdKelvoController.h"
#include "SharedDialogs.h"
#include "ToolWindows.h"
#include "WindowPlacement.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QScreen>
#include <QSettings>
#include <QWindow>

namespace {

// The name under which an open file is known: the same file named by another relative or
// absolute path, or through a symbolic link, gives the same name.
QString fileIdentity(const QString& fileName)
{
    const QFileInfo info(fileName);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

} // namespace

KelvoWindow* KelvoApplication::replaceableWindow() const
{
    return m_replaceableWindow;
}

KelvoWindow* KelvoApplication::createWindow()
{
    auto* window = new KelvoWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &QObject::destroyed, this, &KelvoApplication::onKelvoWindowDestroyed);
    connect(window, &KelvoWindow::closingAfterLoadError, this,
            [this, window] { m_loadFailedWindows.insert(window); });
    connect(window, &KelvoWindow::blockedByDialogChanged, this,
            &KelvoApplication::documentWindowsBlockedChanged);
    m_windows.append(window);
    window->installEventFilter(this);
    emit documentWindowsBlockedChanged();
    return window;
}

KelvoWindow* KelvoApplication::newDocument()
{
    KelvoWindow* window = createWindow();
    smartShowDocument(window);
    return window;
}

void KelvoApplication::openDocument(const QString& fileName, bool asTemplate)
{
    openDocuments(QStringList {fileName}, asTemplate);
}

void KelvoApplication::setReplaceableWindow(KelvoWindow* window)
{
    m_replaceableWindow = window;
    if (!window)
        return;
    // The first change and the first save (which names the document) end the window's
    // claim for good, even when the change is undone later.
    QmdKelvoController* controller = window->controller();
    const auto forget = [this, window] {
        if (m_replaceableWindow == window)
            m_replaceableWindow = nullptr;
    };
    connect(controller, &QmdController::atCleanStateChanged, window, forget);
    connect(controller, &QmdDocController::fileNameChanged, window, forget);
}

void KelvoApplication::openDocuments(const QStringList& fileNames, bool asTemplates)
{
    // Only an untitled document that was never changed may be replaced.
    if (m_replaceableWindow
        && (!m_replaceableWindow->controller()->atCleanState()
            || !m_replaceableWindow->controller()->fileName().isEmpty()))
        m_replaceableWindow = nullptr;

    QHash<QString, KelvoWindow*> openFiles;
    for (KelvoWindow* window : std::as_const(m_windows)) {
        const QString fileName = window->controller()->fileName();
        if (!fileName.isEmpty())
            openFiles.insert(fileIdentity(fileName), window);
    }

    for (const QString& name : fileNames) {
        const QFileInfo info(name);
        if (!info.exists())
            continue;
        const QString identity = fileIdentity(name);
        if (KelvoWindow* open = openFiles.value(identity)) {
            if (open->isMinimized())
                open->setWindowState(open->windowState() & ~Qt::WindowMinimized);
            open->activateWindow();
            open->raise();
            continue;
        }

        // A window with a dialog up is left alone: its dialog would outlive its document.
        KelvoWindow* window = nullptr;
        if (m_replaceableWindow && !m_replaceableWindow->isBlockedByDialog()) {
            window = m_replaceableWindow;
            m_replaceableWindow = nullptr;
        }
        if (!window)
            window = createWindow();
        const QPointer<KelvoWindow> guard(window);
        const QString path = info.absoluteFilePath();
        if (asTemplates)
            window->controller()->requestLoadTemplate(path);
        else
            window->controller()->requestLoad(path);
        // A window whose file could not be read has told the user and is closing.
        if (!guard || window->loadFailed())
            continue;
        if (asTemplates) {
            // A document opened from a file starts with the selection tool, so that the first
            // click into it does not add a node; an example or template too.
            DocumentTool::requestSet(window->controller(), NetworkView::SelectionTool);
        } else {
            openFiles.insert(identity, window);
        }
        smartShowDocument(window);
    }
}

void KelvoApplication::openDocuments()
{
    // No parent: a document window may go away while the dialog is up (closed by a quit, or
    // by a file handed over that it could not read), and would take the dialog with it.
    QFileDialog dialog(nullptr, tr("Open"), QString(), Kelvo::fileFilter());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    QSettings* store = settings();
    if (store) {
        dialog.restoreGeometry(store->value(PreferenceKeys::OpenDialogGeometry).toByteArray());
        dialog.restoreState(store->value(PreferenceKeys::OpenDialogState).toByteArray());
    }
    const int result = dialog.exec();
    if (store) {
        store->setValue(PreferenceKeys::OpenDialogGeometry, dialog.saveGeometry());
        store->setValue(PreferenceKeys::OpenDialogState, dialog.saveState());
    }
    if (result == QDialog::Accepted)
        openDocuments(dialog.selectedFiles(), false);
}

void KelvoApplication::saveAllDocuments()
{
    const QList<QPointer<KelvoWindow>> open(m_windows.cbegin(), m_windows.cend());
    for (const QPointer<KelvoWindow>& window : open) {
        if (window)
            window->save();
    }
}

void KelvoApplication::closeActiveWindow()
{
    if (QWidget* window = activeWindow())
        window->close();
}

void KelvoApplication::smartShowDocument(KelvoWindow* window)
{
    QScreen* screen = primaryScreen();
    if (m_windows.size() < 2 && screen && m_inspector && m_inspector->isVisible()) {
        const QRect region = WindowPlacement::besideInspector(screen->availableGeometry(),
                                                              m_inspector->frameGeometry());
        if (region.isNull()) {
            window->showMaximized();
        } else {
            window->show();
            WindowPlacement::fitFrame(window, region);
            WindowPlacement::whenFramed(
                window, [window, region] { WindowPlacement::fitFrame(window, region); });
        }
    } else if (m_windows.size() >= 2 && screen) {
        // A further window: the size of the window opened before it (most of the area when
        // that one fills it or is small), a step right of and below it, within the area.
        const QRect available = screen->availableGeometry();
        KelvoWindow* previous = nullptr;
        for (KelvoWindow* other : std::as_const(m_windows)) {
            if (other != window && other->isVisible())
                previous = other;
        }
        QRect previousFrame;
        QSize size = available.size() * 4 / 5;
        if (previous) {
            previousFrame = previous->frameGeometry();
            const QSize previousSize = previousFrame.size();
            if (!previous->isMaximized() && previousSize.width() >= available.width() / 2
                && previousSize.height() >= available.height() / 2)
                size = previousSize;
        }
        const QRect region = WindowPlacement::cascaded(available, previousFrame, size);
        window->show();
        WindowPlacement::fitFrame(window, region);
        WindowPlacement::whenFramed(
            window, [window, region] { WindowPlacement::fitFrame(window, region); });
    } else {
        window->show();
    }
    window->activateWindow();
    window->raise();
}

void KelvoApplication::onFocusChanged(QWidget*, QWidget* now)
{
    auto* window = now ? qobject_cast<KelvoWindow*>(now->window()) : nullptr;
    if (!window || window == m_focusWindow || !m_windows.contains(window))
        return;
    m_focusWindow = window;
    updateTransientParents();
    emit kelvoFocusWindowChanged(window);
}

void KelvoApplication::onKelvoWindowDestroyed(QObject* object)
{
    m_windows.removeIf(
        [object](KelvoWindow* window) { return static_cast<QObject*>(window) == object; });
    const bool loadFailed = m_loadFailedWindows.remove(object);
    emit documentWindowsBlockedChanged();
    if (static_cast<QObject*>(m_focusWindow) == object) {
        m_focusWindow = nullptr;
        emit kelvoFocusWindowChanged(nullptr);
    }
    if (!m_windows.isEmpty())
        return;
    // The last window is gone: the program ends, unless that window only closed because
    // its file could not be read; an untitled window then takes its place.
    if (loadFailed && !m_quitting)
        setReplaceableWindow(newDocument());
    else
        quit();
}

void KelvoApplication::updateTransientParents()
{
    // The focus document's commands work from the tool windows too: each window has its own
    // menu bar, whose shortcuts act while a widget of theirs is in the active window.
    const QList<QAction*> commands
        = m_focusWindow ? m_focusWindow->kelvoMenuBar()->shortcutActions() : QList<QAction*>();
    for (QWidget* tool :
         {static_cast<QWidget*>(m_inspector), static_cast<QWidget*>(m_synthDialog.data())}) {
        if (!tool)
            continue;
        for (QAction* action : tool->actions()) {
            if (qobject_cast<KelvoMenuBar*>(action->parent())
                || (action->parent() && qobject_cast<KelvoMenuBar*>(action->parent()->parent())))
                tool->removeAction(action);
        }
        tool->addActions(commands);
    }
}

// ---- The inspector and the synthesizer dialog -----------------------------------------------

void KelvoApplication::mac_setInspectorVisible(bool visible)
{
    m_inspector->setVisible(visible);
    m_inspector->raise();
    emit mac_inspectorVisibilityToggled();
}

void KelvoApplication::mac_toggleInspector()
{
    mac_setInspectorVisible(!m_inspector->isVisible());
}

void KelvoApplication::setSynthDialogOpen(bool open)
{
    if (!open) {
        if (m_synthDialog)
            m_synthDialog->deleteLater();
        return;
    }
    if (!m_synthDialog) {
        m_synthDialog = new MidiSynthDialog;
        m_synthDialog->setSynth(m_synth);
        m_synthDialog->setAttribute(Qt::WA_DeleteOnClose);
        m_synthDialog->installEventFilter(this);
        ToolWindows::floatAboveApplication(m_synthDialog, m_toolGroupParent.get());
        updateTransientParents();
        m_synthDialog->show();
        // A widget tells of its end before its guarded pointers are cleared.
        connect(m_synthDialog, &QObject::destroyed, this, [this] {
            m_synthDialog = nullptr;
            emit synthDialogToggled();
        });
        emit synthDialogToggled();
    }
    m_synthDialog->activateWindow();
    m_synthDialog->raise();
}

MidiSynthDialog* KelvoApplication::synthDialog() const
{
    return m_synthDialog;
}

bool KelvoApplication::isSynthDialogOpen() const
{
    return m_synthDialog;
}

void KelvoApplication::toggleSynthDialog()
{
    setSynthDialogOpen(!m_synthDialog);
}

// ---- The preferences dialog ------------------------------------------------------------------

void KelvoApplication::showAppPrefs()
{
    if (!m_preferencesDialog) {
        m_preferencesDialog = new PreferencesDialog(m_settingsController);
        m_preferencesDialog->setAttribute(Qt::WA_DeleteOnClose);
        // Centred across the available area, and halfway up from the centre.
        if (QScreen* screen = primaryScreen()) {
            const QRect available = screen->availableGeometry();
            const QSize size = m_preferencesDialog->sizeHint();
            m_preferencesDialog->move(
                available.x() + available.width() / 2 - size.width() / 2,
                available.y() + int((available.height() / 2 - size.height() / 2) * 0.5));
        }
        m_preferencesDialog->show();
    }
    m_preferencesDialog->activateWindow();
    m_preferencesDialog->raise();
}

PreferencesDialog* KelvoApplication::preferencesDialog() const
{
    return m_preferencesDialog;
}

// ---- The shared font and colour dialogs -----------------------------------------------------

SharedDialogs* KelvoApplication::sharedDialogs()
{
    if (!m_dialogs)
        m_dialogs = new SharedDialogs;
    return m_dialogs;
}

void KelvoApplication::showAppFontDialog()
{
    sharedDialogs()->showFontDialog(m_focusWindow);
}

void KelvoApplication::connectAppFontDialog(QObject* receiver, const char* member)
{
    sharedDialogs()->connectFontDialog(receiver, member);
}

void KelvoApplication::disconnectAppFontDialog()
{
    sharedDialogs()->disconnectFontDialog();
}

void KelvoApplication::updateAppFontDialog(const QFont& font)
{
    sharedDialogs()->updateFontDialog(font);
}

bool KelvoApplication::isAppFontDialogVisible() const
{
    return m_dialogs && m_dialogs->isFontDialogVisible();
}

QObject* KelvoApplication::appFontDialogReceiver() const
{
    return m_dialogs ? m_dialogs->fontDialogReceiver() : nullptr;
}

void KelvoApplication::showAppColorDialog()
{
    sharedDialogs()->showColorDialog(m_focusWindow);
}

void KelvoApplication::connectAppColorDialog(QObject* receiver, const char* member)
{
    sharedDialogs()->connectColorDialog(receiver, member);
}

void KelvoApplication::disconnectAppColorDialog()
{
    sharedDialogs()->disconnectColorDialog();
}

void KelvoApplication::updateAppColorDialog(const QColor& color)
{
    sharedDialogs()->updateColorDialog(color);
}

bool KelvoApplication::isAppColorDialogVisible() const
{
    return m_dialogs && m_dialogs->isColorDialogVisible();
}

QObject* KelvoApplication::appColorDialogReceiver() const
{
    return m_dialogs ? m_dialogs->colorDialogReceiver() : nullptr;
}
