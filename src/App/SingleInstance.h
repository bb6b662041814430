#ifndef SINGLEINSTANCE_H
#define SINGLEINSTANCE_H

#include <QLocalServer>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <optional>

class QLocalSocket;

// One Kelvo per user. The running instance listens on a local socket in the user's runtime
// folder; a later launch connects to it before it opens anything of its own, hands over the
// files it was started with and ends.
//
// A request is a 32-bit big-endian length and that many bytes of UTF-8: the word
// "kelvo-open", then each absolute file name after a NUL. The instance answers "ok\n" once it
// has taken the files; a request with no files asks it to bring its window to the front.
// Anything else it drops without an answer.
namespace SingleInstance {

enum class Forwarding {
    Forwarded, // the running instance took the files
    NoInstance, // nothing listens: this launch is to become the instance
    NotAnswered, // an instance is there but did not answer in time
};

// The socket, and the lock file that keeps launches at the same moment apart.
QString serverPath();
QString lockPath();

// How long a launch waits for the lock held by another launch that is becoming the instance.
constexpr int LaunchLockTimeoutMs = 15000;
// A request and its answer are this long at most.
constexpr int MaxRequestBytes = 1 << 20;

// The files of a command line as the instance is to open them: made absolute against the
// folder the launch ran in, the platform's "-psn" argument left out.
QStringList filesToForward(const QStringList& arguments, const QString& workingDirectory);

// The payload of a request, and back. Files that would make the request too long are left
// out; a payload that is not a well-formed request gives nothing.
QByteArray encodeRequest(const QStringList& files);
std::optional<QStringList> decodeRequest(const QByteArray& payload);

// Hands the files to the instance listening at `path` and waits, at most `timeoutMs`, for its
// answer.
Forwarding forward(const QStringList& files, const QString& path = serverPath(),
                   int timeoutMs = 10000);

} // namespace SingleInstance

// The running instance's side: opens the files that later launches hand over (as file-open
// events to the application) and brings the focus window to the front for a launch without
// files. It answers on a thread of its own, so that a launch is answered at once even while
// the application is busy (starting up, say); what the request asks for is done on the
// application's thread when it gets there.
class InstanceServer : public QObject
{
    Q_OBJECT

public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // Listens at `path`, replacing a socket that a crashed instance left behind. The caller
    // has made sure that no instance answers there.
    bool listen(const QString& path = SingleInstance::serverPath());
    QString errorString() const { return m_error; }

    // How long a client may take to send its request.
    static constexpr int RequestTimeoutMs = 5000;

private:
    // On the server's thread.
    void acceptConnections();
    void readRequest(QLocalSocket* socket);
    static void drop(QLocalSocket* socket);
    // On the application's thread.
    static void raiseFocusWindow();

    QThread m_thread;
    QLocalServer* m_server; // lives on m_thread
    QString m_error;
};

#endif // SINGLEINSTANCE_H
