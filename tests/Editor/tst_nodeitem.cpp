#include "GraphicsNodeItem.h"
#include "SceneFixture.h"

#include <QFontMetricsF>
#include <QGraphicsSimpleTextItem>
#include <QPainter>
#include <QSet>
#include <QStyleOptionGraphicsItem>
#include <QTest>

#include <cmath>

namespace K = QmdKelvoKeys;

namespace {

const QColor Paper(Qt::white);
const QColor NodeColor(128, 128, 128);
const QList<QColor> VoiceColors {QColor(255, 0, 0),   QColor(0, 160, 0),   QColor(0, 0, 255),
                                 QColor(255, 200, 0), QColor(0, 200, 200), QColor(160, 0, 160),
                                 QColor(90, 50, 20)};

// The node drawn ten times its size, without antialiasing, centred in the picture.
struct NodePicture
{
    static constexpr int Size = 300;
    static constexpr double Zoom = 10.0;
    QImage image {Size, Size, QImage::Format_ARGB32};

    explicit NodePicture(GraphicsNodeItem* node)
    {
        image.fill(Paper);
        QPainter painter(&image);
        painter.translate(Size / 2, Size / 2);
        painter.scale(Zoom, Zoom);
        QStyleOptionGraphicsItem option;
        node->paint(&painter, &option, nullptr);
    }
    // The colour at a distance from the centre (in node units) and an angle in degrees,
    // counter-clockwise from 3 o'clock.
    QColor at(double radius, double degrees) const
    {
        const double a = degrees * M_PI / 180.0;
        return image.pixelColor(int(std::lround(Size / 2 + Zoom * radius * std::cos(a))),
                                int(std::lround(Size / 2 - Zoom * radius * std::sin(a))));
    }
};

struct NodeDocument : SceneFixture
{
    GraphicsNodeItem* node = nullptr;
    QmdItemId id = 0;
    NodeDocument()
    {
        setDocumentData(K::StyleNodesColor, NodeColor);
        id = addNode(0, 0);
        node = static_cast<GraphicsNodeItem*>(scene->elementItem(id)->graphicsItem());
        // Drawn unselected, with the thin ring.
        scene->clearSelection();
    }
    void setVoices(int count)
    {
        node->clearVoiceGroupColors(true);
        for (int i = 0; i < count; ++i)
            node->setVoiceGroupColor(7000 + uint(i % 2), uint(i), VoiceColors.at(i), true);
    }
};

} // namespace

class TestNodeItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTickGeometryAt72Dpi(); }

    void theCircleIsDividedAmongTheVoices_data()
    {
        QTest::addColumn<int>("voices");
        QTest::addColumn<double>("firstStart"); // degrees
        QTest::newRow("2") << 2 << 45.0;
        QTest::newRow("3") << 3 << 0.0;
        QTest::newRow("4") << 4 << 45.0;
        QTest::newRow("7") << 7 << 0.0;
    }

    void theCircleIsDividedAmongTheVoices()
    {
        QFETCH(int, voices);
        QFETCH(double, firstStart);
        NodeDocument d;
        d.setVoices(voices);
        QCOMPARE(d.node->segmentCount(), voices);
        const NodePicture picture(d.node);

        // One segment of 5760 / n sixteenths of a degree per voice, each in its own colour.
        const double span = double(5760 / voices) / 16.0;
        QSet<QRgb> seen;
        for (int i = 0; i < voices; ++i) {
            const QColor color = picture.at(6.0, firstStart + span * (i + 0.5));
            QVERIFY2(VoiceColors.mid(0, voices).contains(color), qPrintable(color.name()));
            seen.insert(color.rgb());
        }
        QCOMPARE(seen.size(), voices);
        // The first segment starts where it should: either side of its edge (and of the stroke
        // along it) differ.
        QVERIFY(picture.at(6.0, firstStart - 12.0) != picture.at(6.0, firstStart + 12.0));
    }

    void oneVoiceFillsTheCircle()
    {
        NodeDocument d;
        d.setVoices(1);
        const NodePicture picture(d.node);
        for (const double degrees : {0.0, 45.0, 100.0, 200.0, 300.0})
            QCOMPARE(picture.at(6.0, degrees), VoiceColors.first());
        QCOMPARE(picture.at(0.0, 0.0), VoiceColors.first());

        // Without voices the node's translucent fill shows.
        d.node->clearVoiceGroupColors(false);
        const QColor fill = NodePicture(d.node).at(6.0, 30.0);
        QVERIFY2(fill != VoiceColors.first() && fill != Paper && fill != NodeColor,
                 qPrintable(fill.name()));
    }

    void segmentsOfGroupsThatPlayNoNotesAreHatched()
    {
        NodeDocument d;
        // The scene's item of the group answers whether it plays; any element item does.
        const QmdItemId silent = d.addNode(P, 0);
        d.setElementData(silent, K::DontPlayNote, true);
        QVERIFY(d.scene->elementItem(silent)->dontPlayNote());

        auto colorsInSegment = [&](QmdItemId group) {
            d.node->clearVoiceGroupColors(true);
            d.node->setVoiceGroupColor(group, 1, VoiceColors.at(0), true);
            d.node->setVoiceGroupColor(99999, 2, VoiceColors.at(1), false);
            const NodePicture picture(d.node);
            QSet<QRgb> colors;
            for (double r = 2.0; r < 8.0; r += 0.25) {
                for (double a = 0.0; a < 360.0; a += 3.0) {
                    const QColor c = picture.at(r, a);
                    if (c != VoiceColors.at(1) && c != NodeColor)
                        colors.insert(c.rgb());
                }
            }
            return colors;
        };
        QCOMPARE(colorsInSegment(d.id), QSet<QRgb>({VoiceColors.at(0).rgb()}));
        QCOMPARE(colorsInSegment(silent), QSet<QRgb>({VoiceColors.at(0).rgb(), Paper.rgb()}));
    }

    void aSelectedSilentNodeHasADashedWideRing()
    {
        NodeDocument d;
        auto ringSamples = [&] {
            const NodePicture picture(d.node);
            int pen = 0;
            for (double a = 0.0; a < 360.0; a += 2.0)
                pen += picture.at(10.0, a) == NodeColor ? 1 : 0;
            return std::pair<int, bool>(pen, picture.at(11.2, 20.0) == NodeColor);
        };
        d.node->setSelected(true);
        const auto [solid, solidIsWide] = ringSamples();
        QCOMPARE(solid, 180);
        QVERIFY(solidIsWide);
        d.setElementData(d.id, K::DontPlayNote, true);
        QVERIFY(d.node->dontPlayNote());
        // Round caps shorten the gaps of the 4-unit dashes.
        const int dashed = ringSamples().first;
        QVERIFY2(dashed > 100 && dashed < 175, qPrintable(QString::number(dashed)));
        d.node->setSelected(false);
        QVERIFY(NodePicture(d.node).at(11.2, 20.0) != NodeColor);
    }

    void theLabelShowsCounterAndLastNotes()
    {
        NodeDocument d;
        GraphicsNodeItem* node = d.node;
        QGraphicsSimpleTextItem* label = node->label();
        QVERIFY(!label->isVisible());
        node->setHitCount(12);
        node->setLastNotesSent(QStringLiteral("C3 E3"));
        node->setShowHitCount(true);
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), QStringLiteral("12"));
        const QPointF oneLine = label->pos();
        // Its last line starts on the circle at 45 degrees.
        const QFontMetricsF metrics(label->font());
        QCOMPARE(oneLine.x(), 10.0 * std::sqrt(0.5));
        QCOMPARE(oneLine.y() + metrics.height(), -10.0 * std::sqrt(0.5));

        node->setShowLastNotesSent(true);
        QCOMPARE(label->text(), QStringLiteral("12\nC3 E3"));
        QCOMPARE(label->pos().x(), oneLine.x());
        QCOMPARE(label->pos().y(), oneLine.y() - metrics.lineSpacing());

        node->setShowHitCount(true);
        QCOMPARE(label->text(), QStringLiteral("12\nC3 E3"));
        node->setShowHitCount(false);
        QCOMPARE(label->text(), QStringLiteral("C3 E3"));
        QVERIFY(label->isVisible());
        node->setShowLastNotesSent(false);
        QVERIFY(!label->isVisible());
        // Empty last notes add no line.
        node->setLastNotesSent(QString());
        node->setShowHitCount(true);
        node->setShowLastNotesSent(true);
        QCOMPARE(label->text(), QStringLiteral("12"));
    }

    void theToolTipWrapsLongNotes()
    {
        QCOMPARE(GraphicsNodeItem::wrappedNotes(QStringLiteral("C3:96:100%, D3:96:100%, E3")),
                 QStringLiteral("C3:96:100%, D3:96:100%, E3"));
        const QString noLateComma = QStringLiteral("C3:96:100%, D3:96:100% E3:96:100% F3:96:100%");
        QCOMPARE(GraphicsNodeItem::wrappedNotes(noLateComma), noLateComma);
        QCOMPARE(GraphicsNodeItem::wrappedNotes(
                     QStringLiteral("C3:96:100%, D3:96:100%, E3:96:100%, F3:96:100%")),
                 QStringLiteral("C3:96:100%, D3:96:100%, E3:96:100%,\n F3:96:100%"));
        const QString twice = QString(31, QLatin1Char('a')) + QLatin1Char(',')
            + QString(31, QLatin1Char('b')) + QLatin1Char(',') + QStringLiteral("c");
        QCOMPARE(GraphicsNodeItem::wrappedNotes(twice),
                 QString(31, QLatin1Char('a')) + QStringLiteral(",\n")
                     + QString(31, QLatin1Char('b')) + QStringLiteral(",\nc"));

        NodeDocument d;
        QCOMPARE(d.node->toolTip(), QStringLiteral("C3:96:100%"));
        d.setElementData(d.id, K::Notes,
                         QStringLiteral("C3:96:100%, D3:96:100%, E3:96:100%, F3:96:100%"));
        QCOMPARE(d.node->toolTip(),
                 QStringLiteral("C3:96:100%, D3:96:100%, E3:96:100%,\n F3:96:100%"));
    }

    void theSignallingMethodIsFollowed()
    {
        NodeDocument d;
        QCOMPARE(d.node->signallingMethod(), 0);
        const QImage sequential = NodePicture(d.node).image;
        for (const int method : {1, 2}) {
            d.setElementData(d.id, K::SignallingMethod, method);
            QCOMPARE(d.node->signallingMethod(), method);
            QVERIFY(NodePicture(d.node).image != sequential);
        }
    }
};

QTEST_MAIN(TestNodeItem)
#include "tst_nodeitem.moc"
