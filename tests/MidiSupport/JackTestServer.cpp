#include "JackTestServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <jack/jack.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

void quiet(const char*) { }

} // namespace

JackTestServer::JackTestServer()
    : m_name(QStringLiteral("kelvo-test-%1").arg(QCoreApplication::applicationPid()))
    , m_logFile(QDir::temp().filePath(m_name + QStringLiteral(".log")))
{ }

JackTestServer::~JackTestServer()
{
    stop();
}

bool JackTestServer::start(QString* error)
{
    stop();
    qputenv("JACK_DEFAULT_SERVER", m_name.toLocal8Bit());
    qputenv("JACK_NO_AUDIO_RESERVATION", "1");
    qputenv("KELVO_MIDI_API", "jack");

    const QByteArray name = m_name.toLocal8Bit();
    const QByteArray log = m_logFile.toLocal8Bit();
    // A short period keeps the delay through the server to a few milliseconds. A shell stays
    // beside the server and stops it when the test program has gone, even when a sanitizer
    // ended the program without its destructors.
    const QByteArray script
        = "jackd -n \"$1\" --no-realtime -d dummy -r 48000 -p 128 & server=$!\n"
          "trap 'kill $server; wait $server; exit 0' TERM\n"
          "while kill -0 \"$2\" 2>/dev/null && kill -0 $server 2>/dev/null; do sleep 0.2; done\n"
          "kill $server 2>/dev/null; wait $server\n";
    const QByteArray parent = QByteArray::number(QCoreApplication::applicationPid());
    const char* argv[]
        = {"sh", "-c", script.constData(), "sh", name.constData(), parent.constData(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int failed
        = posix_spawnp(&m_pid, "sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        m_pid = 0;
        *error = QStringLiteral("jackd could not be started: %1").arg(qt_error_string(failed));
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = 0;
            break;
        }
        if (acceptsClients())
            return true;
        QThread::msleep(50);
    }
    QFile output(m_logFile);
    output.open(QIODevice::ReadOnly);
    *error = QStringLiteral("the JACK server %1 did not accept clients:\n%2")
                 .arg(m_name, QString::fromLocal8Bit(output.readAll()));
    stop();
    return false;
}

void JackTestServer::stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    const QDeadlineTimer deadline(5000);
    while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            break;
        }
        QThread::msleep(20);
    }
    m_pid = 0;
}

bool JackTestServer::isRunning() const
{
    return m_pid > 0 && acceptsClients();
}

bool JackTestServer::acceptsClients() const
{
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status {};
    const QByteArray server = m_name.toLocal8Bit();
    jack_client_t* client
        = jack_client_open("kelvo-test-probe", JackOptions(JackNoStartServer | JackServerName),
                           &status, server.constData());
    if (client)
        jack_client_close(client);
    jack_set_error_function(nullptr);
    jack_set_info_function(nullptr);
    return client != nullptr;
}
