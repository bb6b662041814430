#include "GraphicsNodeItem.h"
#include "SceneFixture.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

namespace K = QmdKelvoKeys;

// The scene paints without the document's lock, which voice-group threads hold while they
// step. (The picture is kept small: larger ones have Qt paint on threads of its own, which
// the thread sanitizer cannot follow.)
class TestSceneLocking : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTickGeometryAt72Dpi(); }

    void paintingWaitsForNoLock()
    {
        SceneFixture f;
        f.controller->requestToggleShowNodeCounters();
        QmdItemIdList nodes;
        for (int i = 0; i < 40; ++i)
            nodes.append(f.addNode(P * (i % 8), P * (i / 8)));
        const QmdItemId first = nodes.first();
        f.controller->requestAddVoiceGroup(f.controller->elementIndex(first));
        settle();
        const QmdItemId group = f.controller->elements().last();
        f.setElementData(group, K::DontPlayNote, true);
        // Edges, one of them a wormhole, with their labels.
        f.setDocumentData(K::ShowEdgeSignalling, true);
        for (int i = 0; i < 8; ++i) {
            f.controller->requestAddEdge(f.controller->elementIndex(nodes.at(i)),
                                         f.controller->elementIndex(nodes.at(i + 9)));
        }
        f.controller->requestAddEdge(f.controller->elementIndex(first),
                                     f.controller->elementIndex(nodes.at(1)));
        settle();
        f.setElementData(f.controller->elements().last(), K::IsWormhole, true);
        auto* node = static_cast<GraphicsNodeItem*>(f.scene->elementItem(first)->graphicsItem());
        // A segment of a group without an item and one of a group that plays no notes.
        node->setVoiceGroupColor(99999, 1, Qt::red, true);
        node->setVoiceGroupColor(group, 2, Qt::blue, false);

        std::atomic<bool> holding {false};
        std::atomic<bool> release {false};
        std::atomic<bool> timedOut {false};
        std::thread holder([&] {
            f.controller->lockedRead([&] {
                holding = true;
                QElapsedTimer waited;
                waited.start();
                while (!release && waited.elapsed() < 20000)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                timedOut = !release;
            });
        });
        while (!holding)
            std::this_thread::yield();

        QImage image(240, 160, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        QPainter painter(&image);
        f.scene->render(&painter, QRectF(), f.scene->sceneContentsRect());
        painter.end();
        release = true;
        holder.join();
        QVERIFY(!timedOut);
        QCOMPARE(image.pixelColor(0, 0), f.scene->backgroundColor());
    }
};

QTEST_MAIN(TestSceneLocking)
#include "tst_scenelocking.moc"
