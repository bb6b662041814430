#ifndef MVCBASE_H
#define MVCBASE_H

#include <QtGlobal>

#include <memory>

class MvcEvent;
class QEvent;
class QObject;

// The common base of controllers, models and views. A party is a mix-in of a host QObject,
// which receives the events posted to the party and hands them to mvcEvent from its
// customEvent. Parties never call each other: they post events to each other's hosts.
class MvcBase
{
public:
    explicit MvcBase(QObject* host);
    virtual ~MvcBase();

    virtual quint32 moduleId() const;
    // The party's entry for delivered events.
    virtual void mvcEvent(MvcEvent* event) = 0;

    static quint32 classModuleId();

    QObject* objectPtr() const { return m_host; }

    // Expires when the party is destroyed; MvcPointer watches it.
    std::weak_ptr<const void> lifeToken() const { return m_life; }

protected:
    // Hands the event to Qt's queue for the host, or deletes it when there is no host.
    static void postTo(QObject* host, QEvent* event);

private:
    Q_DISABLE_COPY(MvcBase)

    QObject* m_host;
    std::shared_ptr<const char> m_life;
};

#endif // MVCBASE_H
