#include "ManualShots.h"

#include "BundleResources.h"
#include "ControllerCurves.h"
#include "DocumentTool.h"
#include "ElementItem.h"
#include "FeedbackMsg.h"
#include "Inspector.h"
#include "KelvoWindow.h"
#include "MidiIO.h"
#include "MidiPortLists.h"
#include "MidiPortNames.h"
#include "MidiSynth.h"
#include "MidiSynthDialog.h"
#include "NetworkScene.h"
#include "NetworkView.h"
#include "PreferenceKeys.h"
#include "PreferencesDialog.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "SettingsController.h"
#include "SettingsModel.h"
#include "TestAppServices.h"
#include "TestSync.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFontDatabase>
#include <QGraphicsItem>
#include <QImage>
#include <QPolygonF>
#include <QScreen>
#include <QSettings>
#include <QStackedWidget>
#include <QStyleFactory>

#include <cstdio>

namespace K = QmdKelvoKeys;

namespace {

// The fonts of every picture, from Debian's fonts-liberation2.
const char* const FontFolder = "/usr/share/fonts/truetype/liberation2/";
const char* const FontFiles[]
    = {"LiberationSans-Regular.ttf",    "LiberationSans-Bold.ttf",    "LiberationSans-Italic.ttf",
       "LiberationSans-BoldItalic.ttf", "LiberationMono-Regular.ttf", "LiberationMono-Bold.ttf"};

// The network of the window's pictures, and its size.
const char* const Example = "Pentatonic Walk";
const QSize WindowSize(1000, 620);

void fail(const QString& what)
{
    std::fprintf(stderr, "kelvo_manualshots: %s\n", qPrintable(what));
}

// Whether an image holds more than a few colours: a picture of a window, not an empty area.
bool hasContent(const QImage& image)
{
    if (image.isNull() || image.width() < 16 || image.height() < 16)
        return false;
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            colours.insert(image.pixel(x, y));
            if (colours.size() > 8)
                return true;
        }
    }
    return false;
}

} // namespace

ManualShots::ManualShots(const QString& folder)
    : m_folder(folder)
    , m_services(std::make_unique<TestAppServices>())
{
    m_folder.mkpath(QStringLiteral("."));
    // The port lists the program shows without a MIDI system, made as the program makes them:
    // its own ports opened, then listed by the MIDI layer.
    MidiIO<RtMidiIn>::macOpenVirtualPorts();
    MidiIO<RtMidiOut>::macOpenVirtualPorts();
    MidiPortLists ports;
    ports.poll();
    m_services->setMidiInputPorts(ports.inputSet());
    m_services->setMidiOutputPorts(ports.outputSet());
}

ManualShots::~ManualShots()
{
    m_inspector.reset();
    m_window.reset();
    MidiIO<RtMidiIn>::macCloseVirtualPorts();
    MidiIO<RtMidiOut>::macCloseVirtualPorts();
}

bool ManualShots::setUpLookAndFeel()
{
    for (const char* file : FontFiles) {
        if (QFontDatabase::addApplicationFont(QString::fromLatin1(FontFolder) + file) < 0) {
            fail(QStringLiteral("the font %1%2 is missing").arg(FontFolder, file));
            return false;
        }
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(QApplication::style()->standardPalette());
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(10);
    font.setHintingPreference(QFont::PreferNoHinting);
    QApplication::setFont(font);
    QFont fixed(QStringLiteral("Liberation Mono"));
    fixed.setPointSize(10);
    QApplication::setFont(fixed, "QPlainTextEdit");
    // The scene's units for the offscreen screen, as the application sets them for its own.
    QWidget probe;
    QmdKelvo::initTickGeometry(&probe);
    return true;
}

bool ManualShots::takeAll()
{
    return window() && inspectorPages() && positionDisplay() && playing() && synthesizer()
        && preferences();
}

bool ManualShots::openExample(const QString& name)
{
    m_window = std::make_unique<KelvoWindow>();
    const QString file = Platform::bundleResourcePath(QStringLiteral("Examples/%1.kvd").arg(name));
    m_window->controller()->requestLoadTemplate(file);
    settle();
    if (m_window->controller()->elements().isEmpty()) {
        fail(QStringLiteral("the example %1 could not be opened").arg(file));
        return false;
    }
    m_window->resize(WindowSize);
    m_window->show();
    m_services->setFocusWindow(m_window.get());
    settle();
    // The selection tool, and the whole network in sight.
    DocumentTool::requestSet(m_window->controller(), 0);
    auto* view = m_window->findChild<NetworkView*>();
    view->centerOn(m_window->scene()->itemsBoundingRect().center());
    settle();
    return true;
}

bool ManualShots::window()
{
    if (!openExample(QString::fromLatin1(Example)))
        return false;
    m_window->scene()->clearSelection();
    settle();
    return save(m_window.get(), QStringLiteral("window.png"));
}

bool ManualShots::inspectorPages()
{
    m_inspector = std::make_unique<Inspector>();
    m_inspector->show();
    settle();
    QmdKelvoController* c = m_window->controller();
    const auto select = [&](QmdItemId id) {
        m_window->scene()->clearSelection();
        if (ElementItem* item = id ? m_window->scene()->elementItem(id) : nullptr)
            item->graphicsItem()->setSelected(true);
        settle();
    };
    const auto show = [&](int page, const QString& fileName) {
        // As a user chooses it: with the page's button.
        m_inspector->pageButton(page)->click();
        const bool shown = waitFor([&] {
            return m_inspector->pageStack()->currentIndex() == page
                && m_inspector->pageStack()->isVisible();
        });
        if (!shown) {
            fail(QStringLiteral("the inspector did not show its page %1").arg(page));
            return false;
        }
        settle();
        return save(m_inspector.get(), fileName);
    };

    select(0);
    if (!show(Inspector::DocumentPage, QStringLiteral("inspector-document.png")))
        return false;
    const QModelIndex firstInstrument
        = m_inspector->instrumentForm().listView->model()->index(0, 0);
    m_inspector->instrumentForm().listView->setCurrentIndex(firstInstrument);
    settle();
    if (!show(Inspector::InstrumentPage, QStringLiteral("inspector-instrument.png")))
        return false;
    // The edge with the most to show: the first that carries controller curves, else the first.
    QmdItemId edge = firstElement(QmdKelvo::EdgeElement, [&](QmdItemId id) {
        return !c->data(K::ContinuousControllers, c->elementIndex(id)).toMap().isEmpty();
    });
    if (!edge) {
        // The first edge, given what the Edge page adds: a smooth modulation curve and a
        // volume line, as a user would draw them.
        edge = firstElement(QmdKelvo::EdgeElement);
        const auto addCurve
            = [&](QmdKelvo::ControllerCurveType type, int msb, const QPolygonF& points) {
                  const QmdRequestId rid = c->requestAddControllerToEdge(
                      c->elementIndex(edge), type, short(msb), NoControllerCode);
                  const QmdIndex curves = c->index(K::ContinuousControllers, c->elementIndex(edge));
                  QmdRequestOptions joined {QString()};
                  joined.id = rid;
                  c->requestSetData(K::CurvePoints, QVariant::fromValue(points),
                                    c->index(c->idList(curves).constLast(), curves), joined);
                  settle();
              };
        // Values in 14 bits: a coarse value of 100 is 100 * 128.
        addCurve(QmdKelvo::CubicCurve, 1, QPolygonF({{0, 0}, {0.4, 100 * 128}, {1, 30 * 128}}));
        addCurve(QmdKelvo::LinearCurve, 7, QPolygonF({{0, 70 * 128}, {1, 120 * 128}}));
    }
    select(edge);
    if (!show(Inspector::EdgePage, QStringLiteral("inspector-edge.png")))
        return false;
    // A node that chooses its way, with several edges in its usage list.
    QmdItemId node = firstElement(QmdKelvo::NodeElement, [&](QmdItemId id) {
        return c->data(K::SignallingMethod, c->elementIndex(id)).toInt() == QmdKelvo::Random;
    });
    if (!node)
        node = firstElement(QmdKelvo::NodeElement);
    select(node);
    if (!show(Inspector::NodePage, QStringLiteral("inspector-node.png")))
        return false;
    select(firstElement(QmdKelvo::VoiceGroupElement));
    if (!show(Inspector::VoiceGroupPage, QStringLiteral("inspector-voice-group.png")))
        return false;
    select(0);
    m_inspector->hide();
    return true;
}

bool ManualShots::positionDisplay()
{
    // A clock that stands where the pictures want it: 2 minutes, 5 principals and a quarter in.
    TestSync::registerType();
    QmdKelvoController* c = m_window->controller();
    c->requestSetData(K::SyncType, TestSync::staticTypeId(), QmdIndex(),
                      QmdRequestOptions(Qmd::NotUndoable, QString()));
    settle();
    auto* clock = qobject_cast<TestSync*>(c->sync());
    if (!clock) {
        fail(QStringLiteral("the test clock could not be set"));
        return false;
    }
    const quint64 principal = 665280;
    clock->setTicksElapsed(principal * 229 + principal / 4);
    auto* bar = m_window->findChild<QWidget*>(QStringLiteral("PlaybackControlsForm"));
    if (!bar) {
        fail(QStringLiteral("the window has no transport bar"));
        return false;
    }
    const QStringList names
        = {QStringLiteral("display-time.png"), QStringLiteral("display-principals.png"),
           QStringLiteral("display-beats.png")};
    for (int mode = 1; mode <= 3; ++mode) {
        m_window->setPlaybackPosDisplayMode(mode);
        m_window->updatePlaybackPosDisplayForCurrentMode();
        settle();
        if (!save(bar, names.at(mode - 1), 4))
            return false;
    }
    m_window->setPlaybackPosDisplayMode(2);
    settle();
    return true;
}

bool ManualShots::playing()
{
    QmdKelvoController* c = m_window->controller();
    auto* clock = qobject_cast<TestSync*>(c->sync());
    auto* view = m_window->findChild<NetworkView*>();
    if (!clock || !view) {
        fail(QStringLiteral("the window has no test clock or no view"));
        return false;
    }
    clock->setPlaying(true);
    // Each voice group sounds at a node of its own: the one it starts on, and the one its
    // first edge leads to.
    const QmdItemIdList instruments = c->instruments();
    quint32 voice = 0;
    for (const QmdItemId group : c->elements()) {
        if (c->elementType(group) != QmdKelvo::VoiceGroupElement)
            continue;
        const QmdIndex index = c->elementIndex(group);
        const QmdItemId start = c->data(K::ToNode, index).toUInt();
        QmdItemIdList nodes {start};
        for (const QmdItemId edge : c->elements()) {
            const QmdIndex e = c->elementIndex(edge);
            if (c->elementType(edge) == QmdKelvo::EdgeElement
                && c->data(K::FromNode, e).toUInt() == start) {
                nodes << c->data(K::ToNode, e).toUInt();
                break;
            }
        }
        QmdItemId instrument = c->data(K::InitialInstrument, index).toUInt();
        if (!instruments.contains(instrument))
            instrument = instruments.value(0);
        for (const QmdItemId node : nodes) {
            FeedbackMsg msg;
            msg.kind = FeedbackMsg::NoteSounded;
            msg.time = clock->ticksElapsed();
            msg.voiceGroupId = group;
            msg.voiceId = ++voice;
            msg.nodeId = node;
            msg.instrumentId = instrument;
            msg.pitch = 60;
            msg.velocity = 100;
            msg.duration = 665280 * 64;
            c->feedbackPipe.tryWrite(msg);
        }
    }
    m_window->scene()->checkFeedbackPipe();
    settle();
    if (m_window->scene()->litNodeItems().isEmpty()) {
        fail(QStringLiteral("no node lit up"));
        return false;
    }
    const bool saved = save(view, QStringLiteral("playing.png"));
    clock->setPlaying(false);
    return saved;
}

bool ManualShots::synthesizer()
{
    MidiSynth synth(nullptr, MidiSynth::NoAudioOutput);
    if (!waitFor([&] { return synth.isReady(); })) {
        fail(QStringLiteral("the synthesizer did not start"));
        return false;
    }
    // The instruments of the example network, as its program changes choose them.
    synth.setChannelInstrument(0, 12); // Marimba
    synth.setChannelInstrument(1, 33); // Electric Bass (finger)
    settle();
    MidiSynthDialog dialog;
    dialog.setSynth(&synth);
    dialog.show();
    settle();
    dialog.channelsView->setCurrentIndex(dialog.channelsView->model()->index(0, 0));
    settle();
    const bool saved = save(&dialog, QStringLiteral("synthesizer.png"));
    dialog.hide();
    dialog.setSynth(nullptr);
    settle();
    return saved;
}

bool ManualShots::preferences()
{
    // Preferences as a new user has them, in a store of their own.
    const QString store = QDir(qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath()))
                              .filePath(QStringLiteral("kelvo-manualshots.ini"));
    QFile::remove(store);
    {
        // What the application writes on its first start: the defaults, and the ports it
        // chooses for MIDI input and thru.
        using namespace PreferenceKeys;
        QSettings defaults(store, QSettings::IniFormat);
        defaults.setValue(AutoCheckForUpdate, AutoCheckForUpdateDefault);
        defaults.setValue(ControllersAutoLsb, ControllersAutoLsbDefault);
        defaults.setValue(ControllersSmartReset, ControllersSmartResetDefault);
        defaults.setValue(MidiInputEnabled, MidiInputEnabledDefault);
        defaults.setValue(MidiEntryPort, MidiPortNames::inputPortName());
        defaults.setValue(MidiTriggeringMsecToggleTimeout, MidiTriggeringMsecToggleTimeoutDefault);
        defaults.setValue(MidiThruEnabled, MidiThruEnabledDefault);
        defaults.setValue(MidiThruPort, MidiPortNames::synthesizerPortName());
    }
    bool saved = false;
    {
        SettingsModel model(store, QSettings::IniFormat);
        SettingsController controller(&model);
        // The controller takes its model through a posted event.
        settle();
        PreferencesDialog dialog(&controller);
        dialog.show();
        settle();
        saved = save(&dialog, QStringLiteral("preferences.png"));
        dialog.hide();
        settle();
    }
    QFile::remove(store);
    return saved;
}

bool ManualShots::save(QWidget* widget, const QString& fileName, int margin)
{
    // What the window's backing store holds, as the screen shows it: a widget's own rendering
    // into a pixmap would skip what the view paints in device pixels, such as the grid.
    widget->repaint();
    settle();
    QWidget* window = widget->window();
    const QRect area = QRect(widget->mapTo(window, QPoint(0, 0)), widget->size())
                           .adjusted(-margin, -margin, margin, margin)
                           .intersected(window->rect());
    const QPixmap picture = window->screen()->grabWindow(window->winId(), area.x(), area.y(),
                                                         area.width(), area.height());
    return save(picture.toImage(), fileName);
}

bool ManualShots::save(const QImage& image, const QString& fileName)
{
    if (!hasContent(image)) {
        fail(QStringLiteral("the picture %1 is empty").arg(fileName));
        return false;
    }
    if (!image.save(m_folder.filePath(fileName), "PNG")) {
        fail(
            QStringLiteral("the picture %1 could not be written").arg(m_folder.filePath(fileName)));
        return false;
    }
    return true;
}

bool ManualShots::waitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(20000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QApplication::sendPostedEvents();
    }
    return true;
}

void ManualShots::settle()
{
    for (int i = 0; i < 4; ++i) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

QmdItemId ManualShots::firstElement(int type, const std::function<bool(QmdItemId)>& accept) const
{
    QmdKelvoController* c = m_window->controller();
    for (const QmdItemId id : c->elements()) {
        if (c->elementType(id) == type && (!accept || accept(id)))
            return id;
    }
    return 0;
}
