#ifndef INSPECTORTESTDOCUMENT_H
#define INSPECTORTESTDOCUMENT_H

#include "QmdKelvoController.h"
#include "QmdKelvoUnits.h"

#include <QCoreApplication>

// Building documents for the inspector's tests through the controller's requests.
namespace InspectorTestDocument {

// Delivers the controller's queued change signals and what they post in turn.
inline void settle()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::sendPostedEvents();
}

inline QmdItemId addNode(QmdKelvoController* c, qint64 x)
{
    QmdItemId id = 0;
    c->requestAddNode(QmdKelvo::TickPoint {x * QmdKelvo::TicksPerPrincipal, 0},
                      QmdKelvo::NoCreationFlags, QmdRequestOptions(QStringLiteral("Node")), &id);
    return id;
}

// The elements of the document of fill(), by type.
struct Elements
{
    QmdItemIdList nodes;
    QmdItemIdList edges;
    QmdItemIdList voiceGroups;
    QmdItemIdList textBoxes;
};

// A document of three nodes, two edges, one voice group, two text boxes and two instruments.
inline Elements fill(QmdKelvoController* c)
{
    Elements elements;
    const QmdItemId a = addNode(c, 0);
    const QmdItemId b = addNode(c, 1);
    elements.nodes = {a, b, addNode(c, 2)};
    c->requestAddEdge(c->elementIndex(a), c->elementIndex(b));
    c->requestAddEdge(c->elementIndex(b), c->elementIndex(a));
    c->requestAddVoiceGroup(c->elementIndex(a));
    c->requestAddTextBox(QmdKelvo::TickPoint {0, QmdKelvo::TicksPerPrincipal});
    c->requestAddTextBox(QmdKelvo::TickPoint {0, 2 * QmdKelvo::TicksPerPrincipal});
    c->requestAddInstrument();
    c->requestAddInstrument();
    settle();
    for (const QmdItemId id : c->elements()) {
        switch (c->elementType(id)) {
        case QmdKelvo::EdgeElement:
            elements.edges.append(id);
            break;
        case QmdKelvo::VoiceGroupElement:
            elements.voiceGroups.append(id);
            break;
        case QmdKelvo::TextBoxElement:
            elements.textBoxes.append(id);
            break;
        default:
            break;
        }
    }
    return elements;
}

} // namespace InspectorTestDocument

#endif // INSPECTORTESTDOCUMENT_H
