// Times a keystroke in the notes editor holding 5,000 characters of notes. Run it from a
// release build:
//
//   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVO_BUILD_TESTS=OFF
//   cmake --build build/release --target bench_notesedit && build/release/bench/bench_notesedit
//
// It draws offscreen unless QT_QPA_PLATFORM says otherwise.
#include "NotesEditBench.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchNotesEditKeystroke();
    return 0;
}
