#ifndef QUITSIGNALS_H
#define QUITSIGNALS_H

#include <QObject>

class KelvoApplication;
class QSocketNotifier;

// SIGINT and SIGTERM quit the application as its Quit command does: held notes are released
// and modified documents ask to be saved. The handler only writes the signal into a socket
// pair that the event loop watches. A second signal while the first is being handled, or once
// the event loop has ended, ends the process at once with the status 128 + signal. One object
// at a time; it lives beside the application for the length of its event loop.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(KelvoApplication* app);
    ~QuitSignals() override;

private:
    void onSignal();

    KelvoApplication* m_app;
    QSocketNotifier* m_notifier = nullptr;
};

#endif // QUITSIGNALS_H
