#ifndef KELVOWINDOW_H
#define KELVOWINDOW_H

#include "DocumentWindow.h"
#include "PositionDisplay.h"
#include "QmdIndex.h"
#include "ui_KelvoWindowForm.h"
#include "ui_PlaybackControlsForm.h"
#include "ui_ToolChooserForm.h"

#include <QFile>
#include <QHash>
#include <QPixmap>

#include <memory>

class KelvoMenuBar;
class NetworkScene;
class QAction;
class QLabel;
class QMenu;
class QMessageBox;
class QmdMemModel;
class QPrinter;
class QTimer;

// The window of one open document (a network): it owns the document's model and controller,
// shows the network in its view and turns the user's document commands into requests. Its
// tool bar holds the tool chooser and the transport bar with the position display, and its
// menu bar every command.
class KelvoWindow : public DocumentWindow
{
    Q_OBJECT
    // The position display's mode (1 Time, 2 Principals, 3 Beats), bound to the document's
    // "PlaybackPosDisplayMode".
    Q_PROPERTY(int playbackPosDisplayMode READ playbackPosDisplayMode WRITE
                   setPlaybackPosDisplayMode NOTIFY playbackPosDisplayModeChanged)

public:
    KelvoWindow();
    ~KelvoWindow() override;

    QmdKelvoController* controller() const override { return m_controller; }
    NetworkScene* scene() const { return m_scene; }
    QmdItemIdSet selectedElementIds() const override;
    Q_INVOKABLE void setPasteTickPoint(QmdKelvo::TickPoint point) override;

    // The document's name as the title shows it: the file's name without folder and last
    // suffix, or "Untitled".
    QString documentTitle() const { return m_documentTitle; }
    bool isBlockedByDialog() const { return m_blockedByDialog; }
    // The last load failed; the window is closing.
    bool loadFailed() const { return m_loadFailed; }
    // The printer of page set-up and printing, made at first use.
    QPrinter* printer();

    bool canZoomIn() const;
    bool canZoomOut() const;

    KelvoMenuBar* kelvoMenuBar() const { return m_menuBar; }
    int playbackPosDisplayMode() const { return m_playbackPosDisplayMode; }
    // The LCD glyphs of the position display, by character.
    const QHash<QChar, QPixmap>& solidGlyphs() const { return solidChars; }
    const QHash<QChar, QPixmap>& dimGlyphs() const { return dimChars; }

    // Puts `path`, made absolute, at the front of the recent-files list.
    static void addToRecentFiles(const QString& path);

public slots:
    void reset();
    void save();
    void saveAs();
    void pageSetup();
    void print();
    void undo();
    void redo();
    void cut() override;
    void copy() override;
    void paste() override;
    void del() override;
    void selectAll() override;
    void zoomActualSize();
    void zoomIn();
    void zoomOut();
    void onPrintAccepted();
    // Completes a save dialog of this window; the sender is the dialog.
    void onSaveAsDialogFinished();
    void onFileSaved();
    void onFileSaveError(const QString& fileName, QFile::FileError error);
    void onFileLoaded();
    void onFileLoadError(const QString& fileName, QFile::FileError error);
    void onFileNameChanged(const QString& fileName);
    void onAtCleanStateChanged(bool atCleanState);
    void onItemsEffected(const QmdIndex& parent, const QStringList& keys);
    void onToolTriggered(QAction* action);
    // Writes "ZoomScale" by the rule the view applies (ZoomScale::effective), with no undo
    // step.
    void zoom(qreal scale);
    void beginBlockByDialog();
    void endBlockByDialog();
    void onPlaybackStateChanged(bool isPlaying);
    void setPlaybackPosDisplayMode(int mode);
    void onDisplayModeMenuActionTriggered(QAction* action);
    // Shows the transport clock's position in the current mode.
    void updatePlaybackPosDisplayForCurrentMode();

signals:
    void canZoomInChanged(bool canZoomIn);
    void canZoomOutChanged(bool canZoomOut);
    void blockedByDialogChanged(bool blockedByDialog);
    void playbackPosDisplayModeChanged(int mode);
    // The file could not be read; the window closes itself once the user has been told.
    void closingAfterLoadError();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A window-modal message box of this window with the title "Kelvo".
    QMessageBox* newMessageBox();
    // Runs a box modally with blockedByDialog set; returns the button clicked.
    int execBlocking(QMessageBox* box);
    // Saves under `fileName` when it is not empty; otherwise gives up closing and quitting.
    void saveChosen(const QString& fileName);
    // The effective zoom of the document.
    double zoomScale() const;
    void applyTool();
    // The tool chooser and the transport bar, wired to the controller.
    void setUpToolBar();
    void setUpDisplayModeMenu();
    void loadGlyphs();
    // Gives each label the glyph of its place.
    void showPlaces(const QList<QLabel*>& labels, const QList<PositionDisplay::Place>& places);

    Ui_KelvoWindowForm ui;
    Ui_ToolChooserForm toolChooserUi;
    Ui_PlaybackControlsForm playbackUi;
    bool m_blockedByDialog = false;
    bool m_closeAfterSave = false;
    bool m_loadFailed = false;
    // The close prompt is up on behalf of a quit (and its save, when the user chose Save).
    bool m_promptingForQuit = false;
    QmdMemModel* m_model = nullptr;
    QmdKelvoController* m_controller = nullptr;
    NetworkScene* m_scene = nullptr;
    std::unique_ptr<QPrinter> m_printer;
    QHash<uint, QAction*> toolActions;
    QMenu* displayModeMenu = nullptr;
    QTimer* positionTimer = nullptr;
    KelvoMenuBar* m_menuBar = nullptr;
    bool pasteTickPointSet = false;
    bool pasteRepeat = false;
    QmdKelvo::TickPoint pasteTickPoint;
    QString m_documentTitle;
    int m_playbackPosDisplayMode = 0;
    QHash<QChar, QPixmap> solidChars;
    QHash<QChar, QPixmap> dimChars;
    // The labels of each display page, in the order of PositionDisplay's places.
    QList<QLabel*> timeLabels;
    QList<QLabel*> principalLabels;
    QList<QLabel*> beatLabels;
};

#endif // KELVOWINDOW_H
