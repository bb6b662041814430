#ifndef NETWORKVIEW_H
#define NETWORKVIEW_H

#include "QmdKelvoTypes.h"
#include "QmdObserver.h"

#include <QGraphicsView>
#include <QPointer>

class NetworkScene;
class QmdKelvoController;

// The editor view of one document window, on the window's scene.
class NetworkView : public QGraphicsView, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    // The editing tools, as the run-time document key "Tool" stores them.
    enum Tool {
        SelectionTool = 0,
        ZoomTool = 1,
        NodeAndEdgeTool = 2,
        VoiceGroupTool = 3,
        TextBoxTool = 4,
    };

    explicit NetworkView(QWidget* parent);
    ~NetworkView() override;

    // Shows the scene and follows its contents rectangle.
    void setScene(NetworkScene* scene);
    // Attaches the view to a document; the view follows its "ZoomScale" and "Tool".
    void setController(QmdKelvoController* controller) override;
    // The object whose slots cut(), copy(), paste(), del() and selectAll() the view's edit
    // commands call (the document window).
    void setActionTarget(QObject* target);

    // The tick position of the centre of the viewport, not snapped to the grid.
    QmdKelvo::TickPoint tickPointAt() const;

private:
    QPointer<QObject> actionTarget;
    QPointer<NetworkScene> networkScene;
};

#endif // NETWORKVIEW_H
