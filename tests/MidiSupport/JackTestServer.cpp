#include "JackTestServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <jack/jack.h>

namespace {

void quiet(const char*) { }

} // namespace

JackTestServer::JackTestServer()
    : m_name(QStringLiteral("kelvo-test-%1").arg(QCoreApplication::applicationPid()))
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

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
    // A short period keeps the delay through the server to a few milliseconds.
    m_process.start(QStringLiteral("jackd"),
                    {QStringLiteral("-n"), m_name, QStringLiteral("--no-realtime"),
                     QStringLiteral("-d"), QStringLiteral("dummy"), QStringLiteral("-r"),
                     QStringLiteral("48000"), QStringLiteral("-p"), QStringLiteral("128")});
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("jackd could not be started: %1").arg(m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running)
            break;
        if (acceptsClients())
            return true;
        QThread::msleep(50);
    }
    const QString output = QString::fromLocal8Bit(m_process.readAll());
    *error = QStringLiteral("the JACK server %1 did not accept clients:\n%2").arg(m_name, output);
    stop();
    return false;
}

void JackTestServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool JackTestServer::isRunning() const
{
    return m_process.state() == QProcess::Running && acceptsClients();
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
