// Times validateNotes, the check the notes editor runs on every change, on notes texts of
// 100, 1,000 and 10,000 characters, and the storing of a node's notes tree for a text of
// 1,000 notes. Run it from a release build:
//
//   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVO_BUILD_TESTS=OFF
//   cmake --build build/release --target bench_notes && build/release/bench/bench_notes
#include "KelvoNotesTree.h"
#include "QmdKelvoController.h"
#include "QmdMemModel.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

// A valid notes text of exactly `length` characters, made of phrases of the kinds a user
// writes: groups of every kind, lists, relative pitches, durations and comments.
QString notesText(int length)
{
    const QStringList phrases = {
        "(C3:96:100% E3 G3) ",
        "[C3,E3,G3:100,80:1,2,4] ",
        "{D3 f#3 A3} ",
        "// a phrase\n",
        "+2:-10:*2 ",
        "c#4::50% ",
        "(-12 +7 [E3 G3]) ",
        "B-1:64:/3 ",
        "{(C3 D3) [E3 G3:+5]} ",
        "a#2,+3,-4::1.5,2e1 ",
    };
    QString text;
    for (int i = 0;; i = (i * 7 + 3) % phrases.size()) {
        if (text.size() + phrases.at(i).size() > length)
            break;
        text += phrases.at(i);
    }
    return text.leftJustified(length, QLatin1Char(' '));
}

struct Timing
{
    double medianMs = 0;
    double meanMs = 0;
    int runs = 0;
};

Timing timeValidate(const QString& text, int runs)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> ms;
    ms.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        KelvoNotes::NotesTokenMap map;
        const Clock::time_point start = Clock::now();
        KelvoNotes::validateNotes(text, map);
        const Clock::time_point end = Clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    Timing timing;
    timing.runs = runs;
    for (double m : ms)
        timing.meanMs += m / runs;
    std::nth_element(ms.begin(), ms.begin() + runs / 2, ms.end());
    timing.medianMs = ms[runs / 2];
    return timing;
}

// Median time to parse and store the notes tree of `text` for one node, inside one request
// that is not undoable, as the controller's rebuild does, and to deliver the relays of the
// model's change signals on this thread.
double timeStoreTree(const QString& text, int runs)
{
    using Clock = std::chrono::steady_clock;
    QmdMemModel model;
    QmdKelvoController controller;
    controller.setModel(&model);
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        const QmdRequestId rid = controller.beginRequest(
            QmdRequestOptions(Qmd::NotUndoable, QStringLiteral("Rebuild Notes Tree")));
        controller.directRemove(QmdItemId(1), controller.nodeNotesTreesRoot());
        QmdKelvoController::parseNotes(
            text, [&](bool ok, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree) {
                controller.onNotesParsed(ok, adaptor, tree, 1);
            });
        controller.endRequest(rid);
        // The relays of the model's change signals are part of the cost.
        QCoreApplication::processEvents();
        const Clock::time_point end = Clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    const QmdIndex root = controller.index(1, controller.nodeNotesTreesRoot());
    const int stored = controller.idList(controller.index(QStringLiteral("Children"), root)).size();
    if (stored == 0) {
        std::fprintf(stderr, "no notes tree was stored\n");
        return -1;
    }
    std::nth_element(ms.begin(), ms.begin() + runs / 2, ms.end());
    return ms[runs / 2];
}

} // namespace

int main(int argc, char** argv)
{
    // The controller's relays of the model's change signals are queued; they need an
    // application object. The event dispatcher that delivers them is printed: glib's (the
    // default) or Qt's own (QT_NO_GLIB=1).
    QCoreApplication app(argc, argv);
    std::printf("event dispatcher: %s\n",
                QAbstractEventDispatcher::instance()->metaObject()->className());

    std::printf("validateNotes (target: under 2 ms for 10,000 characters)\n");
    for (int length : {100, 1000, 10000}) {
        const QString text = notesText(length);
        KelvoNotes::NotesTokenMap map;
        if (text.size() != length || !KelvoNotes::validateNotes(text, map)) {
            std::fprintf(stderr, "the generated text of %d characters is not valid\n", length);
            return 1;
        }
        const int runs = length >= 10000 ? 300 : 3000;
        timeValidate(text, runs / 10); // warm up the allocator and the caches
        const Timing timing = timeValidate(text, runs);
        std::printf("  %6d characters, %5d lists: median %8.3f ms, mean %8.3f ms (%d runs)\n",
                    length, int(map.size()), timing.medianMs, timing.meanMs, timing.runs);
    }

    QString thousandNotes;
    for (int i = 0; i < 1000; ++i)
        thousandNotes += i % 10 == 9 ? QStringLiteral("[E3 G3] ") : QStringLiteral("C3:96:100% ");
    KelvoNotes::NotesTokenMap check;
    if (!KelvoNotes::validateNotes(thousandNotes, check)) {
        std::fprintf(stderr, "the text of 1,000 notes is not valid\n");
        return 1;
    }
    std::printf("store the notes tree of 1,000 notes (target: under 20 ms): median %.3f ms\n",
                timeStoreTree(thousandNotes, 50));
    return 0;
}
