#include "AbstractSync.h"

#include "MidiSync.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

namespace {

// The clock types registered besides the built-in one, by lower-case type id.
struct SyncTypeRegistry
{
    QMutex mutex;
    QHash<QString, SyncFactory> factories;
};

SyncTypeRegistry& registry()
{
    static SyncTypeRegistry instance;
    return instance;
}

} // namespace

AbstractSync::AbstractSync(QObject* parent)
    : QObject(parent)
{
    // On the thread that changed the timing (the MIDI input's, when it follows MIDI clock): the
    // output threads it wakes wait for no event loop.
    connect(this, &AbstractSync::tempoChanged, this, &AbstractSync::timingChanged,
            Qt::DirectConnection);
    connect(this, &AbstractSync::principalsToBeatsNumeratorChanged, this,
            &AbstractSync::timingChanged, Qt::DirectConnection);
    connect(this, &AbstractSync::principalsToBeatsDenominatorChanged, this,
            &AbstractSync::timingChanged, Qt::DirectConnection);
}

AbstractSync::~AbstractSync() = default;

bool AbstractSync::hostTimeOfTicks(quint64, quint64*) const
{
    return false;
}

bool AbstractSync::hostTimeOfStop(quint64*) const
{
    return false;
}

void AbstractSync::setController(QmdKelvoController* newController)
{
    if (controller) {
        disconnect(controller, &QmdController::modelReset, this, &AbstractSync::reset);
        controller->unbind(this, nullptr, QmdController::UnbindActions(7));
    }
    QmdObserver<QmdKelvoController>::setController(newController);
    if (controller) {
        connect(controller, &QmdController::modelReset, this, &AbstractSync::reset);
        const struct
        {
            const char* property;
            const char* signal;
            const QString& key;
            uint defaultValue;
            QString intent;
        } bindings[] = {
            {"tempo", SIGNAL(tempoChanged(uint)), QmdKelvoKeys::Tempo, 120, tr("Tempo")},
            {"principalsToBeatsNumerator", SIGNAL(principalsToBeatsNumeratorChanged(uint)),
             QmdKelvoKeys::PrincipalsToBeatsNumerator, 1, tr("PrincipalsToBeatsNumerator")},
            {"principalsToBeatsDenominator", SIGNAL(principalsToBeatsDenominatorChanged(uint)),
             QmdKelvoKeys::PrincipalsToBeatsDenominator, 1, tr("PrincipalsToBeatsDenominator")},
        };
        for (const auto& b : bindings)
            controller->bind(this, b.property, b.signal, b.key, QmdIndex(), b.defaultValue,
                             b.defaultValue, b.intent, Qmd::NotUndoable);
    }
    reset();
}

AbstractSync* createSync(const QString& typeId, QObject* parent)
{
    const QString type = typeId.toLower();
    if (type == MidiSync::staticTypeId().toLower())
        return new MidiSync(parent);
    SyncFactory factory;
    {
        SyncTypeRegistry& r = registry();
        const QMutexLocker locker(&r.mutex);
        factory = r.factories.value(type);
    }
    return factory ? factory(parent) : nullptr;
}

void registerSyncType(const QString& typeId, const SyncFactory& factory)
{
    const QString type = typeId.toLower();
    if (type.isEmpty() || type == MidiSync::staticTypeId().toLower())
        return;
    SyncTypeRegistry& r = registry();
    const QMutexLocker locker(&r.mutex);
    r.factories.insert(type, factory);
}

QStringList syncTypeIds()
{
    return {MidiSync::staticTypeId()};
}

QString syncTypeName(const QString& typeId)
{
    if (typeId.toLower() == MidiSync::staticTypeId().toLower())
        return MidiSync::staticTypeName();
    return QString();
}
