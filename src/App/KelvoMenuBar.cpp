#include "KelvoMenuBar.h"

#include "AbstractSync.h"
#include "BundleResources.h"
#include "DocumentTool.h"
#include "Inspector.h"
#include "KelvoApplication.h"
#include "KelvoWindow.h"
#include "PreferenceKeys.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMenu>
#include <QScopedValueRollback>
#include <QSettings>

namespace K = QmdKelvoKeys;

namespace {

// The icon of a network file.
QIcon documentIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addFile(QStringLiteral(":/images/DocumentIcon/kelvo-network-%1.png").arg(size));
    return icon;
}

// The controller's signals of changed and removed keys, the overloads the bar follows.
using ItemsSignal = void (QmdController::*)(const QmdIndex&, const QStringList&, QmdRequestId);
const ItemsSignal ItemsChanged = &QmdController::itemsChanged;
const ItemsSignal ItemsRemoved = &QmdController::itemsRemoved;

} // namespace

KelvoMenuBar::KelvoMenuBar(KelvoWindow* window)
    : QMenuBar(window)
{
    buildMenus();
    setKelvoWindow(window);
}

KelvoMenuBar::~KelvoMenuBar() = default;

// ---- Building -------------------------------------------------------------------------------

void KelvoMenuBar::buildMenus()
{
    buildFileMenu();
    buildEditMenu();
    buildViewMenu();
    buildControlMenu();
    buildToolMenu();
    buildHelpMenu();
    mac_createWindowMenu();
    useEllipsisCharacters();
}

void KelvoMenuBar::buildFileMenu()
{
    KelvoApplication* app = KelvoApplication::instance();
    fileMenu = addMenu(tr("&File"));
    QAction* newAction = fileMenu->addAction(tr("&New"));
    newAction->setShortcut(QKeySequence::New);
    QAction* openAction = fileMenu->addAction(tr("&Open..."));
    openAction->setShortcut(QKeySequence::Open);

    openRecentMenu = fileMenu->addMenu(tr("Open &Recent"));
    connect(openRecentMenu, &QMenu::aboutToShow, this, &KelvoMenuBar::updateOpenRecentMenu);
    connect(openRecentMenu, &QMenu::triggered, this, &KelvoMenuBar::onOpenFileActionTriggered);
    openExampleMenu = fileMenu->addMenu(tr("Open &Example"));
    connect(openExampleMenu, &QMenu::aboutToShow, this, &KelvoMenuBar::updateOpenExampleMenu);
    connect(openExampleMenu, &QMenu::triggered, this,
            &KelvoMenuBar::onOpenExampleFileActionTriggered);
    fileMenu->addSeparator();

    closeAction = fileMenu->addAction(tr("&Close"));
    // Close and Redo answer to every key the desktop gives them: the first one differs between
    // desktops (Ctrl+F4 or Ctrl+W, Ctrl+Y or Ctrl+Shift+Z).
    closeAction->setShortcuts(QKeySequence::Close);
    saveAction = fileMenu->addAction(tr("&Save"));
    saveAction->setShortcut(QKeySequence::Save);
    saveAsAction = fileMenu->addAction(tr("Save &As..."));
    // The standard key is empty on several desktops.
    saveAsAction->setShortcut(QKeySequence(tr("Ctrl+Shift+S")));
    saveAllAction = fileMenu->addAction(tr("Save All"));
    fileMenu->addSeparator();
    pageSetupAction = fileMenu->addAction(tr("Page Set&up..."));
    pageSetupAction->setShortcut(QKeySequence(tr("Shift+Ctrl+P")));
    printAction = fileMenu->addAction(tr("&Print..."));
    printAction->setShortcut(QKeySequence::Print);
    fileMenu->addSeparator();
    QAction* exitAction = fileMenu->addAction(tr("E&xit"));
    exitAction->setShortcut(QKeySequence(tr("Ctrl+Q")));

    if (app) {
        connect(newAction, &QAction::triggered, app, &KelvoApplication::newDocument);
        connect(openAction, &QAction::triggered, app,
                qOverload<>(&KelvoApplication::openDocuments));
        connect(closeAction, &QAction::triggered, app, &KelvoApplication::closeActiveWindow);
        connect(saveAllAction, &QAction::triggered, app, &KelvoApplication::saveAllDocuments);
        connect(exitAction, &QAction::triggered, app, &KelvoApplication::appQuit);
        connect(app, &KelvoApplication::documentWindowsBlockedChanged, this,
                &KelvoMenuBar::syncEnabledStateOfSaveActions);
    }
    syncEnabledStateOfSaveActions();
}

void KelvoMenuBar::buildEditMenu()
{
    editMenu = addMenu(tr("&Edit"));
    undoAction = editMenu->addAction(tr("&Undo"));
    undoAction->setShortcut(QKeySequence::Undo);
    redoAction = editMenu->addAction(tr("&Redo"));
    redoAction->setShortcuts(QKeySequence::Redo);
    editMenu->addSeparator();
    QAction* cutAction = editMenu->addAction(tr("Cu&t"), this, &KelvoMenuBar::cut);
    cutAction->setShortcut(QKeySequence::Cut);
    QAction* copyAction = editMenu->addAction(tr("&Copy"), this, &KelvoMenuBar::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    QAction* pasteAction = editMenu->addAction(tr("&Paste"), this, &KelvoMenuBar::paste);
    pasteAction->setShortcut(QKeySequence::Paste);
    editMenu->addAction(tr("&Delete"), this, &KelvoMenuBar::del);
    QAction* selectAllAction
        = editMenu->addAction(tr("Select A&ll"), this, &KelvoMenuBar::selectAll);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    editMenu->addSeparator();
    QAction* preferencesAction = editMenu->addAction(tr("&Preferences..."));
    if (KelvoApplication* app = KelvoApplication::instance())
        connect(preferencesAction, &QAction::triggered, app, &KelvoApplication::showAppPrefs);
}

void KelvoMenuBar::buildViewMenu()
{
    viewMenu = addMenu(tr("&View"));
    actualSizeAction = viewMenu->addAction(tr("Actual Size"));
    actualSizeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    zoomInAction = viewMenu->addAction(tr("Zoom &In"));
    zoomInAction->setShortcuts(QKeySequence::ZoomIn);
    zoomOutAction = viewMenu->addAction(tr("Zoom &Out"));
    zoomOutAction->setShortcut(QKeySequence::ZoomOut);
    viewMenu->addSeparator();

    const auto toggle = [this](const char* shortcut) {
        QAction* action = viewMenu->addAction(QStringLiteral("-"));
        action->setShortcut(QKeySequence(tr(shortcut)));
        return action;
    };
    showGridAction = toggle(QT_TR_NOOP("Ctrl+'"));
    setShowGridActionText(false);
    snapToGridAction = toggle(QT_TR_NOOP("Shift+Ctrl+'"));
    setSnapToGridActionText(false);
    viewMenu->addSeparator();
    showNodeCountersAction = toggle(QT_TR_NOOP("Shift+Ctrl+C"));
    setShowNodeCountersActionText(false);
    showNodeLastNotesSentAction = toggle(QT_TR_NOOP("Shift+Ctrl+L"));
    setShowNodeLastNotesSentActionText(false);
    viewMenu->addSeparator();
    showEdgeSignallingAction = toggle(QT_TR_NOOP("Shift+Ctrl+E"));
    setShowEdgeSignallingActionText(false);
    viewMenu->addSeparator();
    inspectorAction = toggle(QT_TR_NOOP("Alt+Ctrl+I"));
    syncInspectorActionText();
    synthDialogAction = toggle(QT_TR_NOOP("Ctrl+;"));
    syncSynthDialogActionText();

    if (KelvoApplication* app = KelvoApplication::instance()) {
        connect(inspectorAction, &QAction::triggered, app, &KelvoApplication::mac_toggleInspector);
        connect(synthDialogAction, &QAction::triggered, app, &KelvoApplication::toggleSynthDialog);
        connect(app, &KelvoApplication::mac_inspectorVisibilityToggled, this,
                &KelvoMenuBar::syncInspectorActionText);
        connect(app, &KelvoApplication::synthDialogToggled, this,
                &KelvoMenuBar::syncSynthDialogActionText);
    }
}

void KelvoMenuBar::buildControlMenu()
{
    controlMenu = addMenu(tr("&Control"));
    gotoStartAction = controlMenu->addAction(tr("Go to &Start"));
    gotoStartAction->setShortcut(QKeySequence(tr("Ctrl+R")));
    controlMenu->addSeparator();
    // Space plays and pauses through the application's key filter, which leaves the key to
    // the widgets that take it; the action only names it.
    playPauseAction = controlMenu->addAction(QStringLiteral("-"));
    midiTriggeringAction = controlMenu->addAction(QStringLiteral("-"));
    midiTriggeringAction->setShortcut(QKeySequence(tr("Ctrl+T")));
    setMidiTriggeringActionText(false);
}

void KelvoMenuBar::buildToolMenu()
{
    toolMenu = addMenu(tr("&Tool"));
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    const auto heading
        = [this](const QString& text) { toolMenu->addAction(text)->setEnabled(false); };
    const auto tool = [&](const QString& text, const char* shortcut, uint id) {
        QAction* action = toolMenu->addAction(text);
        action->setShortcut(QKeySequence(tr(shortcut)));
        action->setCheckable(true);
        action->setData(id);
        group->addAction(action);
        toolActions.insert(id, action);
    };
    heading(tr("General"));
    tool(tr("   &Selection"), QT_TR_NOOP("Ctrl+1"), 0);
    tool(tr("   &Zoom"), QT_TR_NOOP("Ctrl+2"), 1);
    heading(tr("Elements"));
    tool(tr("   &Node && Edge"), QT_TR_NOOP("Ctrl+3"), 2);
    tool(tr("   &Voice Group"), QT_TR_NOOP("Ctrl+4"), 3);
    tool(tr("   &Text Box"), QT_TR_NOOP("Ctrl+5"), 4);
    connect(group, &QActionGroup::triggered, this, &KelvoMenuBar::onToolTriggered);
}

void KelvoMenuBar::buildHelpMenu()
{
    helpMenu = new QMenu(tr("&Help"), this);
    QAction* aboutAction = helpMenu->addAction(tr("&About Kelvo"));
    QAction* manualAction = helpMenu->addAction(tr("Kelvo &Manual"));
    helpMenu->addSeparator();
    websiteAction = helpMenu->addAction(tr("Kelvo &Website"));
    communityAction = helpMenu->addAction(tr("Kelvo &Community"));
    supportAction = helpMenu->addAction(tr("Contact &Support"));
    connect(helpMenu, &QMenu::aboutToShow, this, &KelvoMenuBar::syncHelpActions);
    if (KelvoApplication* app = KelvoApplication::instance()) {
        connect(aboutAction, &QAction::triggered, app, &KelvoApplication::showAppAbout);
        connect(manualAction, &QAction::triggered, app, &KelvoApplication::openKelvoManual);
        connect(websiteAction, &QAction::triggered, app, &KelvoApplication::openKelvoWebsiteUrl);
        connect(communityAction, &QAction::triggered, app,
                &KelvoApplication::openKelvoCommunityUrl);
        connect(supportAction, &QAction::triggered, app, &KelvoApplication::openKelvoSupportUrl);
    }
    syncHelpActions();
}

void KelvoMenuBar::mac_createWindowMenu()
{
    removeAction(helpMenu->menuAction());
    addMenu(helpMenu);
}

void KelvoMenuBar::useEllipsisCharacters()
{
    const QString threeDots = QStringLiteral("...");
    const QString ellipsis(QChar(0x2026));
    for (QAction* action : findChildren<QAction*>()) {
        QString text = action->text();
        if (text.contains(threeDots))
            action->setText(text.replace(threeDots, ellipsis));
    }
}

QList<QAction*> KelvoMenuBar::shortcutActions() const
{
    QList<QAction*> actions;
    for (QAction* action : findChildren<QAction*>()) {
        if (!action->shortcuts().isEmpty())
            actions << action;
    }
    return actions;
}

// ---- Following the window -------------------------------------------------------------------

void KelvoMenuBar::disconnectWindow()
{
    if (!m_window)
        return;
    QmdKelvoController* controller = m_window->controller();
    disconnect(controller, nullptr, this, nullptr);
    disconnect(controller, nullptr, undoAction, nullptr);
    disconnect(controller, nullptr, redoAction, nullptr);
    for (QAction* action :
         {showGridAction, snapToGridAction, showNodeCountersAction, showNodeLastNotesSentAction,
          showEdgeSignallingAction, gotoStartAction, playPauseAction, midiTriggeringAction})
        disconnect(action, nullptr, controller, nullptr);
    for (QAction* action : {saveAction, saveAsAction, pageSetupAction, printAction, undoAction,
                            redoAction, actualSizeAction, zoomInAction, zoomOutAction})
        disconnect(action, nullptr, m_window, nullptr);
    disconnect(m_window, nullptr, zoomInAction, nullptr);
    disconnect(m_window, nullptr, zoomOutAction, nullptr);
    disconnect(m_window, nullptr, this, nullptr);
}

void KelvoMenuBar::connectWindow()
{
    KelvoWindow* window = m_window;
    QmdKelvoController* controller = window->controller();
    connect(controller, &QmdController::modelReset, this, &KelvoMenuBar::onModelReset);
    connect(controller, ItemsChanged, this, &KelvoMenuBar::onItemsEffected);
    connect(controller, ItemsRemoved, this, &KelvoMenuBar::onItemsEffected);
    // Emitted on the MIDI thread when MIDI clock starts or stops the transport.
    connect(controller, &QmdKelvoController::playbackStateChanged, this,
            &KelvoMenuBar::setPlayPauseActionText);
    connect(controller, &QmdController::undoTextChanged, this, &KelvoMenuBar::syncUndoActionText);
    connect(controller, &QmdController::redoTextChanged, this, &KelvoMenuBar::syncRedoActionText);
    connect(controller, &QmdController::canUndoChanged, undoAction, [this](bool canUndo) {
        undoAction->setEnabled(canUndo && m_window && !m_window->isBlockedByDialog());
    });
    connect(controller, &QmdController::canRedoChanged, redoAction, [this](bool canRedo) {
        redoAction->setEnabled(canRedo && m_window && !m_window->isBlockedByDialog());
    });

    connect(showGridAction, &QAction::triggered, controller,
            &QmdKelvoController::requestToggleShowGrid);
    connect(snapToGridAction, &QAction::triggered, controller,
            &QmdKelvoController::requestToggleSnapToGrid);
    connect(showNodeCountersAction, &QAction::triggered, controller,
            &QmdKelvoController::requestToggleShowNodeCounters);
    connect(showNodeLastNotesSentAction, &QAction::triggered, controller,
            &QmdKelvoController::requestToggleShowNodeLastNotesSent);
    connect(showEdgeSignallingAction, &QAction::triggered, controller,
            &QmdKelvoController::requestToggleShowEdgeSignalling);
    connect(gotoStartAction, &QAction::triggered, controller,
            &QmdKelvoController::requestGotoStart);
    connect(playPauseAction, &QAction::triggered, controller,
            &QmdKelvoController::requestTogglePlayback);
    connect(midiTriggeringAction, &QAction::triggered, controller,
            &QmdKelvoController::requestToggleMidiTriggering);

    connect(saveAction, &QAction::triggered, window, &KelvoWindow::save);
    connect(saveAsAction, &QAction::triggered, window, &KelvoWindow::saveAs);
    connect(pageSetupAction, &QAction::triggered, window, &KelvoWindow::pageSetup);
    connect(printAction, &QAction::triggered, window, &KelvoWindow::print);
    connect(undoAction, &QAction::triggered, window, &KelvoWindow::undo);
    connect(redoAction, &QAction::triggered, window, &KelvoWindow::redo);
    connect(actualSizeAction, &QAction::triggered, window, &KelvoWindow::zoomActualSize);
    connect(zoomInAction, &QAction::triggered, window, &KelvoWindow::zoomIn);
    connect(zoomOutAction, &QAction::triggered, window, &KelvoWindow::zoomOut);
    connect(window, &KelvoWindow::canZoomInChanged, zoomInAction, &QAction::setEnabled);
    connect(window, &KelvoWindow::canZoomOutChanged, zoomOutAction, &QAction::setEnabled);
    connect(window, &KelvoWindow::blockedByDialogChanged, this,
            &KelvoMenuBar::onKelvoWindowBlockedByDialogChanged);
}

void KelvoMenuBar::setKelvoWindow(KelvoWindow* window)
{
    disconnectWindow();
    m_window = window;
    if (m_window)
        connectWindow();

    const bool usable = m_window && !m_window->isBlockedByDialog();
    QmdKelvoController* controller = m_window ? m_window->controller() : nullptr;
    closeAction->setEnabled(usable);
    pageSetupAction->setEnabled(usable);
    printAction->setEnabled(usable);
    editMenu->setEnabled(usable);
    syncEnabledStateOfSaveActions();
    syncUndoActionText();
    syncRedoActionText();
    undoAction->setEnabled(usable && controller->canUndo());
    redoAction->setEnabled(usable && controller->canRedo());
    actualSizeAction->setEnabled(usable);
    zoomInAction->setEnabled(usable && m_window->canZoomIn());
    zoomOutAction->setEnabled(usable && m_window->canZoomOut());
    for (QAction* action :
         {showGridAction, snapToGridAction, showNodeCountersAction, showNodeLastNotesSentAction,
          showEdgeSignallingAction, controlMenu->menuAction(), gotoStartAction, playPauseAction,
          midiTriggeringAction, toolMenu->menuAction()})
        action->setEnabled(usable);

    setSnapToGridActionText(false);
    setShowGridActionText(false);
    setShowNodeCountersActionText(false);
    setShowNodeLastNotesSentActionText(false);
    setShowEdgeSignallingActionText(false);
    setPlayPauseActionText(false);
    setMidiTriggeringActionText(false);
    if (!m_window)
        return;

    onItemsEffected(QmdIndex(),
                    {K::ShowGrid, K::SnapToGrid, K::ShowNodeCounters, K::ShowNodeLastNotesSent,
                     K::ShowEdgeSignalling, K::MidiTriggeringEnabled});
    onItemsEffected(DocumentTool::parentIndex(controller), {K::Tool});
    const AbstractSync* clock = controller->sync();
    setPlayPauseActionText(clock && clock->isPlaying());
}

void KelvoMenuBar::onModelReset()
{
    setKelvoWindow(m_window);
}

void KelvoMenuBar::onKelvoWindowBlockedByDialogChanged(bool)
{
    setKelvoWindow(m_window);
}

void KelvoMenuBar::onItemsEffected(const QmdIndex& parent, const QStringList& keys)
{
    if (!m_window)
        return;
    QmdKelvoController* controller = m_window->controller();
    if (parent == QmdIndex()) {
        const auto flag
            = [&](const QString& key) { return controller->data(key, QmdIndex()).toBool(); };
        if (keys.contains(K::ShowGrid))
            setShowGridActionText(flag(K::ShowGrid));
        if (keys.contains(K::SnapToGrid))
            setSnapToGridActionText(flag(K::SnapToGrid));
        if (keys.contains(K::ShowNodeCounters))
            setShowNodeCountersActionText(flag(K::ShowNodeCounters));
        if (keys.contains(K::ShowNodeLastNotesSent))
            setShowNodeLastNotesSentActionText(flag(K::ShowNodeLastNotesSent));
        if (keys.contains(K::ShowEdgeSignalling))
            setShowEdgeSignallingActionText(flag(K::ShowEdgeSignalling));
        if (keys.contains(K::MidiTriggeringEnabled))
            setMidiTriggeringActionText(flag(K::MidiTriggeringEnabled));
    }
    // The tool is run-time state, kept under "Temp"; the window sets back a value that names
    // no tool.
    if (keys.contains(K::Tool) && parent == DocumentTool::parentIndex(controller)) {
        if (QAction* action = toolActions.value(uint(DocumentTool::current(controller))))
            action->setChecked(true);
    }
}

void KelvoMenuBar::onToolTriggered(QAction* action)
{
    if (m_window)
        DocumentTool::requestSet(m_window->controller(), action->data().toInt());
}

// ---- States and texts -----------------------------------------------------------------------

void KelvoMenuBar::syncEnabledStateOfSaveActions()
{
    const bool usable = m_window && !m_window->isBlockedByDialog();
    saveAction->setEnabled(usable);
    saveAsAction->setEnabled(usable);
    bool anyBlocked = false;
    bool anyWindow = false;
    if (KelvoApplication* app = KelvoApplication::instance()) {
        for (const KelvoWindow* window : app->windows()) {
            anyWindow = true;
            anyBlocked = anyBlocked || window->isBlockedByDialog();
        }
    } else if (m_window) {
        anyWindow = true;
        anyBlocked = m_window->isBlockedByDialog();
    }
    saveAllAction->setEnabled(anyWindow && !anyBlocked);
}

void KelvoMenuBar::syncUndoActionText()
{
    QString text = tr("&Undo");
    if (m_window)
        text += QLatin1Char(' ') + m_window->controller()->undoText();
    undoAction->setText(text);
}

void KelvoMenuBar::syncRedoActionText()
{
    QString text = tr("&Redo");
    if (m_window)
        text += QLatin1Char(' ') + m_window->controller()->redoText();
    redoAction->setText(text);
}

void KelvoMenuBar::setShowGridActionText(bool shown)
{
    showGridAction->setText(shown ? tr("Hide &Grid") : tr("Show &Grid"));
}

void KelvoMenuBar::setSnapToGridActionText(bool shown)
{
    snapToGridAction->setText(shown ? tr("Turn &Snap to Grid Off") : tr("Turn &Snap to Grid On"));
}

void KelvoMenuBar::setShowNodeCountersActionText(bool shown)
{
    showNodeCountersAction->setText(shown ? tr("Hide Node &Counters") : tr("Show Node &Counters"));
}

void KelvoMenuBar::setShowNodeLastNotesSentActionText(bool shown)
{
    showNodeLastNotesSentAction->setText(shown ? tr("Hide Node &Last Note(s) Sent")
                                               : tr("Show Node &Last Note(s) Sent"));
}

void KelvoMenuBar::setShowEdgeSignallingActionText(bool shown)
{
    showEdgeSignallingAction->setText(shown ? tr("Hide &Edge Signalling")
                                            : tr("Show &Edge Signalling"));
}

void KelvoMenuBar::setPlayPauseActionText(bool playing)
{
    playPauseAction->setText(playing ? tr("Pause\tSpace") : tr("Play\tSpace"));
}

void KelvoMenuBar::setMidiTriggeringActionText(bool midiTriggering)
{
    midiTriggeringAction->setText(midiTriggering ? tr("Disable MIDI &Triggering")
                                                 : tr("Enable MIDI &Triggering"));
}

void KelvoMenuBar::syncInspectorActionText()
{
    KelvoApplication* app = KelvoApplication::instance();
    const bool visible = app && app->inspector() && app->inspector()->isVisible();
    inspectorAction->setText(visible ? tr("Hide &Inspector") : tr("Show &Inspector"));
}

void KelvoMenuBar::syncSynthDialogActionText()
{
    KelvoApplication* app = KelvoApplication::instance();
    const bool open = app && app->isSynthDialogOpen();
    synthDialogAction->setText(open ? tr("Hide &Synthesizer") : tr("Show &Synthesizer"));
}

void KelvoMenuBar::syncHelpActions()
{
    KelvoApplication* app = KelvoApplication::instance();
    const bool website = app && !app->preferenceText(PreferenceKeys::WebsiteUrl).isEmpty();
    const bool support = app && !app->preferenceText(PreferenceKeys::SupportMailAddress).isEmpty();
    websiteAction->setEnabled(website);
    communityAction->setEnabled(website);
    supportAction->setEnabled(support);
}

// ---- Recent files and examples --------------------------------------------------------------

void KelvoMenuBar::updateOpenRecentMenu()
{
    openRecentMenu->clear();
    QList<QFileInfo> files;
    QHash<QString, int> baseNameCounts;
    {
        QSettings settings;
        const int count = settings.beginReadArray(PreferenceKeys::RecentFiles);
        for (int i = 0; i < count; ++i) {
            settings.setArrayIndex(i);
            const QFileInfo info(settings.value(PreferenceKeys::RecentFilesPath).toString());
            if (!info.exists())
                continue;
            files << info;
            ++baseNameCounts[info.completeBaseName()];
        }
        settings.endArray();
    }

    QFileIconProvider icons;
    for (const QFileInfo& info : std::as_const(files)) {
        QString text = info.completeBaseName();
        if (baseNameCounts.value(text) > 1)
            text += tr(" — ") + QDir(info.path()).dirName();
        QAction* action = openRecentMenu->addAction(icons.icon(info), text);
        action->setData(info.filePath());
    }
    if (!files.isEmpty())
        openRecentMenu->addSeparator();
    QAction* clear = openRecentMenu->addAction(tr("&Clear Menu"));
    connect(clear, &QAction::triggered, this, &KelvoMenuBar::clearOpenRecentMenu);
    clear->setEnabled(!files.isEmpty());
}

void KelvoMenuBar::clearOpenRecentMenu()
{
    QSettings().remove(PreferenceKeys::RecentFiles);
}

void KelvoMenuBar::onOpenFileActionTriggered(QAction* action)
{
    const QString path = action ? action->data().toString() : QString();
    KelvoApplication* app = KelvoApplication::instance();
    if (app && !path.isEmpty())
        app->openDocument(path, false);
}

void KelvoMenuBar::updateOpenExampleMenu()
{
    openExampleMenu->clear();
    const QDir folder(Platform::bundleResourcePath(QStringLiteral("Examples")));
    const QFileInfoList examples = folder.entryInfoList({QStringLiteral("*.kvd")}, QDir::Files,
                                                        QDir::Name | QDir::IgnoreCase);
    if (examples.isEmpty()) {
        openExampleMenu->addAction(tr("(Empty)"))->setEnabled(false);
        return;
    }
    const QIcon icon = documentIcon();
    for (const QFileInfo& info : examples)
        openExampleMenu->addAction(icon, info.completeBaseName())->setData(info.filePath());
}

void KelvoMenuBar::onOpenExampleFileActionTriggered(QAction* action)
{
    const QString path = action ? action->data().toString() : QString();
    KelvoApplication* app = KelvoApplication::instance();
    if (app && !path.isEmpty())
        app->openDocument(path, true);
}

// ---- Edit forwarding ------------------------------------------------------------------------

void KelvoMenuBar::forwardEditCommand(const char* method)
{
    // A command that comes back here while it is being passed on (a target that forwards it
    // again) ends; so does one that would reach a menu bar or a menu: after Alt the bar itself
    // has the focus, and its own slots of these names would call this again.
    static bool forwarding = false;
    if (forwarding)
        return;
    const QScopedValueRollback<bool> guard(forwarding, true);

    QWidget* target = QApplication::focusWidget();
    if (qobject_cast<QMenuBar*>(target) || qobject_cast<QMenu*>(target))
        target = nullptr;
    // A text box being edited in the view: its field takes the command.
    if (auto* view = qobject_cast<QGraphicsView*>(target)) {
        QGraphicsItem* item = view->scene() ? view->scene()->focusItem() : nullptr;
        QGraphicsObject* object = item ? item->toGraphicsObject() : nullptr;
        if (auto* proxy = qobject_cast<QGraphicsProxyWidget*>(object)) {
            if (QWidget* embedded = proxy->widget())
                target = embedded->focusWidget() ? embedded->focusWidget() : embedded;
        }
    }
    const QByteArray signature = QByteArray(method) + "()";
    if (target && target->metaObject()->indexOfMethod(signature.constData()) > 0) {
        QMetaObject::invokeMethod(target, method, Qt::DirectConnection);
        return;
    }
    if (m_window)
        QMetaObject::invokeMethod(m_window, method, Qt::DirectConnection);
}

void KelvoMenuBar::cut()
{
    forwardEditCommand("cut");
}

void KelvoMenuBar::copy()
{
    forwardEditCommand("copy");
}

void KelvoMenuBar::paste()
{
    forwardEditCommand("paste");
}

void KelvoMenuBar::del()
{
    forwardEditCommand("del");
}

void KelvoMenuBar::selectAll()
{
    forwardEditCommand("selectAll");
}
