#ifndef EDITORBENCH_H
#define EDITORBENCH_H

#include "QmdGlobal.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class Inspector;
class KelvoWindow;
class NetworkScene;
class NetworkView;
class QmdKelvoController;
class TestAppServices;

// The network editor's benchmark: one generated network (1,000 nodes on a grid of 40 × 25
// principals, 1,000 edges between neighbours, 20 voice groups, 20 text boxes, 8 instruments)
// in a document window, shown in a network view whose viewport is 1920 × 1080, with the
// inspector following the window as the application's does.
//
// Each measurement is a section: a function that gets the bench and prints its figures. A
// source file adds sections with EDITOR_BENCH_SECTION; the program runs them all in the order
// of their numbers, or those named on its command line.
class EditorBench
{
public:
    EditorBench();
    ~EditorBench();

    KelvoWindow* window() const { return m_window.get(); }
    QmdKelvoController* controller() const;
    NetworkScene* scene() const;
    NetworkView* view() const { return m_view.get(); }
    Inspector* inspector() const { return m_inspector.get(); }
    // Zooms the view as the zoom box does: through the document's "ZoomScale".
    void setZoomScale(double scale);

    // The generated elements, in the order they were made.
    QmdItemIdList nodes;
    QmdItemIdList edges;
    QmdItemIdList voiceGroups;
    QmdItemIdList textBoxes;
    QmdItemIdList instruments;

    // Brings the bench back to where every section starts, whatever the section before left:
    // the transport paused at the start, no text-box editor open (nor one waiting to be
    // deleted), no focus item in the scene and the view holding the keyboard focus, nothing
    // selected, the selection tool, 100 %. Returns false, having said why, when that state
    // could not be reached.
    bool prepareSection();
    // Says that the running section cannot measure, and why: its figures are not reported as
    // met and the program fails.
    static void cannotMeasure(const QString& why);
    // Whether the running section could not measure; cleared as each section begins.
    static bool sectionFailed();
    static void beginSection();

    // Delivers the queued signals of the document and of the windows.
    static void settle();
    // Runs `run` `runs` times after one run that is not counted, and gives the median time in
    // milliseconds.
    static double medianMs(int runs, const std::function<void()>& run);
    // Prints one figure against its target (the largest acceptable value); in a section that
    // could not measure, as not measured.
    static void report(const char* figure, double ms, double targetMs);
    // CPU time of the calling thread, in milliseconds.
    static double threadCpuMs();

    // What playing the network showed: the GUI thread's CPU time and the voice groups still
    // playing at the end.
    struct Played
    {
        double guiCpuMs = 0;
        int voiceGroupsPlaying = 0;
    };
    // Plays the network from where it stands for `seconds`, with the event loop running,
    // and pauses it again. A network on which no voice group played to the end cannot be
    // measured (the section is told so).
    Played play(int seconds);

private:
    void buildNetwork();

    std::unique_ptr<TestAppServices> m_services;
    std::unique_ptr<KelvoWindow> m_window;
    std::unique_ptr<NetworkView> m_view;
    std::unique_ptr<Inspector> m_inspector;
};

// One section of the benchmark.
struct EditorBenchSection
{
    int order;
    const char* name;
    void (*run)(EditorBench& bench);
};

// Registers a section; sections run in ascending order.
struct EditorBenchRegistration
{
    EditorBenchRegistration(int order, const char* name, void (*run)(EditorBench&));
    static QList<EditorBenchSection>& sections();
};

// Defines the section `name` (an identifier), run at position `order`:
//     EDITOR_BENCH_SECTION(reset, 10) { ... bench.scene() ... }
#define EDITOR_BENCH_SECTION(name, order)                                                          \
    static void editorBench_##name(EditorBench& bench);                                            \
    static const EditorBenchRegistration editorBenchRegistration_##name(order, #name,              \
                                                                        &editorBench_##name);      \
    static void editorBench_##name(EditorBench& bench)

#endif // EDITORBENCH_H
