#ifndef QMDOBSERVER_H
#define QMDOBSERVER_H

#include <QPointer>

// Mix-in of every object that follows a controller. Users override setController to
// disconnect from the old controller, connect to the new one and refresh themselves, and call
// this base to store the pointer.
template<class T>
class QmdObserver
{
public:
    virtual ~QmdObserver() = default;

    virtual void setController(T* controller)
    {
        if (controller != this->controller)
            this->controller = controller;
    }

protected:
    QPointer<T> controller;
};

#endif // QMDOBSERVER_H
