// Draws the default template and the example networks through the controller's requests, and
// plays a network offline to a MIDI file. Run by hand; the results are committed.
//
//     kelvo_examplegen write BUNDLEDIR
//         writes template.kvd and Examples/*.kvd below BUNDLEDIR (resources/bundle)
//     kelvo_examplegen render FILE.kvd SECONDS OUT.mid
//         plays FILE.kvd for SECONDS of its own time and writes what its instruments would
//         have sent; `fluidsynth -ni -F out.wav SOUNDFONT OUT.mid` then renders it to audio

#include "Examples.h"
#include "NetworkBuilder.h"
#include "Render.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

int writeNetworks(const QString& bundleDir)
{
    // The built-in scale modes come from the bundle that the networks go to.
    if (qEnvironmentVariableIsEmpty("KELVO_RESOURCES"))
        qputenv("KELVO_RESOURCES", QFile::encodeName(bundleDir));
    for (const ExampleNetwork& example : exampleNetworks()) {
        const QString fileName = QDir(bundleDir).filePath(example.fileName);
        QDir().mkpath(QFileInfo(fileName).absolutePath());
        NetworkBuilder builder;
        example.build(builder);
        if (!builder.save(fileName)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(fileName));
            return 1;
        }
        std::printf("wrote %s\n", qPrintable(fileName));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Instruments open no MIDI port: there is no server by that name.
    qputenv("KELVO_MIDI_API", "jack");
    qputenv("JACK_DEFAULT_SERVER", "kelvo-no-such-server");
    qputenv("JACK_NO_START_SERVER", "1");
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("write"))
        return writeNetworks(args.at(2));
    if (args.size() == 5 && args.at(1) == QLatin1String("render"))
        return renderMidi(args.at(2), args.at(3).toDouble(), args.at(4));
    std::fprintf(stderr, "usage: %s write BUNDLEDIR\n       %s render FILE.kvd SECONDS OUT.mid\n",
                 argv[0], argv[0]);
    return 2;
}
