// Runs unitTestNotes once: notes_selftest TEXT true|false. Used by tst_notesparsing.
#include "KelvoNotesSelfTest.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: notes_selftest TEXT true|false\n");
        return 2;
    }
    KelvoNotes::unitTestNotes(QString::fromUtf8(argv[1]), QByteArray(argv[2]) == "true");
    return 0;
}
