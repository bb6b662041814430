#include "AppServices.h"

#include "DocumentWindow.h"

namespace {
AppServices* theInstance = nullptr;
}

AppServices::AppServices(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<DocumentWindow*>();
    theInstance = this;
}

AppServices::~AppServices()
{
    if (theInstance == this)
        theInstance = nullptr;
}

AppServices* AppServices::instance()
{
    return theInstance;
}
