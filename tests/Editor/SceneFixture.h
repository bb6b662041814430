#ifndef SCENEFIXTURE_H
#define SCENEFIXTURE_H

#include "ElementItem.h"
#include "NetworkScene.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "QmdMemModel.h"

#include <QCoreApplication>
#include <QImage>

#include <memory>

// One principal in ticks, and in scene units at 72 dpi.
inline constexpr qint64 P = QmdKelvo::TicksPerPrincipal;
inline constexpr double PrincipalUnits = 120.0;

// The tick geometry of a 72-dpi device, so that one scene unit is one point.
inline void initTickGeometryAt72Dpi()
{
    QImage at72(1, 1, QImage::Format_ARGB32);
    at72.setDotsPerMeterX(2835);
    at72.setDotsPerMeterY(2835);
    QmdKelvo::initTickGeometry(&at72);
}

// Delivers the controller's queued change signals and what the scene posts in answer.
inline void settle()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::sendPostedEvents();
}

// A document and the scene that shows it.
struct SceneFixture
{
    std::unique_ptr<QmdMemModel> model = std::make_unique<QmdMemModel>();
    std::unique_ptr<QmdKelvoController> controller = std::make_unique<QmdKelvoController>();
    std::unique_ptr<NetworkScene> scene;

    SceneFixture()
    {
        controller->setModel(model.get());
        settle();
        scene = std::make_unique<NetworkScene>(nullptr);
        scene->setController(controller.get());
    }
    ~SceneFixture()
    {
        scene.reset();
        controller.reset();
        model.reset();
    }

    QmdItemId addNode(qint64 x, qint64 y)
    {
        QmdItemId id = 0;
        controller->requestAddNode(QmdKelvo::TickPoint {x, y}, QmdKelvo::NoCreationFlags,
                                   QmdRequestOptions(QStringLiteral("Node")), &id);
        settle();
        return id;
    }
    QmdItemId addEdge(QmdItemId from, QmdItemId to, int path = QmdKelvo::CityBlock)
    {
        QmdItemId id = 0;
        controller->requestAddEdge(controller->elementIndex(from), controller->elementIndex(to),
                                   QmdKelvo::EdgePath(path), QmdKelvo::NoCreationFlags,
                                   QmdRequestOptions(QStringLiteral("Edge")), &id);
        settle();
        return id;
    }
    QmdItemId addVoiceGroup(QmdItemId node)
    {
        const QmdItemIdList before = controller->elements();
        controller->requestAddVoiceGroup(controller->elementIndex(node));
        settle();
        for (const QmdItemId id : controller->elements()) {
            if (!before.contains(id))
                return id;
        }
        return 0;
    }
    // The scene's item of an element, as its own class.
    template<class Item>
    Item* itemOf(QmdItemId id) const
    {
        ElementItem* element = scene->elementItem(id);
        return element ? dynamic_cast<Item*>(element->graphicsItem()) : nullptr;
    }
    void setElementData(QmdItemId id, const QString& key, const QVariant& value)
    {
        controller->requestSetData(key, value, controller->elementIndex(id));
        settle();
    }
    void setDocumentData(const QString& key, const QVariant& value)
    {
        controller->requestSetData(key, value, QmdIndex());
        settle();
    }
    // Writes a run-time state of an element, as a voice group does.
    void setElementState(QmdItemId id, const QString& key, const QVariant& value)
    {
        controller->requestSetData(key, value,
                                   controller->index(id, controller->elementStatesRoot()),
                                   QmdRequestOptions(Qmd::NotUndoable, QString()));
        settle();
    }
};

#endif // SCENEFIXTURE_H
