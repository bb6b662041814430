#ifndef MODELSIGNALRECORDER_H
#define MODELSIGNALRECORDER_H

#include "QmdModel.h"

#include <QObject>
#include <QStringList>

// Records every signal of a model, in order, as one line of text each, for example
// "changed 1,2,3 rid=4" or "removed(Elements) a,b rid=0". The parent is shown in brackets
// when it is not the default index.
class ModelSignalRecorder : public QObject
{
public:
    explicit ModelSignalRecorder(QmdModel* model);

    QStringList lines;
    QStringList take();

private:
    static QString parentText(const QmdIndex& parent);
    template<class L>
    static QString listText(const L& list);
};

// Runs the controller relays and other events posted to this thread so far.
void deliverRelays();

#endif // MODELSIGNALRECORDER_H
