#ifndef QMDIMPORTEXPORTINTERFACE_H
#define QMDIMPORTEXPORTINTERFACE_H

#include "QmdDirectModelInterface.h"

#include <QIODevice>
#include <QObject>
#include <QPointer>

// What the property-list writer and reader share: the model, reached through the unlocked
// direct interface, and the byte device. The device is not owned, and is never opened or
// closed here: the caller opens it before and closes it after.
//
// Neither direction takes a lock or opens a request. When the model belongs to a document,
// the caller holds the model lock and has a request open, and decides whether the model's
// signals are blocked while a file is read.
class QmdImportExportInterface : public QObject, public QmdDirectModelInterface
{
    Q_OBJECT

public:
    QmdImportExportInterface(QmdModel* model, QIODevice* device, QObject* parent = nullptr);
    ~QmdImportExportInterface() override;

    // The device, or null once it has been destroyed.
    QIODevice* device() const { return m_device.data(); }

private:
    QPointer<QIODevice> m_device;
};

#endif // QMDIMPORTEXPORTINTERFACE_H
