#ifndef MANUALSHOTS_H
#define MANUALSHOTS_H

#include "QmdGlobal.h"

#include <QDir>
#include <QString>

#include <functional>
#include <memory>

class Inspector;
class KelvoWindow;
class MidiSynth;
class QWidget;
class TestAppServices;

// The pictures of the user manual, taken from the program's own windows: a document window with
// an example network, the inspector's pages, the position display in its three modes, the
// network lighting its nodes while it plays, the synthesizer dialog and the preferences. The
// windows run on the test implementation of the application's services, without MIDI, with fonts
// and a style that do not depend on the machine, and the display of playback is fed directly, so
// that the pictures come out the same on every run.
class ManualShots
{
public:
    // Writes the pictures into `folder`, which is made when missing.
    explicit ManualShots(const QString& folder);
    ~ManualShots();

    // Takes every picture; false (with a message on the error stream) when one fails.
    bool takeAll();

    // Sets the fonts and the style that every picture uses.
    static bool setUpLookAndFeel();

private:
    bool window();
    bool inspectorPages();
    bool positionDisplay();
    bool playing();
    bool synthesizer();
    bool preferences();

    // Opens a document window on an untitled copy of an example network.
    bool openExample(const QString& name);
    // Saves what the screen shows of `widget`, with `margin` pixels of its window around it.
    bool save(QWidget* widget, const QString& fileName, int margin = 0);
    bool save(const QImage& image, const QString& fileName);
    // Runs the event loop until `done` holds, for at most 20 seconds.
    static bool waitFor(const std::function<bool()>& done);
    static void settle();
    QmdItemId firstElement(int type, const std::function<bool(QmdItemId)>& accept = {}) const;

    QDir m_folder;
    std::unique_ptr<TestAppServices> m_services;
    std::unique_ptr<KelvoWindow> m_window;
    std::unique_ptr<Inspector> m_inspector;
};

#endif // MANUALSHOTS_H
