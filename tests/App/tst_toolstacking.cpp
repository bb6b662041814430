#include "AppTestMain.h"
#include "Inspector.h"
#include "KelvoMenuBar.h"
#include "KelvoWindow.h"
#include "MidiSynthDialog.h"

#include <QProcess>
#include <QWindow>

#include <algorithm>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

extern char** environ;

namespace {

// A screen of the test's own (Xvfb, on a display it chooses itself) with the openbox window
// manager on it, for as long as the object lives.
class ScreenWithWindowManager
{
public:
    ~ScreenWithWindowManager()
    {
        for (const pid_t pid : {m_windowManager, m_server}) {
            if (pid > 0) {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
    }

    // Starts both; the display's name, or an empty string (with `error` set) on failure.
    QByteArray start(QString* error)
    {
        int fds[2];
        if (pipe(fds) != 0) {
            *error = QStringLiteral("no pipe");
            return {};
        }
        const std::string fd = std::to_string(fds[1]);
        const char* server[] = {"Xvfb",        "-displayfd", fd.c_str(), "-screen", "0",
                                "1280x800x24", "-nolisten",  "tcp",      nullptr};
        if (posix_spawnp(&m_server, "Xvfb", nullptr, nullptr, const_cast<char**>(server), environ)
            != 0) {
            *error = QStringLiteral("Xvfb does not start (scripts/setup installs it)");
            return {};
        }
        close(fds[1]);
        // Xvfb writes its display number when it is ready for clients.
        QByteArray number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.isEmpty()) {
            *error = QStringLiteral("Xvfb gave no display");
            return {};
        }
        const QByteArray display = ":" + number;
        qputenv("DISPLAY", display);
        const char* manager[] = {"openbox", nullptr};
        if (posix_spawnp(&m_windowManager, "openbox", nullptr, nullptr, const_cast<char**>(manager),
                         environ)
            != 0) {
            *error = QStringLiteral("openbox does not start (scripts/setup installs it)");
            return {};
        }
        return display;
    }

private:
    pid_t m_server = -1;
    pid_t m_windowManager = -1;
};

xcb_connection_t* connection()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

xcb_window_t rootWindow()
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
}

xcb_atom_t atom(const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection(), xcb_intern_atom(connection(), 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return value;
}

// The windows of a window property of `window` (of the root window when none is given).
QList<xcb_window_t> windowsOf(const char* property, xcb_window_t window = 0)
{
    QList<xcb_window_t> windows;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection(),
        xcb_get_property(connection(), 0, window != 0 ? window : rootWindow(), atom(property),
                         XCB_ATOM_WINDOW, 0, 1024),
        nullptr);
    if (reply && reply->format == 32) {
        const auto* values = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        windows = QList<xcb_window_t>(values, values + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    return windows;
}

bool isViewable(xcb_window_t window)
{
    xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
        connection(), xcb_get_window_attributes(connection(), window), nullptr);
    const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    free(reply);
    return viewable;
}

} // namespace

// The inspector and the synthesizer dialog under a real window manager: whichever document
// window a click brings to the front, they stay above it, and View's item tells whether the
// inspector is on the screen.
class TestToolStacking : public QObject
{
    Q_OBJECT

private:
    static KelvoApplication* app() { return KelvoApplication::instance(); }

    // The window manager's stacking order, bottom first, of the application's windows.
    static QList<xcb_window_t> stacking() { return windowsOf("_NET_CLIENT_LIST_STACKING"); }

    // Clicks into `window` where no window stacked above it covers it, as the user does.
    static bool clickInto(KelvoWindow* window, const QList<QWidget*>& others)
    {
        const QList<xcb_window_t> order = stacking();
        QList<QRect> covering;
        for (QWidget* other : others) {
            if (order.indexOf(xcb_window_t(other->winId()))
                > order.indexOf(xcb_window_t(window->winId())))
                covering << other->frameGeometry();
        }
        const QRect area = window->geometry().adjusted(4, 80, -4, -30);
        for (int y = area.top(); y <= area.bottom(); y += 5) {
            for (int x = area.left(); x <= area.right(); x += 5) {
                const QPoint point(x, y);
                if (std::any_of(covering.cbegin(), covering.cend(),
                                [&](const QRect& rect) { return rect.contains(point); }))
                    continue;
                const QPoint pixel = point * window->devicePixelRatio();
                return QProcess::execute(QStringLiteral("xdotool"),
                                         {QStringLiteral("mousemove"), QString::number(pixel.x()),
                                          QString::number(pixel.y()), QStringLiteral("click"),
                                          QStringLiteral("1")})
                    == 0;
            }
        }
        return false;
    }

    // Whether `tool` is stacked above every window of `windows`.
    static bool above(QWidget* tool, const QList<KelvoWindow*>& windows)
    {
        const QList<xcb_window_t> order = stacking();
        const qsizetype toolIndex = order.indexOf(xcb_window_t(tool->winId()));
        if (toolIndex < 0)
            return false;
        for (KelvoWindow* window : windows) {
            if (order.indexOf(xcb_window_t(window->winId())) > toolIndex)
                return false;
        }
        return true;
    }

    static QString inspectorItemText()
    {
        for (QAction* action : app()->focusWindow()->kelvoMenuBar()->findChildren<QAction*>()) {
            if (action->text().endsWith(QLatin1String("&Inspector")))
                return action->text();
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        // The window manager is running once it has announced itself on the root window.
        QTRY_VERIFY_WITH_TIMEOUT(!windowsOf("_NET_SUPPORTING_WM_CHECK").isEmpty(), 20000);
        QTRY_VERIFY(app()->focusWindow());
    }

    void toolWindowsStayAboveEveryDocumentWindow()
    {
        QList<KelvoWindow*> windows = app()->windows();
        while (windows.size() < 3)
            windows << app()->newDocument();
        for (KelvoWindow* window : std::as_const(windows))
            QVERIFY(QTest::qWaitForWindowExposed(window));
        Inspector* inspector = app()->inspector();
        // A tool window of the application: transient for the root window, the whole group.
        QCOMPARE(windowsOf("WM_TRANSIENT_FOR", xcb_window_t(inspector->winId())),
                 QList<xcb_window_t>({rootWindow()}));
        app()->setSynthDialogOpen(true);
        QVERIFY(app()->synthDialog());
        QVERIFY(QTest::qWaitForWindowExposed(app()->synthDialog()));

        const QList<QWidget*> all
            = {windows.at(0), windows.at(1), windows.at(2), inspector, app()->synthDialog()};
        QTRY_VERIFY(std::all_of(all.cbegin(), all.cend(), [](QWidget* widget) {
            return stacking().contains(xcb_window_t(widget->winId()));
        }));
        // Each document shows a strip of its own beside the one above it, and the tool windows
        // cover none of those strips, wherever the window manager first put them.
        for (int i = 0; i < 3; ++i)
            windows.at(i)->setGeometry(40 + 80 * i, 60 + 40 * i, 600, 500);
        inspector->move(880, 40);
        app()->synthDialog()->move(880, 420);
        // From the front to the back and to the front again: each time the window clicked
        // comes up over the others.
        for (KelvoWindow* window : {windows.at(2), windows.at(1), windows.at(0), windows.at(2)}) {
            // Once the window manager has placed the windows as asked.
            QTRY_VERIFY2(clickInto(window, all), "no place of the window to click");
            QTRY_COMPARE(app()->focusWindow(), window);
            // The window manager has brought the clicked window up over the other documents.
            QTRY_VERIFY(std::all_of(windows.cbegin(), windows.cend(), [&](KelvoWindow* other) {
                return stacking().indexOf(xcb_window_t(other->winId()))
                    <= stacking().indexOf(xcb_window_t(window->winId()));
            }));
            QTRY_VERIFY2(above(inspector, windows), "the inspector went below a document");
            QVERIFY2(above(app()->synthDialog(), windows), "the synthesizer went below");
            QVERIFY(isViewable(xcb_window_t(inspector->winId())));
            QCOMPARE(inspectorItemText(), QStringLiteral("Hide &Inspector"));
        }
        app()->setSynthDialogOpen(false);
        QTRY_VERIFY(!app()->synthDialog());

        // Hidden and shown again, it tells so and comes back above the documents.
        app()->mac_toggleInspector();
        QTRY_VERIFY(!isViewable(xcb_window_t(inspector->winId())));
        QCOMPARE(inspectorItemText(), QStringLiteral("Show &Inspector"));
        app()->mac_toggleInspector();
        QTRY_VERIFY(isViewable(xcb_window_t(inspector->winId())));
        QCOMPARE(inspectorItemText(), QStringLiteral("Hide &Inspector"));
        QTRY_VERIFY(above(inspector, windows));
    }
};

int main(int argc, char** argv)
{
    ScreenWithWindowManager screen;
    QString error;
    if (screen.start(&error).isEmpty()) {
        qCritical("%s", qPrintable(error));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("KELVO_MIDI_API", "jack");
    qputenv("JACK_DEFAULT_SERVER", "kelvo-no-such-server");
    const QTemporaryDir preferences;
    useFreshPreferences(preferences);
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    int result = 0;
    {
        KelvoApplication app(argc, argv, MidiSynth::NoAudioOutput);
        app.init();
        TestToolStacking test;
        result = QTest::qExec(&test, argc, argv);
    }
    return result;
}

#include "tst_toolstacking.moc"
