// The application object: construction, the staged start-up, application-wide events,
// quitting and shut-down.

#include "KelvoApplication.h"

#include "Inspector.h"
#include "KelvoAppServices.h"
#include "KelvoInfo.h"
#include "KelvoWindow.h"
#include "MidiInput.h"
#include "MidiInstrument.h"
#include "MidiPortNames.h"
#include "MidiSync.h"
#include "MidiSynthDialog.h"
#include "MidiSystem.h"
#include "MvcEvents.h"
#include "PreferenceKeys.h"
#include "PreferencesDialog.h"
#include "QmdKelvoController.h"
#include "QmdKelvoUnits.h"
#include "SettingsController.h"
#include "SettingsModel.h"
#include "SharedDialogs.h"
#include "ToolWindows.h"
#include "WindowPlacement.h"

#include <QElapsedTimer>
#include <QFileOpenEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPixmapCache>
#include <QScreen>
#include <QSplashScreen>
#include <QThread>
#include <QTimer>

namespace {

KelvoApplication* theInstance = nullptr;

// How long start-up waits for the built-in synthesizer before it goes on without it.
constexpr int SynthStartTimeoutMs = 5000;

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/images/AppIcon/kelvo-%1.png").arg(size));
    return icon;
}

} // namespace

KelvoApplication::KelvoApplication(int& argc, char** argv, MidiSynth::AudioOutput synthOutput)
    : QApplication(argc, argv)
    , AbstractSettingsView(this)
    , m_synthOutput(synthOutput)
{
    theInstance = this;
    // The preferences store is keyed by these names, so they come before any settings.
    setApplicationName(tr("Kelvo"));
    setOrganizationName(QStringLiteral("Kelvo"));
    setWindowIcon(applicationIcon());
    m_services = new KelvoAppServices(this);

    m_splash = new QSplashScreen(QPixmap());
    m_aboutForm.setupUi(m_splash);
    m_aboutForm.launchInfoLabel->setText(tr("Launching..."));
    m_aboutForm.versionInfoLabel->setText(Kelvo::shortVersionString());
    m_splash->setStyleSheet(m_splash->styleSheet()
                            + QStringLiteral("QWidget { font-family: Arial; }"));
    if (QScreen* screen = primaryScreen())
        m_splash->move(WindowPlacement::centred(screen->availableGeometry(), m_splash->size()));
    m_splash->show();
    m_splash->activateWindow();
    m_splash->raise();

    // The last window closing ends the program only through onKelvoWindowDestroyed, which
    // first replaces a window that closed on a load error.
    setQuitOnLastWindowClosed(false);
    QTimer::singleShot(0, this, &KelvoApplication::init);
}

KelvoApplication::~KelvoApplication()
{
    // Windows still open go first: each controller stops the threads of its document.
    const QList<KelvoWindow*> open = m_windows;
    qDeleteAll(open);
    if (m_initBegun) {
        delete m_inspector;
        delete m_synthDialog;
        m_toolGroupParent.reset();
        delete m_preferencesDialog;
        delete m_aboutBox;
        delete m_triggeringInput;
        // The thru output's thread reads the clock: it ends before the clock goes.
        if (m_thru) {
            setMidiThruPort(QString());
            m_thru->terminateSafely();
            m_thru->wait();
            delete m_thru;
        }
        delete m_clock;
        // No input may reach the synthesizer while it winds down.
        if (m_synth)
            m_synth->setMidiInput(nullptr);
        if (m_synthInput)
            m_synthInput->closePort();
        delete m_synth;
        delete m_synthInput;
        MidiIO<RtMidiIn>::macCloseVirtualPorts();
        MidiIO<RtMidiOut>::macCloseVirtualPorts();
        Platform::MidiSystem::shutDown();
    }
    delete m_dialogs;
    delete m_splash;
    delete m_services;
    theInstance = nullptr;
}

KelvoApplication* KelvoApplication::instance()
{
    return theInstance;
}

QSettings* KelvoApplication::settings() const
{
    return m_settingsModel ? m_settingsModel->settings() : nullptr;
}

void KelvoApplication::setLaunchInfo(const QString& text)
{
    m_aboutForm.launchInfoLabel->setText(text);
    processEvents();
}

// ---- Start-up -------------------------------------------------------------------------------

void KelvoApplication::init()
{
    if (m_initBegun)
        return;
    m_initBegun = true;
    QPixmapCache::setCacheLimit(65536);

    setLaunchInfo(tr("Initializing MIDI..."));
    initMidi();

    setLaunchInfo(tr("Loading settings..."));
    m_settingsModel = new SettingsModel(this);
    m_settingsController = new SettingsController(m_settingsModel, this);
    m_settingsController->attachView(this);

    initUi();
}

void KelvoApplication::initMidi()
{
    MidiIO<RtMidiIn>::macOpenVirtualPorts();
    MidiIO<RtMidiOut>::macOpenVirtualPorts();
    m_jackServerLossesTold = Platform::MidiSystem::jackServerLosses();

    auto* pollTimer = new QTimer(this);
    connect(pollTimer, &QTimer::timeout, this, &KelvoApplication::pollMidiPorts);
    pollTimer->start(1000);
    pollMidiPorts();

    m_triggeringInput = new MidiInput(this);
    // Emitted on a MIDI thread: the messages are handled on this one.
    connect(m_triggeringInput, &MidiInput::readyRead, this,
            &KelvoApplication::onMidiInputReadyRead);

    m_clock = new MidiSync(this);
    m_thru = new MidiInstrument(0);
    m_thru->setSync(m_clock);
    m_thru->start(QThread::InheritPriority);
    m_clock->setPlaying(true);

    m_synth = new MidiSynth(this, m_synthOutput);
    QElapsedTimer waited;
    waited.start();
    while (!m_synth->isReady() && waited.elapsed() < SynthStartTimeoutMs) {
        processEvents(QEventLoop::ExcludeUserInputEvents, 100);
        QThread::msleep(5);
    }
    if (!m_synth->isReady())
        qWarning("The built-in synthesizer has not started; Kelvo goes on without waiting.");

    m_synthInput = new MidiInput(this);
    m_synthInput->openPort(MidiPortNames::synthesizerPortName());
    m_synth->setMidiInput(m_synthInput);
}

void KelvoApplication::initUi()
{
    setLaunchInfo(tr("Loading user interface..."));
    m_uiStarted = true;
    connect(this, &QApplication::focusChanged, this, &KelvoApplication::onFocusChanged);
    sharedDialogs();
    createSharedWidgets();

    QStringList names = arguments().mid(1);
    names += m_pendingOpenFiles;
    m_pendingOpenFiles.clear();
    for (const QString& name : std::as_const(names)) {
        if (!name.startsWith(QStringLiteral("-psn")))
            openDocument(name, false);
    }
    if (m_windows.isEmpty())
        setReplaceableWindow(newDocument());

    m_aboutForm.launchInfoLabel->clear();
    QTimer::singleShot(0, m_splash, &QWidget::hide);

    // Why MIDI could not be had (another program holds Kelvo's JACK client name, say), told
    // once without holding anything up.
    const QString midiProblem = Platform::MidiSystem::problem();
    if (!midiProblem.isEmpty()) {
        auto* box
            = new QMessageBox(QMessageBox::Warning, tr("Kelvo"), midiProblem, QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setObjectName(QStringLiteral("midiProblemBox"));
        box->open();
    }

    if (m_settingsModel->value(PreferenceKeys::AutoCheckForUpdate, true).toBool())
        checkForUpdate(true);
}

void KelvoApplication::createSharedWidgets()
{
    m_inspector = new Inspector;
    // At the top-right corner of the screen's available area, frame included.
    const auto placeInspector = [inspector = m_inspector] {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableGeometry();
            inspector->move(available.x() + available.width() - inspector->frameGeometry().width(),
                            available.top());
        }
    };
    placeInspector();
    connect(m_inspector, &Inspector::visibilityToggled, this,
            &KelvoApplication::mac_inspectorVisibilityToggled);
    m_inspector->installEventFilter(this);
    m_toolGroupParent = ToolWindows::createGroupParent();
    ToolWindows::floatAboveApplication(m_inspector, m_toolGroupParent.get());
    m_inspector->show();
    WindowPlacement::whenFramed(m_inspector, placeInspector);
    QmdKelvo::initTickGeometry(m_inspector);
}

// ---- Application-wide events ----------------------------------------------------------------

bool KelvoApplication::event(QEvent* event)
{
    if (event->type() == QEvent::FileOpen) {
        const QString file = static_cast<QFileOpenEvent*>(event)->file();
        if (m_uiStarted)
            openDocument(file, false);
        else
            m_pendingOpenFiles << file;
    }
    return QApplication::event(event);
}

bool KelvoApplication::eventFilter(QObject* watched, QEvent* event)
{
    if (m_focusWindow && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
        // Space plays and pauses the focus document wherever no widget takes it; a key held
        // down repeats without toggling again.
        if (!QApplication::eventFilter(watched, event)
            && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
            m_focusWindow->controller()->requestTogglePlayback();
        return true;
    }
    return QApplication::eventFilter(watched, event);
}

void KelvoApplication::customEvent(QEvent* event)
{
    if (auto* viewEvent = dynamic_cast<VEvent*>(event))
        mvcEvent(viewEvent);
}

// ---- Quitting -------------------------------------------------------------------------------

void KelvoApplication::appQuit()
{
    if (m_windows.isEmpty()) {
        quit();
        return;
    }
    delete m_quitWait;
    m_quitWait = nullptr;
    m_quitting = true;
    const QList<QPointer<KelvoWindow>> open(m_windows.cbegin(), m_windows.cend());
    for (const QPointer<KelvoWindow>& window : open) {
        // A window whose close the user cancelled ends the quit: the others stay as they are.
        if (!m_quitting)
            break;
        // A window that has closed already only waits to be deleted.
        if (window && window->testAttribute(Qt::WA_DeleteOnClose))
            window->close();
    }
}

void KelvoApplication::setQuitting(bool quitting)
{
    const bool ended = m_quitting && !quitting;
    m_quitting = quitting;
    if (ended)
        emit quitEnded();
}

void KelvoApplication::resumeQuitAfterDialog(KelvoWindow* window)
{
    setQuitting(false);
    // One wait at a time; its connections go with the object that receives them.
    delete m_quitWait;
    m_quitWait = new QObject(this);
    const auto resume = [this, wait = m_quitWait.data()] {
        if (m_quitWait != wait)
            return;
        wait->deleteLater();
        m_quitWait = nullptr;
        // After the dialog's answer has taken effect (a save, a close).
        QTimer::singleShot(0, this, &KelvoApplication::appQuit);
    };
    connect(window, &KelvoWindow::blockedByDialogChanged, m_quitWait, [resume](bool blocked) {
        if (!blocked)
            resume();
    });
    connect(window, &QObject::destroyed, m_quitWait, resume);
}
