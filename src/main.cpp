#include "KelvoApplication.h"
#include "QuitSignals.h"
#include "SingleInstance.h"

#include <QDir>
#include <QLockFile>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication::setDesktopFileName(QStringLiteral("kelvo"));

    // One Kelvo per user: while one runs, a launch hands its files over and ends before it
    // has opened a MIDI port or read a preference. The lock keeps launches at the same
    // moment apart until the first of them listens.
    QLockFile launchLock(SingleInstance::lockPath());
    if (!launchLock.tryLock(SingleInstance::LaunchLockTimeoutMs))
        std::fprintf(stderr, "kelvo: %s; going on.\n",
                     launchLock.error() == QLockFile::LockFailedError
                         ? "another launch did not finish starting"
                         : qPrintable("cannot create " + SingleInstance::lockPath()));
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    switch (
        SingleInstance::forward(SingleInstance::filesToForward(arguments, QDir::currentPath()))) {
    case SingleInstance::Forwarding::Forwarded:
        return 0;
    case SingleInstance::Forwarding::NotAnswered:
        std::fprintf(stderr, "kelvo: Kelvo is running but does not answer.\n");
        return 1;
    case SingleInstance::Forwarding::NoInstance:
        break;
    }

    KelvoApplication app(argc, argv);
    // Before the server answers: a launch it answered may be told to quit at once.
    QuitSignals quitSignals(&app);
    InstanceServer instanceServer;
    if (!instanceServer.listen())
        std::fprintf(stderr, "kelvo: later launches cannot reach this one: %s\n",
                     qPrintable(instanceServer.errorString()));
    launchLock.unlock();
    return app.exec();
}
