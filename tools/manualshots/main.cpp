#include "ManualShots.h"

#include <QApplication>

#include <cstdio>

namespace {

// The offscreen platform's notes about window-manager requests it cannot serve say nothing
// about the pictures; everything else goes to the error stream as usual.
void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

// kelvo_manualshots FOLDER: takes the pictures of the user manual from the program's windows
// and writes them into FOLDER. Runs on Qt's offscreen platform, without MIDI.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // No MIDI system: there is no server by that name, and none is started.
    qputenv("KELVO_MIDI_API", "jack");
    qputenv("JACK_DEFAULT_SERVER", "kelvo-manualshots-no-server");
    qputenv("JACK_NO_START_SERVER", "1");
    qInstallMessageHandler(filterMessages);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelvo_manualshots FOLDER\n");
        return 2;
    }
    if (!ManualShots::setUpLookAndFeel())
        return 1;
    ManualShots shots(QString::fromLocal8Bit(argv[1]));
    return shots.takeAll() ? 0 : 1;
}
