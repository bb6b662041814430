#include "MvcBase.h"

#include "MvcModuleId.h"

#include <QCoreApplication>
#include <QEvent>

MvcBase::MvcBase(QObject* host)
    : m_host(host)
    , m_life(std::make_shared<const char>(0))
{ }

MvcBase::~MvcBase() = default;

quint32 MvcBase::moduleId() const
{
    return classModuleId();
}

quint32 MvcBase::classModuleId()
{
    return MvcCore::id();
}

void MvcBase::postTo(QObject* host, QEvent* event)
{
    if (host)
        QCoreApplication::postEvent(host, event);
    else
        delete event;
}
