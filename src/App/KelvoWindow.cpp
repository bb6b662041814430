#include "KelvoWindow.h"

#include "AbstractSync.h"
#include "BundleResources.h"
#include "DocumentTool.h"
#include "KelvoApplication.h"
#include "KelvoInfo.h"
#include "KelvoMenuBar.h"
#include "NetworkScene.h"
#include "NetworkView.h"
#include "PreferenceKeys.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "QmdMemModel.h"
#include "ZoomScale.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPainterPath>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSettings>
#include <QSplashScreen>
#include <QTimer>

namespace K = QmdKelvoKeys;

namespace {

QSettings* appSettings()
{
    KelvoApplication* app = KelvoApplication::instance();
    return app ? app->settings() : nullptr;
}

bool isQuitting()
{
    KelvoApplication* app = KelvoApplication::instance();
    return app && app->isQuitting();
}

void clearQuitting()
{
    if (KelvoApplication* app = KelvoApplication::instance())
        app->setQuitting(false);
}

// The name of a file as the error boxes show it, in quotation marks.
QString quotedFileName(const QString& fileName)
{
    QString name = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.isEmpty())
        name = KelvoWindow::tr("Untitled");
    return KelvoWindow::tr("“%1”").arg(name);
}

} // namespace

KelvoWindow::KelvoWindow()
    : m_documentTitle(tr("Untitled"))
{
    ui.setupUi(this);
    ui.networkView->setActionTarget(this);

    m_model = new QmdMemModel(this);
    m_controller = new QmdKelvoController(this);
    m_controller->setModel(m_model);
    m_controller->requestSetUndoRedoLimit(100);

    QString templatePath;
    if (QSettings* settings = appSettings())
        templatePath = settings->value(PreferenceKeys::TemplateFile).toString();
    if (templatePath.isEmpty() || !QFileInfo::exists(templatePath))
        templatePath = Platform::bundleResourcePath(QStringLiteral("template.kvd"));
    if (QFileInfo::exists(templatePath))
        m_controller->requestLoadTemplate(templatePath);

    m_scene = new NetworkScene(this);
    ui.networkView->setScene(m_scene);
    connect(m_scene, &QGraphicsScene::selectionChanged, this,
            &DocumentWindow::elementSelectionChanged);

    ui.toolBar->setMovable(false);
    auto* toolGroup = new QActionGroup(this);
    toolGroup->setExclusive(true);
    const QList<QAction*> tools {ui.actionSelectionTool, ui.actionZoomTool,
                                 ui.actionNodeAndEdgeTool, ui.actionVoiceGroupTool,
                                 ui.actionTextBoxTool};
    for (uint id = 0; id < uint(tools.size()); ++id) {
        QAction* action = tools.at(int(id));
        action->setData(id);
        toolGroup->addAction(action);
        toolActions.insert(id, action);
    }
    connect(toolGroup, &QActionGroup::triggered, this, &KelvoWindow::onToolTriggered);
    setUpToolBar();

    connect(m_controller, &QmdDocController::fileSaved, this, &KelvoWindow::onFileSaved);
    connect(m_controller, &QmdDocController::fileSaveError, this, &KelvoWindow::onFileSaveError);
    connect(m_controller, &QmdDocController::fileLoaded, this, &KelvoWindow::onFileLoaded);
    connect(m_controller, &QmdDocController::fileLoadError, this, &KelvoWindow::onFileLoadError);
    connect(m_controller, &QmdDocController::fileNameChanged, this,
            &KelvoWindow::onFileNameChanged);
    connect(m_controller, &QmdController::atCleanStateChanged, this,
            &KelvoWindow::onAtCleanStateChanged);
    connect(
        m_controller,
        qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(&QmdController::itemsChanged),
        this, &KelvoWindow::onItemsEffected);
    connect(
        m_controller,
        qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(&QmdController::itemsRemoved),
        this, &KelvoWindow::onItemsEffected);
    connect(m_controller, &QmdController::modelReset, this, &KelvoWindow::reset);

    m_scene->setController(m_controller);
    ui.networkView->setController(m_controller);

    m_menuBar = new KelvoMenuBar(this);
    setMenuBar(m_menuBar);

    reset();
}

KelvoWindow::~KelvoWindow()
{
    // The menu bar lets go of the controller before it goes.
    m_menuBar->setKelvoWindow(nullptr);
    m_printer.reset();
    // The controller stops its threads, which read the model, before the model goes.
    delete m_controller;
    delete m_model;
}

QmdItemIdSet KelvoWindow::selectedElementIds() const
{
    return m_scene->selectedElementIds();
}

void KelvoWindow::setPasteTickPoint(QmdKelvo::TickPoint point)
{
    pasteTickPoint = point;
    pasteTickPointSet = true;
    pasteRepeat = false;
}

QPrinter* KelvoWindow::printer()
{
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setPageOrientation(QPageLayout::Landscape);
    }
    return m_printer.get();
}

double KelvoWindow::zoomScale() const
{
    return ZoomScale::effective(m_controller->data(K::ZoomScale, QmdIndex()).toDouble());
}

bool KelvoWindow::canZoomIn() const
{
    return zoomScale() < ZoomScale::Maximum;
}

bool KelvoWindow::canZoomOut() const
{
    return zoomScale() > ZoomScale::Minimum;
}

void KelvoWindow::addToRecentFiles(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QSettings settings;
    QStringList paths;
    const int count = settings.beginReadArray(PreferenceKeys::RecentFiles);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        paths << settings.value(PreferenceKeys::RecentFilesPath).toString();
    }
    settings.endArray();

    paths.removeOne(absolute);
    paths.prepend(absolute);
    while (paths.size() > PreferenceKeys::RecentFilesMax)
        paths.removeLast();

    settings.remove(PreferenceKeys::RecentFiles);
    settings.beginWriteArray(PreferenceKeys::RecentFiles, int(paths.size()));
    for (int i = 0; i < paths.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(PreferenceKeys::RecentFilesPath, paths.at(i));
    }
    settings.endArray();
}

// ---- Title and state ------------------------------------------------------------------------

void KelvoWindow::reset()
{
    positionTimer->stop();
    onFileNameChanged(m_controller->fileName());
    setWindowModified(!m_controller->atCleanState());
    applyTool();
    const AbstractSync* clock = m_controller->sync();
    const bool playing = clock && clock->isPlaying();
    {
        const QSignalBlocker blocker(playbackUi.playPauseButton);
        playbackUi.playPauseButton->setChecked(playing);
    }
    if (playing)
        positionTimer->start();
    // A document without a mode of its own shows principals; nothing is written for it.
    if (!m_controller->data(K::PlaybackPosDisplayMode, QmdIndex()).isValid()) {
        const QSignalBlocker blocker(this);
        setPlaybackPosDisplayMode(PositionDisplay::Principals);
    }
    updatePlaybackPosDisplayForCurrentMode();
    emit canZoomInChanged(canZoomIn());
    emit canZoomOutChanged(canZoomOut());
}

void KelvoWindow::onFileNameChanged(const QString& fileName)
{
    m_documentTitle = fileName.isEmpty() ? tr("Untitled") : QFileInfo(fileName).completeBaseName();
    setWindowFilePath(fileName);
    setWindowTitle(m_documentTitle + QStringLiteral("[*]"));
}

void KelvoWindow::onAtCleanStateChanged(bool atCleanState)
{
    setWindowModified(!atCleanState);
}

void KelvoWindow::onItemsEffected(const QmdIndex& parent, const QStringList& keys)
{
    if (keys.contains(K::Tool) && parent == DocumentTool::parentIndex(m_controller))
        applyTool();
    if (keys.contains(K::ZoomScale) && parent == QmdIndex()) {
        emit canZoomInChanged(canZoomIn());
        emit canZoomOutChanged(canZoomOut());
    }
}

void KelvoWindow::applyTool()
{
    const uint tool = uint(DocumentTool::current(m_controller));
    if (QAction* action = toolActions.value(tool))
        action->setChecked(true);
    else
        DocumentTool::requestSet(m_controller, NetworkView::SelectionTool);
}

void KelvoWindow::onToolTriggered(QAction* action)
{
    DocumentTool::requestSet(m_controller, action->data().toInt());
}

// ---- Saving and loading ---------------------------------------------------------------------

void KelvoWindow::save()
{
    emit saveRequested();
    const QString fileName = m_controller->fileName();
    if (fileName.isEmpty())
        saveAs();
    else
        m_controller->requestSave(fileName);
}

void KelvoWindow::saveAs()
{
    activateWindow();
    raise();
    emit saveRequested();

    const QString fileName = m_controller->fileName();
    QFileDialog dialog(this, tr("Save As"), QString(), Kelvo::fileFilter());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(Kelvo::DocumentSuffix);
    if (QSettings* settings = appSettings()) {
        dialog.restoreGeometry(settings->value(PreferenceKeys::SaveAsDialogGeometry).toByteArray());
        dialog.restoreState(settings->value(PreferenceKeys::SaveAsDialogState).toByteArray());
    }
    dialog.selectFile(fileName.isEmpty() ? tr("Untitled.%1").arg(Kelvo::DocumentSuffix) : fileName);
    connect(&dialog, &QDialog::finished, this, &KelvoWindow::onSaveAsDialogFinished);
    beginBlockByDialog();
    dialog.exec();
}

void KelvoWindow::onSaveAsDialogFinished()
{
    auto* dialog = qobject_cast<QFileDialog*>(sender());
    if (!dialog)
        return;
    if (QSettings* settings = appSettings()) {
        settings->setValue(PreferenceKeys::SaveAsDialogGeometry, dialog->saveGeometry());
        settings->setValue(PreferenceKeys::SaveAsDialogState, dialog->saveState());
    }
    endBlockByDialog();
    const QStringList files
        = dialog->result() == QDialog::Accepted ? dialog->selectedFiles() : QStringList();
    saveChosen(files.isEmpty() ? QString() : files.last());
}

void KelvoWindow::saveChosen(const QString& fileName)
{
    if (fileName.isEmpty()) {
        m_closeAfterSave = false;
        clearQuitting();
        return;
    }
    m_controller->requestSave(QFileInfo(fileName).absoluteFilePath());
}

void KelvoWindow::onFileSaved()
{
    addToRecentFiles(m_controller->fileName());
    if (m_closeAfterSave)
        QTimer::singleShot(0, this, &QWidget::close);
}

void KelvoWindow::onFileSaveError(const QString& fileName, QFile::FileError error)
{
    // A save on the way to closing failed: the document stays open and modified, so a quit
    // that asked for the save is over (the next one asks again).
    if (m_closeAfterSave)
        clearQuitting();
    m_closeAfterSave = false;
    QMessageBox* box = newMessageBox();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setStandardButtons(QMessageBox::Ok);
    const QString name = quotedFileName(fileName);
    switch (error) {
    case QFile::WriteError:
    case QFile::OpenError:
    case QFile::PermissionsError:
        box->setText(tr("The network could not be saved as %1. You may not have have permission.")
                         .arg(name));
        box->setInformativeText(tr("To view or change permissions, open the item's properties "
                                   "in your file manager."));
        break;
    default:
        box->setText(
            tr("The network could not be saved as %1. An unknown error occured.").arg(name));
        box->setInformativeText(tr("Code: %1").arg(int(error)));
        break;
    }
    box->open();
}

void KelvoWindow::onFileLoaded()
{
    DocumentTool::requestSet(m_controller, NetworkView::SelectionTool);
    addToRecentFiles(m_controller->fileName());
}

void KelvoWindow::onFileLoadError(const QString& fileName, QFile::FileError error)
{
    // A window that was never shown (a file named at start-up, say) gives the box no place:
    // it then stands alone in the middle of the screen, in front of the splash.
    QMessageBox* box = newMessageBox();
    if (!isVisible()) {
        box->setParent(nullptr, box->windowFlags());
        if (KelvoApplication* app = KelvoApplication::instance())
            app->splash()->hide();
    }
    box->setWindowModality(Qt::ApplicationModal);
    box->setIcon(QMessageBox::Warning);
    box->setStandardButtons(QMessageBox::Ok);
    const QString name = quotedFileName(fileName);
    // A file that can be read but holds no network is not a matter of permissions.
    const bool permissions = (error == QFile::ReadError || error == QFile::OpenError
                              || error == QFile::PermissionsError)
        && !QFileInfo(fileName).isReadable();
    if (permissions) {
        box->setText(
            tr("The network %1 could not be opened. You may not have have permission.").arg(name));
        box->setInformativeText(tr("To view or change permissions, open the item's properties "
                                   "in your file manager."));
    } else {
        box->setText(tr("The network %1 could not be opened. An unknown error occured.").arg(name));
        box->setInformativeText(tr("Code: %1").arg(int(error)));
    }
    m_loadFailed = true;
    execBlocking(box);
    delete box;
    emit closingAfterLoadError();
    close();
}

// ---- Undo and redo --------------------------------------------------------------------------

void KelvoWindow::undo()
{
    if (!m_controller->canUndo())
        return;
    if (!m_controller->atCleanState()) {
        m_controller->requestUndo();
        return;
    }
    activateWindow();
    raise();
    setFocus();
    QMessageBox* box = newMessageBox();
    box->setText(tr("Warning"));
    box->setInformativeText(tr("You are about to undo past the last point that this file was "
                               "saved. Do you want to do this?"));
    box->setIconPixmap(QPixmap(QStringLiteral(":/images/Kelvo64.png")));
    QPushButton* undoButton = box->addButton(tr("&Undo"), QMessageBox::AcceptRole);
    QPushButton* dontUndoButton = box->addButton(tr("&Don't Undo"), QMessageBox::RejectRole);
    box->setDefaultButton(undoButton);
    box->setEscapeButton(dontUndoButton);
    execBlocking(box);
    const bool confirmed = box->clickedButton() == undoButton;
    delete box;
    if (confirmed)
        m_controller->requestUndo();
}

void KelvoWindow::redo()
{
    if (m_controller->canRedo())
        m_controller->requestRedo();
}

// ---- Edit commands --------------------------------------------------------------------------

void KelvoWindow::copy()
{
    const QmdItemIdSet selection = selectedElementIds();
    if (!selection.isEmpty())
        m_controller->requestCopy(selection);
}

void KelvoWindow::del()
{
    const QmdItemIdSet selection = selectedElementIds();
    if (selection.isEmpty())
        return;
    m_controller->requestRemove(QmdItemIdList(selection.cbegin(), selection.cend()),
                                m_controller->index(K::Elements, QmdIndex()),
                                QmdRequestOptions(tr("Delete")));
}

void KelvoWindow::cut()
{
    copy();
    del();
}

void KelvoWindow::paste()
{
    if (!QmdKelvoController::canPaste())
        return;
    if (!pasteTickPointSet) {
        pasteTickPoint = ui.networkView->tickPointAt();
        pasteTickPointSet = true;
        pasteRepeat = false;
    } else if (pasteRepeat) {
        const QmdKelvo::Ticks step = QmdKelvo::ticksPerDivision(
            m_controller->data(K::DivsPerPrincipal, QmdIndex()).toLongLong());
        pasteTickPoint.x += step;
        pasteTickPoint.y += step;
    }
    m_controller->requestPaste(pasteTickPoint);
    pasteRepeat = true;
}

void KelvoWindow::selectAll()
{
    QPainterPath area;
    area.addRect(m_scene->sceneContentsRect());
    m_scene->setSelectionArea(area);
}

// ---- Zoom -----------------------------------------------------------------------------------

void KelvoWindow::zoom(qreal scale)
{
    m_controller->requestSetData(K::ZoomScale, ZoomScale::effective(scale), QmdIndex(),
                                 QmdRequestOptions(Qmd::NotUndoable, tr("Zoom")));
}

void KelvoWindow::zoomActualSize()
{
    zoom(1.0);
}

void KelvoWindow::zoomIn()
{
    zoom(zoomScale() * 2.0);
}

void KelvoWindow::zoomOut()
{
    zoom(zoomScale() * 0.5);
}

// ---- Page set-up and printing ---------------------------------------------------------------

void KelvoWindow::pageSetup()
{
    auto* dialog = new QPageSetupDialog(printer(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, &KelvoWindow::endBlockByDialog);
    beginBlockByDialog();
    dialog->open();
}

void KelvoWindow::print()
{
    auto* dialog = new QPrintDialog(printer(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::rejected, this, &KelvoWindow::endBlockByDialog);
    connect(dialog, &QDialog::accepted, this, &KelvoWindow::onPrintAccepted);
    beginBlockByDialog();
    dialog->open();
}

void KelvoWindow::onPrintAccepted()
{
    QPainter painter;
    if (painter.begin(printer())) {
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing
                               | QPainter::SmoothPixmapTransform);
        m_scene->render(&painter, QRectF(), QRectF(), Qt::KeepAspectRatio);
        painter.end();
    }
    endBlockByDialog();
}

void KelvoWindow::beginBlockByDialog()
{
    m_blockedByDialog = true;
    emit blockedByDialogChanged(true);
}

void KelvoWindow::endBlockByDialog()
{
    m_blockedByDialog = false;
    emit blockedByDialogChanged(false);
}

// ---- Closing --------------------------------------------------------------------------------

QMessageBox* KelvoWindow::newMessageBox()
{
    auto* box = new QMessageBox(this);
    box->setWindowModality(Qt::WindowModal);
    box->setWindowTitle(tr("Kelvo"));
    return box;
}

int KelvoWindow::execBlocking(QMessageBox* box)
{
    beginBlockByDialog();
    const int result = box->exec();
    endBlockByDialog();
    return result;
}

void KelvoWindow::closeEvent(QCloseEvent* event)
{
    // A close that arrives while this window's own prompt or dialog is up (a quit, say) would
    // open a second prompt over the first.
    if (m_blockedByDialog) {
        event->ignore();
        // The close prompt of a quit answers for the quit itself; any other dialog (one the
        // user opened, or the prompt of a close of this window alone) lets the quit go on
        // once it has ended.
        KelvoApplication* app = KelvoApplication::instance();
        if (app && app->isQuitting() && !m_promptingForQuit)
            app->resumeQuitAfterDialog(this);
        return;
    }
    if (m_loadFailed) {
        event->accept();
        return;
    }
    // An edit in progress reaches the document before its state is looked at.
    emit saveRequested();
    if (m_controller->atCleanState()) {
        event->accept();
        return;
    }

    activateWindow();
    raise();
    setFocus();
    QMessageBox* box = newMessageBox();
    box->setText(
        tr("Do you want to save the changes you made to the network “%1”?").arg(m_documentTitle));
    box->setInformativeText(tr("Your changes will be lost if you don't save them."));
    box->setIconPixmap(QPixmap(QStringLiteral(":/images/Kelvo64.png")));
    box->setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Save);
    box->setEscapeButton(QMessageBox::Cancel);
    const QScopedValueRollback<bool> forQuit(m_promptingForQuit, isQuitting());
    const int answer = execBlocking(box);
    delete box;

    switch (answer) {
    case QMessageBox::Save:
        m_closeAfterSave = true;
        save();
        event->ignore();
        break;
    case QMessageBox::Discard:
        event->accept();
        break;
    default:
        clearQuitting();
        event->ignore();
        break;
    }
}
