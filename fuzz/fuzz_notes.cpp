// Feeds arbitrary bytes to validateNotes, as the notes editor does with whatever is typed or
// pasted, and checks that the token map stays inside the text.
#include "KelvoNotesTree.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text
        = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype bytes = text.toUtf8().size();

    KelvoNotes::NotesTokenMap map;
    const bool ok = KelvoNotes::validateNotes(text, map);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const int start = it.key();
        const int length = it.value().first;
        const int kind = it.value().second;
        if (kind < KelvoNotes::PitchListToken || kind > KelvoNotes::DurationListToken)
            std::abort();
        if (start == -1) {
            // Only an invalid text can have a list without a place in the text.
            if (ok || length != 0)
                std::abort();
        } else if (start < 0 || length <= 0 || start + length > bytes) {
            std::abort();
        }
    }
    return 0;
}
