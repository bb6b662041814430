#ifndef MVCPOINTER_H
#define MVCPOINTER_H

#include <QObject>
#include <QPointer>

#include <memory>

// A pointer to an MVC party that reads null once the party or its host is gone. A party and
// its host are often one object but need not be, so both are watched: the party through its
// life token (see MvcBase), the host through a QPointer. A party freed and another made at the
// same address are told apart, since each has its own token.
template<class T>
class MvcPointer
{
public:
    MvcPointer() = default;
    explicit MvcPointer(T* party)
    {
        if (party) {
            m_party = party;
            m_life = party->lifeToken();
            m_host = party->objectPtr();
        }
    }

    T* get() const { return m_party && !m_life.expired() && m_host ? m_party : nullptr; }
    // The party's host, or null when the party is gone.
    QObject* host() const { return get() ? m_host.data() : nullptr; }
    // True when this pointed at a party that has been destroyed since.
    bool isGone() const { return m_party && !get(); }

private:
    T* m_party = nullptr;
    std::weak_ptr<const void> m_life;
    QPointer<QObject> m_host;
};

#endif // MVCPOINTER_H
