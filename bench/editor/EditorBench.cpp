#include "EditorBench.h"

#include "AbstractSync.h"
#include "DocumentTool.h"
#include "ElementItem.h"
#include "GraphicsTextBoxItem.h"
#include "Inspector.h"
#include "KelvoWindow.h"
#include "NetworkScene.h"
#include "NetworkView.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "TestAppServices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

EditorBench::EditorBench()
    : m_services(std::make_unique<TestAppServices>())
    , m_window(std::make_unique<KelvoWindow>())
{
    buildNetwork();

    // Set up as the window's own view, with its scroll bars; a second view of the scene, so
    // that the window's own stays hidden.
    m_view = std::make_unique<NetworkView>(nullptr);
    m_view->setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform
                           | QPainter::TextAntialiasing);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_view->setDragMode(QGraphicsView::RubberBandDrag);
    m_view->setScene(scene());
    m_view->setController(controller());
    m_view->setActionTarget(m_window.get());
    m_view->show();
    m_inspector = std::make_unique<Inspector>();
    m_inspector->show();
    m_services->setFocusWindow(m_window.get());
    settle();
    const QSize viewport(1920, 1080);
    m_view->resize(m_view->size() - m_view->viewport()->size() + viewport);
    settle();
}

EditorBench::~EditorBench()
{
    m_inspector.reset();
    m_view.reset();
    m_window.reset();
}

QmdKelvoController* EditorBench::controller() const
{
    return m_window->controller();
}

NetworkScene* EditorBench::scene() const
{
    return m_window->scene();
}

void EditorBench::buildNetwork()
{
    const qint64 P = QmdKelvo::TicksPerPrincipal;
    QmdKelvoController* c = controller();
    for (int i = 0; i < 8; ++i)
        c->requestAddInstrument();
    instruments = c->instruments();

    const int columns = 40;
    const int rows = 25;
    for (int i = 0; i < columns * rows; ++i) {
        QmdItemId id = 0;
        c->requestAddNode(QmdKelvo::TickPoint {P * (i % columns), P * (i / columns)},
                          QmdKelvo::NoCreationFlags, QmdRequestOptions(QStringLiteral("Node")),
                          &id);
        nodes.append(id);
    }
    // Each node to its right-hand neighbour, the right-hand column downwards, and one more down
    // the left-hand column: 1,000 edges.
    auto addEdge = [&](int from, int to) {
        QmdItemId id = 0;
        c->requestAddEdge(c->elementIndex(nodes.at(from)), c->elementIndex(nodes.at(to)),
                          QmdKelvo::CityBlock, QmdKelvo::NoCreationFlags,
                          QmdRequestOptions(QStringLiteral("Edge")), &id);
        edges.append(id);
    };
    for (int i = 0; i < columns * rows; ++i) {
        if (i % columns != columns - 1)
            addEdge(i, i + 1);
        else if (i + columns < columns * rows)
            addEdge(i, i + columns);
    }
    addEdge(0, columns);

    const QmdItemIdList before = c->elements();
    for (int i = 0; i < 20; ++i) {
        c->requestAddVoiceGroup(c->elementIndex(nodes.at(i * 50)));
        c->requestAddTextBox(QmdKelvo::TickPoint {P * (2 * i) + P / 2, P * (i % rows) + P / 2});
    }
    for (const QmdItemId id : c->elements()) {
        if (before.contains(id))
            continue;
        (c->elementType(id) == QmdKelvo::VoiceGroupElement ? voiceGroups : textBoxes).append(id);
    }
    settle();
}

void EditorBench::setZoomScale(double scale)
{
    controller()->requestSetData(QmdKelvoKeys::ZoomScale, scale, QmdIndex(),
                                 QmdRequestOptions(Qmd::NotUndoable, QString()));
    settle();
}

namespace {

bool failedSection = false;

} // namespace

void EditorBench::beginSection()
{
    failedSection = false;
}

bool EditorBench::sectionFailed()
{
    return failedSection;
}

void EditorBench::cannotMeasure(const QString& why)
{
    failedSection = true;
    std::printf("  CANNOT MEASURE: %s\n", qPrintable(why));
    std::fflush(stdout);
}

bool EditorBench::prepareSection()
{
    QmdKelvoController* c = controller();
    c->requestPause();
    c->requestGotoStart();
    // An editor that was closed is deleted later, and keeps the focus until then.
    for (const QmdItemId id : std::as_const(textBoxes)) {
        ElementItem* element = scene()->elementItem(id);
        if (auto* item
            = element ? dynamic_cast<GraphicsTextBoxItem*>(element->graphicsItem()) : nullptr)
            item->closeEditor();
    }
    settle();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    scene()->clearSelection();
    scene()->setFocusItem(nullptr);
    DocumentTool::requestSet(c, NetworkView::SelectionTool);
    setZoomScale(1.0);
    m_view->show();
    m_view->activateWindow();
    m_view->setFocus(Qt::OtherFocusReason);
    settle();

    QStringList left;
    if (scene()->focusItem())
        left << QStringLiteral("an item of the scene holds the focus");
    if (!scene()->selectedItems().isEmpty())
        left << QStringLiteral("elements are selected");
    if (c->sync() && c->sync()->isPlaying())
        left << QStringLiteral("the transport plays");
    if (!left.isEmpty()) {
        cannotMeasure(QStringLiteral("the bench could not be set up for the section: ")
                      + left.join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

void EditorBench::settle()
{
    for (int i = 0; i < 4; ++i)
        QApplication::sendPostedEvents();
    QApplication::processEvents();
}

double EditorBench::medianMs(int runs, const std::function<void()>& run)
{
    run();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

void EditorBench::report(const char* figure, double ms, double targetMs)
{
    std::printf("  %-58s %8.2f ms   target <= %6.1f ms  %s\n", figure, ms, targetMs,
                failedSection        ? "NOT MEASURED"
                    : ms <= targetMs ? "ok"
                                     : "OVER");
    std::fflush(stdout);
}

double EditorBench::threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

EditorBench::Played EditorBench::play(int seconds)
{
    QmdKelvoController* c = controller();
    Played played;
    c->requestPlay();
    const double before = threadCpuMs();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    played.guiCpuMs = threadCpuMs() - before;
    for (const QmdItemId group : std::as_const(voiceGroups))
        played.voiceGroupsPlaying += c->isVoiceGroupIterating(group) ? 1 : 0;
    c->requestPause();
    settle();
    if (played.voiceGroupsPlaying == 0)
        cannotMeasure(QStringLiteral("no voice group played to the end"));
    return played;
}

EditorBenchRegistration::EditorBenchRegistration(int order, const char* name,
                                                 void (*run)(EditorBench&))
{
    QList<EditorBenchSection>& all = sections();
    all.append({order, name, run});
    std::stable_sort(
        all.begin(), all.end(),
        [](const EditorBenchSection& a, const EditorBenchSection& b) { return a.order < b.order; });
}

QList<EditorBenchSection>& EditorBenchRegistration::sections()
{
    static QList<EditorBenchSection> all;
    return all;
}
