#include "SingleInstance.h"

#include "KelvoApplication.h"
#include "KelvoWindow.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileOpenEvent>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>
#include <QtEndian>

namespace SingleInstance {

namespace {

const QByteArray RequestWord = QByteArrayLiteral("kelvo-open");
const QByteArray Answer = QByteArrayLiteral("ok\n");
constexpr int HeaderBytes = 4;
constexpr int ConnectTimeoutMs = 2000;

QString runtimePath(const QString& name)
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QLatin1Char('/')
        + name;
}

} // namespace

QString serverPath()
{
    return runtimePath(QStringLiteral("kelvo-instance"));
}

QString lockPath()
{
    return runtimePath(QStringLiteral("kelvo-instance.lock"));
}

QStringList filesToForward(const QStringList& arguments, const QString& workingDirectory)
{
    QStringList files;
    const QDir folder(workingDirectory);
    for (const QString& argument : arguments) {
        if (!argument.isEmpty() && !argument.startsWith(QStringLiteral("-psn")))
            files << QDir::cleanPath(folder.absoluteFilePath(argument));
    }
    return files;
}

QByteArray encodeRequest(const QStringList& files)
{
    QByteArray payload = RequestWord;
    for (const QString& file : files) {
        const QByteArray name = file.toUtf8();
        if (HeaderBytes + payload.size() + 1 + name.size() > MaxRequestBytes)
            break;
        payload += '\0' + name;
    }
    return payload;
}

std::optional<QStringList> decodeRequest(const QByteArray& payload)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(payload);
    if (utf8.hasError())
        return std::nullopt;
    QStringList parts = text.split(QChar(0));
    if (parts.takeFirst() != QLatin1String(RequestWord))
        return std::nullopt;
    for (const QString& file : std::as_const(parts)) {
        if (!QDir::isAbsolutePath(file))
            return std::nullopt;
    }
    return parts;
}

Forwarding forward(const QStringList& files, const QString& path, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(ConnectTimeoutMs))
        return Forwarding::NoInstance;

    const QByteArray payload = encodeRequest(files);
    QByteArray request(HeaderBytes, '\0');
    qToBigEndian(quint32(payload.size()), request.data());
    socket.write(request + payload);
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray answer;
    while (answer.size() < Answer.size() && socket.waitForReadyRead(int(deadline.remainingTime())))
        answer += socket.read(Answer.size() - answer.size());
    return answer == Answer ? Forwarding::Forwarded : Forwarding::NotAnswered;
}

} // namespace SingleInstance

InstanceServer::InstanceServer(QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer)
{
    m_thread.setObjectName(QStringLiteral("Kelvo instance server"));
    m_server->moveToThread(&m_thread);
    connect(m_server, &QLocalServer::newConnection, m_server, [this] { acceptConnections(); });
    m_thread.start();
}

InstanceServer::~InstanceServer()
{
    // Deleted on its own thread as the thread ends, with the sockets it still holds.
    m_server->deleteLater();
    m_thread.quit();
    m_thread.wait();
}

bool InstanceServer::listen(const QString& path)
{
    bool listening = false;
    QMetaObject::invokeMethod(
        m_server,
        [this, &path, &listening] {
            QLocalServer::removeServer(path);
            m_server->setSocketOptions(QLocalServer::UserAccessOption);
            listening = m_server->listen(path);
            m_error = m_server->errorString();
        },
        Qt::BlockingQueuedConnection);
    return listening;
}

void InstanceServer::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { readRequest(socket); });
        QTimer::singleShot(RequestTimeoutMs, socket, [socket] { drop(socket); });
    }
}

void InstanceServer::readRequest(QLocalSocket* socket)
{
    using namespace SingleInstance;
    if (socket->bytesAvailable() < HeaderBytes)
        return;
    const QByteArray header = socket->peek(HeaderBytes);
    const qint64 length = qFromBigEndian<quint32>(header.constData());
    if (length > MaxRequestBytes - HeaderBytes || socket->bytesAvailable() > HeaderBytes + length) {
        drop(socket);
        return;
    }
    if (socket->bytesAvailable() < HeaderBytes + length)
        return;
    socket->skip(HeaderBytes);
    const std::optional<QStringList> files = decodeRequest(socket->read(length));
    if (!files) {
        drop(socket);
        return;
    }

    // The application opens them as it opens the files the desktop asks it to.
    for (const QString& file : *files)
        QCoreApplication::postEvent(QCoreApplication::instance(), new QFileOpenEvent(file));
    if (files->isEmpty())
        QMetaObject::invokeMethod(QCoreApplication::instance(), &InstanceServer::raiseFocusWindow,
                                  Qt::QueuedConnection);
    socket->write(Answer);
    socket->disconnectFromServer();
}

void InstanceServer::drop(QLocalSocket* socket)
{
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}

void InstanceServer::raiseFocusWindow()
{
    KelvoApplication* app = KelvoApplication::instance();
    if (!app)
        return;
    KelvoWindow* window = app->focusWindow();
    if (!window && !app->windows().isEmpty())
        window = app->windows().last();
    if (!window)
        return;
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->activateWindow();
    window->raise();
}
