#ifndef NETWORKSCENE_H
#define NETWORKSCENE_H

#include "QmdGlobal.h"
#include "QmdObserver.h"

#include <QGraphicsScene>
#include <QRectF>

class QmdKelvoController;

// The graphics scene of one document window: one item per element of the document.
class NetworkScene : public QGraphicsScene, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    explicit NetworkScene(QObject* parent);
    ~NetworkScene() override;

    // Attaches the scene to a document.
    void setController(QmdKelvoController* controller) override;

    // The element ids of the selected items.
    const QmdItemIdSet& selectedElementIds() const;

    // The extent of the scene's contents, in scene coordinates.
    QRectF sceneContentsRect() const { return m_sceneContentsRect; }

public slots:
    void setSceneContentsRect(const QRectF& rect);
    // Shows the playback feedback that has come due.
    void checkFeedbackPipe();

signals:
    void sceneContentsRectChanged(const QRectF& rect);
    void aboutToReset();

private:
    QmdItemIdSet selectedIds;
    QRectF m_sceneContentsRect;
};

#endif // NETWORKSCENE_H
