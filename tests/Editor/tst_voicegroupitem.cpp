#include "GraphicsVoiceGroupItem.h"
#include "SceneFixture.h"

#include <QBitArray>
#include <QFontMetricsF>
#include <QGraphicsSimpleTextItem>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTest>

namespace K = QmdKelvoKeys;

namespace {

const QColor Red(255, 0, 0);
const QColor Blue(0, 0, 255);
const QColor AnnotationColor(200, 100, 0);

// A node with a voice group, in a document of two instruments; the group plays the first.
struct GroupDocument : SceneFixture
{
    QmdItemId first = 0;
    QmdItemId second = 0;
    QmdItemId node = 0;
    QmdItemId group = 0;
    GraphicsVoiceGroupItem* item = nullptr;

    GroupDocument()
    {
        setDocumentData(K::StyleAnnotationColor, AnnotationColor);
        controller->requestAddInstrument(QStringLiteral("Lead"), Red, QBitArray(16, true));
        controller->requestAddInstrument(QStringLiteral("Bass"), Blue, QBitArray(16, true));
        settle();
        first = controller->instruments().at(0);
        second = controller->instruments().at(1);
        node = addNode(P, P);
        group = addVoiceGroup(node);
        item = itemOf<GraphicsVoiceGroupItem>(group);
        scene->clearSelection();
        settle();
    }
    void setInstrumentData(QmdItemId instrument, const QString& key, const QVariant& value)
    {
        controller->requestSetData(key, value, controller->instrumentIndex(instrument));
        settle();
    }
};

// The item drawn four times its size around its node's centre.
QImage picture(GraphicsVoiceGroupItem* item, QStyle::State state = QStyle::State_None)
{
    QImage image(160, 120, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(140, 60);
    painter.scale(4, 4);
    QStyleOptionGraphicsItem option;
    option.state = state;
    item->paint(&painter, &option, nullptr);
    return image;
}

} // namespace

class TestVoiceGroupItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTickGeometryAt72Dpi(); }

    void itSitsOnItsStartNode()
    {
        GroupDocument d;
        QCOMPARE(d.item->toNode(), uint(d.node));
        QCOMPARE(d.item->pos(), QPointF(PrincipalUnits, PrincipalUnits));
        // A triangle whose tip touches the node's circle from the left.
        const QRectF marker = d.item->path().boundingRect();
        QCOMPARE(marker, QRectF(-27, -12, 17, 24));
        QVERIFY(d.item->path().contains(QPointF(-11, 0)));
        QVERIFY(!d.item->path().contains(QPointF(-11, 5)));
    }

    void theFillFollowsVoicesAndPulse()
    {
        GroupDocument d;
        QCOMPARE(d.item->instrumentColor(), Red);
        QCOMPARE(d.item->pen().color(), Red);
        QCOMPARE(d.item->brush().style(), Qt::SolidPattern);
        QCOMPARE(d.item->brush().color().rgb(), Red.rgb());
        QVERIFY(qAbs(d.item->brush().color().alphaF() - 0.3) < 0.001);
        d.item->setPlaying(2);
        QCOMPARE(d.item->activeVoiceCount(), 2);
        QVERIFY(qAbs(d.item->brush().color().alphaF() - 0.7) < 0.001);
        d.item->setPulseValue(0.2);
        QCOMPARE(d.item->pulseValue(), 0.2);
        QVERIFY(qAbs(d.item->brush().color().alphaF() - 0.14) < 0.001);
        d.item->setPlaying(0);
        QVERIFY(qAbs(d.item->brush().color().alphaF() - 0.06) < 0.001);

        // A colour as a file gives it, by name; a name of no colour gives none.
        d.setInstrumentData(d.first, K::Color, QStringLiteral("#00ff00"));
        QCOMPARE(d.item->instrumentColor(), QColor(Qt::green));
        d.setInstrumentData(d.first, K::Color, QStringLiteral("loud"));
        QVERIFY(!d.item->instrumentColor().isValid());

        // A translucent instrument colour scales the same way; the outline stays opaque.
        d.setInstrumentData(d.first, K::Color, QColor(0, 255, 0, 128));
        QVERIFY(qAbs(d.item->brush().color().alphaF() - 128.0 / 255 * 0.06) < 0.001);
        QCOMPARE(d.item->pen().color(), QColor(0, 255, 0));
    }

    void aGroupThatPlaysNoNotesIsHatched()
    {
        GroupDocument d;
        QVERIFY(!d.item->dontPlayNote());
        d.setElementData(d.group, K::DontPlayNote, true);
        QVERIFY(d.item->dontPlayNote());
        QCOMPARE(d.item->brush().style(), Qt::FDiagPattern);
        QCOMPARE(d.item->pen().style(), Qt::CustomDashLine);
        QCOMPARE(d.item->pen().dashPattern(), QList<qreal>({4.0, 4.0}));
        // Selected, the dashes keep their drawn length.
        d.item->setSelected(true);
        QCOMPARE(d.item->pen().widthF(), 3.0);
        QCOMPARE(d.item->pen().dashPattern().first() * 3.0, 4.0);
        d.setElementData(d.group, K::DontPlayNote, false);
        QCOMPARE(d.item->brush().style(), Qt::SolidPattern);
        QCOMPARE(d.item->pen().style(), Qt::SolidLine);
    }

    void selectionTriplesTheOutline()
    {
        GroupDocument d;
        QCOMPARE(d.item->pen().widthF(), 1.0);
        const QImage plain = picture(d.item);
        d.item->setSelected(true);
        QCOMPARE(d.item->pen().widthF(), 3.0);
        // No frame: the selected state of the option changes nothing.
        QCOMPARE(picture(d.item, QStyle::State_Selected), picture(d.item));
        QVERIFY(picture(d.item) != plain);
        d.item->setSelected(false);
        QCOMPARE(d.item->pen().widthF(), 1.0);
        QCOMPARE(picture(d.item), plain);
    }

    void theTriggerLabelShowsThePitches()
    {
        GroupDocument d;
        QGraphicsSimpleTextItem* label = d.item->triggerLabel();
        QVERIFY(!label->isVisible());
        QCOMPARE(label->brush().color(), AnnotationColor);
        d.setElementData(d.group, K::TriggeringMidiPitchList, QStringLiteral("C3 E3 G3"));
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), QStringLiteral("C3 E3 G3"));
        // Centred over the triangle, its bottom above the triangle's top.
        QVERIFY(qFuzzyCompare(label->pos().x() + label->boundingRect().width() / 2, -18.5));
        QVERIFY(qFuzzyCompare(label->pos().y() + QFontMetricsF(label->font()).height(), -24 * 0.7));
        QCOMPARE(label->font().pointSize(), 12);
        d.setElementData(d.group, K::TriggeringMidiPitchList, QString());
        QVERIFY(!label->isVisible());

        d.setDocumentData(K::StyleAnnotationColor, QColor(Qt::green));
        QCOMPARE(label->brush().color(), QColor(Qt::green));
        QCOMPARE(d.item->alertLabel()->brush().color(), QColor(Qt::white));
    }

    void theAlertLabel()
    {
        GroupDocument d;
        QGraphicsSimpleTextItem* alert = d.item->alertLabel();
        QVERIFY(!d.item->isAlertLabelVisible());
        d.item->setAlertLabelVisible(true);
        QVERIFY(d.item->isAlertLabelVisible());
        QCOMPARE(alert->text(), QStringLiteral("!"));
        QCOMPARE(alert->font().pointSize(), 16);
        QCOMPARE(alert->font().weight(), QFont::Bold);
        QVERIFY(alert->graphicsEffect());
        QVERIFY(qFuzzyCompare(alert->pos().x() + alert->boundingRect().width() / 2,
                              -10 - 10.96774193548387));
        d.item->setAlertLabelVisible(false);
        QVERIFY(!d.item->isAlertLabelVisible());
    }

    void anInstrumentReachesOnlyItsGroups()
    {
        GroupDocument d;
        const QmdItemId other = d.addVoiceGroup(d.node);
        d.setElementData(other, K::InitialInstrument, uint(d.second));
        GraphicsVoiceGroupItem* otherItem = d.itemOf<GraphicsVoiceGroupItem>(other);
        QCOMPARE(otherItem->instrumentColor(), Blue);
        QCOMPARE(otherItem->toolTip(), QStringLiteral("Bass"));

        d.setInstrumentData(d.first, K::Color, QColor(Qt::yellow));
        QCOMPARE(d.item->instrumentColor(), QColor(Qt::yellow));
        QCOMPARE(otherItem->instrumentColor(), Blue);
        d.setInstrumentData(d.first, K::Label, QStringLiteral("Melody"));
        QCOMPARE(d.item->toolTip(), QStringLiteral("Melody"));
        QCOMPARE(otherItem->toolTip(), QStringLiteral("Bass"));

        // Other keys of the instrument are not read again: the tool tip set here stays.
        d.item->setToolTip(QStringLiteral("untouched"));
        d.setInstrumentData(d.first, K::MidiPort, QStringLiteral("Some Port"));
        QCOMPARE(d.item->toolTip(), QStringLiteral("untouched"));
        d.scene->onInstrumentDataEffected(d.second, {K::Color}, 0);
        QCOMPARE(d.item->toolTip(), QStringLiteral("untouched"));
        d.scene->onInstrumentDataEffected(d.first, {K::Color}, 0);
        QCOMPARE(d.item->toolTip(), QStringLiteral("Melody"));
    }

    void aRemovedInstrumentLeavesNoColour()
    {
        GroupDocument d;
        d.controller->requestRemove(d.first, d.controller->index(K::Instruments, QmdIndex()));
        settle();
        QCOMPARE(
            d.controller->data(K::InitialInstrument, d.controller->elementIndex(d.group)).toUInt(),
            0u);
        QVERIFY(!d.item->instrumentColor().isValid());
        QVERIFY(d.item->toolTip().isEmpty());
        // Undone, it comes back.
        d.controller->requestUndo();
        settle();
        QCOMPARE(d.item->instrumentColor(), Red);
    }

    void anOwnTickPosDoesNotMoveTheGroup()
    {
        GroupDocument d;
        d.setElementData(d.group, K::TickPos, QVariant::fromValue(QmdKelvo::TickPoint {0, 0}));
        QCOMPARE(d.item->pos(), QPointF(PrincipalUnits, PrincipalUnits));
        d.setElementData(d.group, K::IsHidden, true);
        QVERIFY(!d.item->isVisible());
    }

    void previewGroups()
    {
        GroupDocument d;
        GraphicsVoiceGroupItem preview(d.scene.get());
        QCOMPARE(preview.type(), int(VoiceGroupItemType));
        QCOMPARE(preview.type(), 0x10003);
        QCOMPARE(preview.elementId(), QmdItemId(0));
        QVERIFY(!preview.elementController());
        QCOMPARE(preview.scene(), d.scene.get());
        QVERIFY(preview.flags() & QGraphicsItem::ItemIsSelectable);
        QCOMPARE(preview.cacheMode(), QGraphicsItem::DeviceCoordinateCache);
        // The colours it shows until it reads an instrument, which it never does.
        QCOMPARE(preview.pen().color(), QColor(44, 101, 169));
        QCOMPARE(preview.brush().color(), QColor(170, 200, 255, 127));
        QCOMPARE(preview.triggerLabel()->brush().color(), AnnotationColor);
        preview.elementDataEffected(0, {K::ToNode, K::InitialInstrument, K::IsHidden}, 0);
        preview.instrumentDataEffected(d.first, {K::Color}, 0);
        preview.updateInstrument(d.first);
        QCOMPARE(preview.pen().color(), QColor(44, 101, 169));
        QCOMPARE(preview.toNode(), 0u);
        QVERIFY(preview.isVisible());

        auto* child = new GraphicsVoiceGroupItem(d.scene.get(), &preview);
        QCOMPARE(child->parentItem(), &preview);
    }

    void aGroupWhoseControllerWent()
    {
        GroupDocument d;
        QGraphicsScene plain;
        auto* group = new GraphicsVoiceGroupItem(d.group, d.controller.get(), &plain);
        group->elementDataEffected(d.group, {K::ToNode, K::InitialInstrument}, 0);
        QCOMPARE(group->pos(), QPointF(PrincipalUnits, PrincipalUnits));
        QCOMPARE(group->instrumentColor(), Red);
        d.scene->setController(nullptr);
        d.controller.reset();
        group->elementDataEffected(d.group, {K::ToNode, K::InitialInstrument}, 0);
        group->instrumentDataEffected(d.first, {K::Color}, 0);
        group->updateInstrument(d.first);
        QCOMPARE(group->pos(), QPointF(PrincipalUnits, PrincipalUnits));
        QCOMPARE(group->instrumentColor(), Red);
        QCOMPARE(group->toNode(), uint(d.node));
    }
};

QTEST_MAIN(TestVoiceGroupItem)
#include "tst_voicegroupitem.moc"
