#include "EdgeUsageListEditor.h"

#include "EdgeUsageTile.h"
#include "MarkerPixmap.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoTypes.h"
#include "QmdKelvoUnits.h"

#include <QAction>
#include <QGraphicsScene>
#include <QMenu>
#include <QSpinBox>

#include <algorithm>

namespace K = QmdKelvoKeys;

EdgeUsageListEditor::EdgeUsageListEditor(QWidget* parent)
    : QGraphicsView(parent)
    , m_countEditor(new QSpinBox(viewport()))
    , m_addMenu(new QMenu(this))
{
    setScene(new QGraphicsScene(this));
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setViewportMargins(1, 1, 1, 1);

    m_countEditor->setRange(0, 99);
    m_countEditor->setSpecialValueText(QString(QChar(0x221E)));
    m_countEditor->setFrame(false);
    m_countEditor->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_countEditor->hide();
    connect(m_countEditor, &QSpinBox::editingFinished, this,
            &EdgeUsageListEditor::onEditingFinished);
    connect(m_addMenu, &QMenu::triggered, this, &EdgeUsageListEditor::onAddActionTriggered);
    rebuildAddMenu();
}

EdgeUsageListEditor::~EdgeUsageListEditor()
{
    // The count editor, losing the focus as it goes, finishes its editing no more.
    disconnect(m_countEditor, nullptr, this, nullptr);
    // The tiles go before the scene that holds them.
    qDeleteAll(m_tiles);
}

void EdgeUsageListEditor::setController(QmdKelvoController* newController)
{
    if (controller)
        disconnect(controller, nullptr, this, nullptr);
    QmdObserver<QmdKelvoController>::setController(newController);
    if (controller) {
        using IdSignal
            = void (QmdController::*)(const QmdIndex&, const QmdItemIdList&, QmdRequestId);
        using KeySignal
            = void (QmdController::*)(const QmdIndex&, const QStringList&, QmdRequestId);
        for (IdSignal signal :
             {IdSignal(&QmdController::itemsChanged), IdSignal(&QmdController::itemsRemoved)})
            connect(controller, signal, this,
                    [this](const QmdIndex& parent) { onItemsChangedOrRemoved(parent); });
        for (KeySignal signal :
             {KeySignal(&QmdController::itemsChanged), KeySignal(&QmdController::itemsRemoved)})
            connect(controller, signal, this, &EdgeUsageListEditor::onNodeKeysChanged);
        connect(controller, &QmdController::modelReset, this, &EdgeUsageListEditor::onModelReset);
    }
    m_nodeId = 0;
    m_node = QmdIndex();
    sync();
}

void EdgeUsageListEditor::setNode(QmdItemId nodeId)
{
    m_nodeId = nodeId;
    m_node = controller ? controller->elementIndex(nodeId) : QmdIndex();
    sync();
}

void EdgeUsageListEditor::sync()
{
    rebuildTiles();
    rebuildAddMenu();
}

QString EdgeUsageListEditor::tilesText() const
{
    QStringList entries;
    for (const EdgeUsageTile* tile : m_tiles)
        entries << QStringLiteral("%1=%2").arg(tile->edgeId()).arg(tile->count());
    return entries.join(QLatin1Char(','));
}

bool EdgeUsageListEditor::canEdit() const
{
    return controller && m_node.isValid();
}

QString EdgeUsageListEditor::storedText() const
{
    return canEdit() ? controller->data(K::ArcUsageList, m_node).toString() : QString();
}

int EdgeUsageListEditor::tileHeight() const
{
    return maximumViewportSize().height() - 1;
}

void EdgeUsageListEditor::updateSceneWidth()
{
    const int n = int(m_tiles.size());
    const qreal width = n > 0 ? EdgeUsageTile::slotX(n) - EdgeUsageTile::Gap : 0;
    scene()->setSceneRect(0, 0, width, qMax(tileHeight(), 0));
}

void EdgeUsageListEditor::rebuildTiles()
{
    qDeleteAll(m_tiles);
    m_tiles.clear();
    m_editedTile = nullptr;
    m_countEditor->hide();

    if (canEdit()) {
        const int height = tileHeight();
        const QStringList entries = storedText().split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString& entry : entries) {
            const QmdItemId edgeId = QmdKelvo::arcUsageEdgeId(entry);
            auto* tile = new EdgeUsageTile(this, edgeId, controller->edgeMarker(m_nodeId, edgeId),
                                           EdgeUsageTile::Width, height);
            m_tiles.append(tile);
            connect(tile, &EdgeUsageTile::editTriggered, this,
                    &EdgeUsageListEditor::onEditTriggered);
            connect(tile, &EdgeUsageTile::visualizeMove, this,
                    &EdgeUsageListEditor::onVisualizeTileMove);
            connect(tile, &EdgeUsageTile::moveFinished, this,
                    &EdgeUsageListEditor::onTileMoveFinished);
            connect(tile, &EdgeUsageTile::removeTriggered, this,
                    &EdgeUsageListEditor::onRemoveTriggered);
            tile->moveToSlot(false);
            tile->setCount(QmdKelvo::arcUsageCount(entry));
        }
    }
    viewport()->update();
    updateSceneWidth();
}

void EdgeUsageListEditor::rebuildAddMenu()
{
    m_addMenu->clear();
    if (canEdit()) {
        const QmdIndex arcs = controller->index(K::ArcIdentifiers, m_node);
        QmdItemIdList edges = arcs.isValid() ? controller->idList(arcs) : QmdItemIdList();
        std::sort(edges.begin(), edges.end());
        for (QmdItemId edge : edges) {
            const int marker = controller->data(edge, arcs).toInt();
            QAction* action = m_addMenu->addAction(
                QIcon(Kelvo::markerPixmap(QmdKelvo::paletteColor(marker), 16, 22)),
                QmdKelvo::paletteColorName(marker));
            action->setData(uint(edge));
        }
    }
    if (m_addMenu->isEmpty())
        m_addMenu->addAction(tr("(no edges)"))->setEnabled(false);
}

void EdgeUsageListEditor::writeList()
{
    if (!canEdit())
        return;
    // A gesture that leaves the list as it is (a click, a drop on the tile's own slot, the
    // same count) makes no undo step.
    const QString text = tilesText();
    if (text == storedText())
        return;
    controller->requestSetData(K::ArcUsageList, text, m_node, QmdRequestOptions(tr("Edge Usage")));
}

void EdgeUsageListEditor::onEditTriggered(EdgeUsageTile* tile)
{
    m_editedTile = tile;
    if (!tile) {
        m_countEditor->hide();
        return;
    }
    m_countEditor->setValue(tile->count());
    m_countEditor->resize(40, maximumViewportSize().height() - 2);
    m_countEditor->move(mapFromScene(QPointF(tile->x(), 0)) + QPoint(1, 1));
    m_countEditor->show();
    m_countEditor->setFocus();
}

void EdgeUsageListEditor::onEditingFinished()
{
    if (m_countEditor->isVisible()) {
        const bool blocked = m_countEditor->blockSignals(true);
        m_countEditor->hide();
        m_countEditor->blockSignals(blocked);
    }
    if (m_editedTile) {
        m_editedTile->setCount(m_countEditor->value());
        m_editedTile = nullptr;
        writeList();
    }
}

void EdgeUsageListEditor::onVisualizeTileMove(EdgeUsageTile* tile, int to)
{
    const int from = int(m_tiles.indexOf(tile));
    if (from < 0)
        return;
    m_tiles.removeAt(from);
    m_tiles.insert(qBound(0, to, int(m_tiles.size())), tile);
    // The dragged tile stays under the mouse; the others make room.
    for (int i = 0; i < m_tiles.size(); ++i) {
        EdgeUsageTile* other = m_tiles.at(i);
        if (other != tile && (other->x() != EdgeUsageTile::slotX(i) || other->isSliding()))
            other->moveToSlot(true);
    }
}

void EdgeUsageListEditor::onTileMoveFinished(EdgeUsageTile* tile)
{
    if (!canEdit())
        return;
    tile->moveToSlot(false);
    ensureVisible(tile, 50, 50);
    updateSceneWidth();
    writeList();
}

void EdgeUsageListEditor::onRemoveTriggered(EdgeUsageTile* tile)
{
    if (!canEdit() || !m_tiles.contains(tile))
        return;
    m_tiles.removeAll(tile);
    // Deleted later: the tile is inside its own key handling.
    tile->hide();
    tile->deleteLater();
    for (EdgeUsageTile* other : std::as_const(m_tiles))
        other->moveToSlot(true);
    updateSceneWidth();
    writeList();
    viewport()->update();
}

void EdgeUsageListEditor::onAddActionTriggered(QAction* action)
{
    bool ok = false;
    const uint edgeId = action ? action->data().toUInt(&ok) : 0;
    if (!ok || !canEdit())
        return;
    // The new entry, used once, goes last; an edge may be listed more than once.
    QString text = storedText();
    if (!text.isEmpty())
        text += QLatin1Char(',');
    text += QStringLiteral("%1=1").arg(edgeId);
    controller->requestSetData(K::ArcUsageList, text, m_node, QmdRequestOptions(tr("Edge Usage")));
    rebuildTiles();
}

void EdgeUsageListEditor::onItemsChangedOrRemoved(const QmdIndex& parent)
{
    if (parent.key() != K::ArcIdentifiers)
        return;
    rebuildAddMenu();
    // A marker of the shown node changed its colour, or an edge came or went.
    if (canEdit() && parent == controller->index(K::ArcIdentifiers, m_node))
        rebuildTiles();
}

void EdgeUsageListEditor::onNodeKeysChanged(const QmdIndex& parent, const QStringList& keys)
{
    if (!canEdit() || parent != m_node)
        return;
    if (keys.contains(K::ArcIdentifiers)) {
        sync();
    } else if (keys.contains(K::ArcUsageList) && storedText() != tilesText()) {
        // An undo, a redo or an edge's removal; the editor's own writes leave the tiles be,
        // so that a slide goes on.
        rebuildTiles();
    }
}

void EdgeUsageListEditor::onModelReset()
{
    m_node = controller ? controller->elementIndex(m_nodeId) : QmdIndex();
    sync();
}

void EdgeUsageListEditor::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    // Tiles are as high as the viewport: built before the view had its size, they are built
    // again.
    if (!m_tiles.isEmpty() && m_tiles.first()->pixmap().height() != tileHeight())
        rebuildTiles();
    else
        updateSceneWidth();
}
