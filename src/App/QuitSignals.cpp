#include "QuitSignals.h"

#include "KelvoApplication.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// The two ends of the socket pair: the handler writes to the second.
int signalSockets[2] = {-1, -1};
// Set by the first signal until the quit it started was cancelled.
std::atomic<bool> quitRequested {false};

static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs a lock-free flag");

extern "C" void handleQuitSignal(int signal)
{
    if (quitRequested.exchange(true))
        _exit(128 + signal);
    const char byte = char(signal);
    // Nothing can be done about a failed write here; the next signal still ends the process.
    [[maybe_unused]] const ssize_t written = write(signalSockets[1], &byte, 1);
}

} // namespace

QuitSignals::QuitSignals(KelvoApplication* app)
    : QObject(app)
    , m_app(app)
{
    Q_ASSERT(signalSockets[0] < 0);
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        qWarning("QuitSignals: no socket pair; SIGINT and SIGTERM end Kelvo without asking.");
        return;
    }
    m_notifier = new QSocketNotifier(signalSockets[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::onSignal);

    // A quit given up later (a failed save, a cancelled prompt) lets the next signal ask.
    connect(app, &KelvoApplication::quitEnded, this, [] { quitRequested = false; });

    quitRequested = false;
    struct sigaction action = {};
    action.sa_handler = handleQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    // From now on a signal ends the process at once: nothing is left to ask the windows.
    quitRequested = true;
    delete m_notifier;
    for (int& socket : signalSockets) {
        if (socket >= 0)
            close(socket);
        socket = -1;
    }
}

void QuitSignals::onSignal()
{
    char byte = 0;
    if (read(signalSockets[0], &byte, 1) != 1)
        return;
    m_app->appQuit();
    // The user kept the documents open: the next signal asks again.
    if (!m_app->isQuitting() && !m_app->windows().isEmpty())
        quitRequested = false;
}
