#include "NetworkBuilder.h"

#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"

#include <QBitArray>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

namespace K = QmdKelvoKeys;

namespace {

QmdKelvo::TickPoint ticks(double x, double y)
{
    return QmdKelvo::TickPoint {std::llround(x * QmdKelvo::TicksPerPrincipal),
                                std::llround(y * QmdKelvo::TicksPerPrincipal)};
}

} // namespace

NetworkBuilder::NetworkBuilder()
{
    m_controller.setModel(&m_model);
    // Reset as a document that was opened, so that it holds the built-in scale modes.
    const QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.kvd"));
    m_controller.requestSave(empty);
    m_controller.requestLoadTemplate(empty);
}

void NetworkBuilder::setRoot(const QString& key, const QVariant& value)
{
    m_controller.requestSetData(key, value, QmdIndex());
}

QmdItemId NetworkBuilder::scaleMode(const QString& label) const
{
    for (QmdItemId id : m_controller.scaleModes()) {
        if (m_controller.data(K::Label, m_controller.scaleModeIndex(id)).toString() == label)
            return id;
    }
    qFatal("No scale mode \"%s\": the built-in modes were not found", qPrintable(label));
}

QmdItemId NetworkBuilder::instrument(const QString& label, int paletteIndex, int channel,
                                     int program)
{
    QBitArray channels(16);
    channels.setBit(channel - 1);
    m_controller.requestAddInstrument(label, QmdKelvo::paletteColor(paletteIndex), channels);
    const QmdItemIdList ids = m_controller.instruments();
    const QmdItemId id = *std::max_element(ids.cbegin(), ids.cend());
    if (program > 0) {
        const QmdIndex index = m_controller.instrumentIndex(id);
        m_controller.requestSetData(K::MidiProgram, program, index);
        m_controller.requestSetData(K::MidiDoProgramChange, true, index);
    }
    return id;
}

QmdItemId NetworkBuilder::node(double x, double y, const QString& notes,
                               QmdKelvo::SignallingMethod method)
{
    QmdKelvoController::NotesTokenMap tokens;
    if (!QmdKelvoController::validateNotes(notes, tokens))
        qFatal("Not a valid notes text: %s", qPrintable(notes));
    QmdItemId id = 0;
    m_controller.requestAddNode(ticks(x, y), QmdKelvo::NoCreationFlags,
                                QmdRequestOptions(QString()), &id);
    set(id, K::Notes, notes);
    set(id, K::SignallingMethod, int(method));
    return id;
}

QmdItemId NetworkBuilder::edge(QmdItemId from, QmdItemId to, int uses, QmdKelvo::EdgePath path)
{
    QmdItemId id = 0;
    m_controller.requestAddEdge(m_controller.elementIndex(from), m_controller.elementIndex(to),
                                path, QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()), &id);
    if (uses != 1) {
        const QmdIndex node = m_controller.elementIndex(from);
        QStringList usage = m_controller.data(K::ArcUsageList, node).toString().split(u',');
        for (QString& entry : usage) {
            if (entry == QStringLiteral("%1=1").arg(id))
                entry = QStringLiteral("%1=%2").arg(id).arg(uses);
        }
        m_controller.requestSetData(K::ArcUsageList, usage.join(u','), node);
    }
    return id;
}

QmdItemId NetworkBuilder::voiceGroup(QmdItemId startNode, QmdItemId instrument,
                                     const QString& pitch, const QString& velocity,
                                     const QString& duration)
{
    m_controller.requestAddVoiceGroup(m_controller.elementIndex(startNode));
    const QmdItemId id = lastElement();
    set(id, K::InitialInstrument, uint(instrument));
    set(id, K::InitialPitch, pitch);
    set(id, K::InitialVelocity, velocity);
    set(id, K::InitialDuration, duration);
    return id;
}

QmdItemId NetworkBuilder::textBox(double x, double y, const QString& bodyHtml)
{
    m_controller.requestAddTextBox(ticks(x, y),
                                   QStringLiteral("<html><body>%1</body></html>").arg(bodyHtml));
    return lastElement();
}

void NetworkBuilder::set(QmdItemId element, const QString& key, const QVariant& value)
{
    m_controller.requestSetData(key, value, m_controller.elementIndex(element));
}

bool NetworkBuilder::save(const QString& fileName)
{
    bool saved = false;
    QObject::connect(&m_controller, &QmdDocController::fileSaved, [&saved] { saved = true; });
    m_controller.requestSave(fileName);
    return saved;
}

QmdItemId NetworkBuilder::lastElement() const
{
    const QmdItemIdList ids = m_controller.elements();
    return ids.isEmpty() ? 0 : *std::max_element(ids.cbegin(), ids.cend());
}
