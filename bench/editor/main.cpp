// The network editor's benchmark: every section of EditorBench in turn, or the sections named
// on the command line. Run by hand in a release build: bench_editor [section ...]

#include "EditorBench.h"
#include "QmdKelvoUnits.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList wanted = app.arguments().mid(1);

    // The tick geometry of the screen, as the application sets it.
    {
        QWidget probe;
        QmdKelvo::initTickGeometry(&probe);
    }
    std::printf("bench_editor: %.0f dpi\n", QmdKelvo::dpiScaleX * QmdKelvo::ReferenceDpi);

    QElapsedTimer built;
    built.start();
    EditorBench bench;
    std::printf("network built in %.0f ms: %lld nodes, %lld edges, %lld voice groups, %lld text "
                "boxes, %lld instruments\n",
                double(built.elapsed()), qlonglong(bench.nodes.size()),
                qlonglong(bench.edges.size()), qlonglong(bench.voiceGroups.size()),
                qlonglong(bench.textBoxes.size()), qlonglong(bench.instruments.size()));

    // Each section starts from the same state, whatever the one before left; one that cannot
    // measure says so, and the program fails.
    QStringList failed;
    for (const EditorBenchSection& section : EditorBenchRegistration::sections()) {
        if (!wanted.isEmpty() && !wanted.contains(QLatin1String(section.name)))
            continue;
        std::printf("\n[%s]\n", section.name);
        EditorBench::beginSection();
        if (bench.prepareSection())
            section.run(bench);
        if (EditorBench::sectionFailed())
            failed << QLatin1String(section.name);
    }
    if (!failed.isEmpty()) {
        std::printf("\nbench_editor: could not measure in %s\n",
                    qPrintable(failed.join(QStringLiteral(", "))));
        return 1;
    }
    return 0;
}
