// Time and peak memory of writing and reading property-list documents: a "StrDict" root
// holding an "Elements" IntDict of elements, each a StrDict of 20 keys of mixed value types.
// Run by hand in a release build: bench_plist [repetitions].

#include "QmdMemModel.h"
#include "QmdPropertyListExporter.h"
#include "QmdPropertyListImporter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

namespace {

constexpr int keysPerElement = 20;

// A field of /proc/self/status in kB, or -1.
long statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray name = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Starts a new peak: from here on VmHWM counts from the present resident size.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

std::unique_ptr<QmdMemModel> makeDocument(int elementCount)
{
    auto model = std::make_unique<QmdMemModel>(Qmd::StrDict);
    QmdDirectModelInterface d(model.get());
    d.directBeginRequest(1, Qmd::NotUndoable, QStringLiteral("Build"));
    d.directSetData(QStringLiteral("Tempo"), 120, QmdIndex());
    d.directSetType(QStringLiteral("Elements"), Qmd::IntDict, QmdIndex());
    const QmdIndex elements = d.directIndex(QStringLiteral("Elements"), QmdIndex());
    QStringList keys;
    for (int k = 0; k < keysPerElement; ++k)
        keys.append(QStringLiteral("Property%1").arg(k));
    for (int i = 0; i < elementCount; ++i) {
        const QmdItemId id = d.directAddType(Qmd::StrDict, elements);
        const QmdIndex element = d.directIndex(id, elements);
        QHash<QString, QVariant> values;
        for (int k = 0; k < keysPerElement; ++k) {
            switch (k % 5) {
            case 0:
                values.insert(keys[k], i * k);
                break;
            case 1:
                values.insert(keys[k], i * 0.37 + k);
                break;
            case 2:
                values.insert(keys[k], QStringLiteral("C3:96:100% D3 E3 %1").arg(i));
                break;
            case 3:
                values.insert(keys[k], (i + k) % 2 == 0);
                break;
            default:
                values.insert(keys[k], QStringLiteral("Node"));
                break;
            }
        }
        d.directSetData(values, element);
    }
    d.directEndRequest();
    return model;
}

// One step in this process: "write N FILE" builds a document of N elements and writes it to
// FILE; "read N FILE" reads FILE as a document load does, in a request that is not undoable
// and with the model's signals blocked. Prints the time and the process's peak resident size
// during the step.
int step(const QString& what, int elementCount, const QString& fileName)
{
    QFile file(fileName);
    QElapsedTimer timer;
    qint64 ms = 0;
    bool ok = false;
    if (what == QLatin1String("write")) {
        const std::unique_ptr<QmdMemModel> model = makeDocument(elementCount);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        resetPeak();
        timer.start();
        QmdPropertyListExporter exporter(model.get(), &file);
        ok = exporter.writeDocument();
        ms = timer.elapsed();
    } else {
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        resetPeak();
        timer.start();
        QmdMemModel model;
        QmdDirectModelInterface d(&model);
        d.directBeginRequest(1, Qmd::NotUndoable, QStringLiteral("Load"));
        model.blockSignals(true);
        QmdPropertyListImporter importer(&model, &file);
        ok = importer.readDocument();
        model.blockSignals(false);
        d.directEndRequest();
        ms = timer.elapsed();
        ok = ok
            && d.directIdList(d.directIndex(QStringLiteral("Elements"), QmdIndex())).size()
                == elementCount;
    }
    std::printf("%lld %ld\n", ms, statusKb("VmHWM"));
    return ok ? 0 : 1;
}

struct Figures
{
    qint64 ms = std::numeric_limits<qint64>::max();
    long peakKb = 0;
};

// Runs one step in a child process, so that each peak is that of the step alone.
bool runStep(const QString& what, int elementCount, const QString& fileName, Figures* figures)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {what, QString::number(elementCount), fileName});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit
        || child.exitCode() != 0) {
        std::printf("%s of %d elements failed\n", qPrintable(what), elementCount);
        return false;
    }
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 2)
        return false;
    figures->ms = qMin(figures->ms, fields[0].toLongLong());
    figures->peakKb = qMax(figures->peakKb, fields[1].toLong());
    return true;
}

void run(int elementCount, int repetitions)
{
    QTemporaryFile file;
    if (!file.open()) {
        std::printf("cannot open a temporary file\n");
        return;
    }
    Figures write;
    Figures read;
    for (int i = 0; i < repetitions; ++i) {
        if (!runStep(QStringLiteral("write"), elementCount, file.fileName(), &write)
            || !runStep(QStringLiteral("read"), elementCount, file.fileName(), &read))
            return;
    }
    std::printf("%6d elements, %5.1f MB file: write %4lld ms, peak %5.1f MB; "
                "read %4lld ms, peak %5.1f MB\n",
                elementCount, QFileInfo(file.fileName()).size() / 1048576.0, write.ms,
                write.peakKb / 1024.0, read.ms, read.peakKb / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4)
        return step(arguments[1], arguments[2].toInt(), arguments[3]);
    const int repetitions = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    std::printf("Elements of %d keys; best time of %d runs, each in a process of its own; peak "
                "resident size of that process (VmHWM), the model written or read included.\n",
                keysPerElement, repetitions);
    for (int count : {1000, 10000})
        run(count, repetitions);
    return 0;
}
