#ifndef KELVOMENUBAR_H
#define KELVOMENUBAR_H

#include "QmdIndex.h"

#include <QHash>
#include <QMenuBar>
#include <QPointer>

class KelvoWindow;
class QAction;
class QMenu;

// The menu bar of one document window: every command of the program with its shortcut. The
// window's own commands act on that window and its document controller, and the actions'
// states and texts follow the window, its document and the application (the inspector, the
// synthesizer dialog, and the other windows for Save All). Application-wide commands go to
// KelvoApplication.
class KelvoMenuBar : public QMenuBar
{
    Q_OBJECT

public:
    // Builds the menus and follows `window`, which also becomes the bar's parent.
    explicit KelvoMenuBar(KelvoWindow* window);
    ~KelvoMenuBar() override;

    KelvoWindow* kelvoWindow() const { return m_window; }
    // Every action of the bar that has a shortcut.
    QList<QAction*> shortcutActions() const;

    // Passes an edit command to the widget with the focus when it has a slot of that name (a
    // text field, or the field inside a text box being edited), else to the window.
    void forwardEditCommand(const char* method);

public slots:
    // Follows `window` (null for none) and takes every state and text from it afresh.
    void setKelvoWindow(KelvoWindow* window);
    void onModelReset();
    void onToolTriggered(QAction* action);
    void onItemsEffected(const QmdIndex& parent, const QStringList& keys);
    void onKelvoWindowBlockedByDialogChanged(bool blockedByDialog);
    void clearOpenRecentMenu();
    void updateOpenRecentMenu();
    void updateOpenExampleMenu();
    void onOpenFileActionTriggered(QAction* action);
    void onOpenExampleFileActionTriggered(QAction* action);
    void cut();
    void copy();
    void paste();
    void del();
    void selectAll();
    void syncEnabledStateOfSaveActions();
    void syncUndoActionText();
    void syncRedoActionText();
    void setShowGridActionText(bool shown);
    void setSnapToGridActionText(bool shown);
    void setShowNodeCountersActionText(bool shown);
    void setShowNodeLastNotesSentActionText(bool shown);
    void setShowEdgeSignallingActionText(bool shown);
    void setPlayPauseActionText(bool playing);
    void setMidiTriggeringActionText(bool midiTriggering);
    void syncInspectorActionText();
    void syncSynthDialogActionText();
    // The website, community and support entries are enabled while their preference is set.
    void syncHelpActions();
    // Puts the Help menu at the end of the bar.
    void mac_createWindowMenu();

private:
    void buildMenus();
    void buildFileMenu();
    void buildEditMenu();
    void buildViewMenu();
    void buildControlMenu();
    void buildToolMenu();
    void buildHelpMenu();
    // Replaces "..." in every action's text by the ellipsis character.
    void useEllipsisCharacters();
    // Cuts the connections made for the followed window.
    void disconnectWindow();
    void connectWindow();

    QPointer<KelvoWindow> m_window;
    QHash<uint, QAction*> toolActions;

    QMenu* fileMenu = nullptr;
    QMenu* openRecentMenu = nullptr;
    QMenu* openExampleMenu = nullptr;
    QMenu* editMenu = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* controlMenu = nullptr;
    QMenu* toolMenu = nullptr;
    QMenu* helpMenu = nullptr;

    QAction* closeAction = nullptr;
    QAction* saveAction = nullptr;
    QAction* saveAsAction = nullptr;
    QAction* saveAllAction = nullptr;
    QAction* pageSetupAction = nullptr;
    QAction* printAction = nullptr;
    QAction* undoAction = nullptr;
    QAction* redoAction = nullptr;
    QAction* actualSizeAction = nullptr;
    QAction* zoomInAction = nullptr;
    QAction* zoomOutAction = nullptr;
    QAction* showGridAction = nullptr;
    QAction* snapToGridAction = nullptr;
    QAction* showNodeCountersAction = nullptr;
    QAction* showNodeLastNotesSentAction = nullptr;
    QAction* showEdgeSignallingAction = nullptr;
    QAction* inspectorAction = nullptr;
    QAction* synthDialogAction = nullptr;
    QAction* gotoStartAction = nullptr;
    QAction* playPauseAction = nullptr;
    QAction* midiTriggeringAction = nullptr;
    QAction* websiteAction = nullptr;
    QAction* communityAction = nullptr;
    QAction* supportAction = nullptr;
};

#endif // KELVOMENUBAR_H
