#ifndef PLAYBACKTESTSUPPORT_H
#define PLAYBACKTESTSUPPORT_H

#include "MidiInput.h"

#include <QBitArray>
#include <QStringList>
#include <QTest>

// Waits until `in` holds `count` messages (or `timeoutMs` has passed) and takes them as hex.
inline QStringList collect(MidiInput& in, int count, int timeoutMs = 2000)
{
    QStringList messages;
    for (int waited = 0; waited < timeoutMs; waited += 2) {
        for (const MidiInputMessage& m : in.takeMessages()) {
            QByteArray bytes(reinterpret_cast<const char*>(m.bytes.constData()), m.bytes.size());
            messages.append(QString::fromLatin1(bytes.toHex(' ')));
        }
        if (messages.size() >= count)
            break;
        QTest::qWait(2);
    }
    return messages;
}

inline QBitArray channelMask(std::initializer_list<int> channels)
{
    QBitArray mask(16);
    for (int channel : channels)
        mask.setBit(channel);
    return mask;
}

#endif // PLAYBACKTESTSUPPORT_H
