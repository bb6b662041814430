#include "ModelSignalRecorder.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "ScaleKeysModel.h"
#include "ScaleModesModel.h"

#include "QmdKelvoUnits.h"

#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <vector>

namespace K = QmdKelvoKeys;

class TestScaleModes : public QObject
{
    Q_OBJECT

private slots:
    void tablesBuiltOnceFromManyThreads();
    void degreeSetText();
    void bundledModes();
    void modesFromFiles_data();
    void modesFromFiles();
    void scaleKeys();
    void scaleModesModel();
};

static const quint32 majorSet = 0xAB5; // 0, 2, 4, 5, 7, 9, 11

// The process-wide tables are first used here, by several threads at once: each must see the
// one complete table.
void TestScaleModes::tablesBuiltOnceFromManyThreads()
{
    struct Seen
    {
        const void* modes = nullptr;
        qsizetype modeCount = 0;
        QStringList presets;
        const void* keys = nullptr;
        qsizetype paletteSize = 0;
    };
    std::vector<Seen> seen(8);
    std::vector<std::thread> threads;
    for (Seen& s : seen) {
        threads.emplace_back([&s] {
            s.modes = &QmdKelvoController::builtInScaleModeList();
            s.modeCount = QmdKelvoController::builtInScaleModeList().size();
            s.presets = QmdKelvoController::stylePresetNames();
            s.keys = &ScaleKeysModel::keyNames();
            s.paletteSize = QmdKelvo::colorPalettes().size();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (const Seen& s : seen) {
        QCOMPARE(s.modes, seen.front().modes);
        QCOMPARE(s.modeCount, QmdKelvoController::builtInScaleModeList().size());
        QCOMPARE(s.presets, QStringList({"Dark", "Light"}));
        QCOMPARE(s.keys, seen.front().keys);
        QCOMPARE(s.paletteSize, 72);
    }
}

void TestScaleModes::degreeSetText()
{
    QCOMPARE(ScaleMode::parseDegreeSet(QStringLiteral("{0, ,2,3, ,5, ,7,8, ,10, }")),
             quint32(0x5AD));
    QCOMPARE(ScaleMode::parseDegreeSet(QStringLiteral("{ {0,2}}4,,5 7\t9,11")), majorSet);
    QCOMPARE(ScaleMode::parseDegreeSet(QStringLiteral("{12,-1,x}")), quint32(4095));
    QCOMPARE(ScaleMode::parseDegreeSet(QString()), quint32(4095));
    QCOMPARE(ScaleMode::degreeSetText(4095), QStringLiteral("{0,1,2,3,4,5,6,7,8,9,10,11}"));
    QCOMPARE(ScaleMode::degreeSetText(majorSet), QStringLiteral("{0,2,4,5,7,9,11}"));
    QCOMPARE(ScaleMode::degreeSetText(0), QStringLiteral("{}"));
    QCOMPARE(ScaleMode::parseDegreeSet(ScaleMode::degreeSetText(0x5AD)), quint32(0x5AD));
}

// The bundle of the build tree, as the tests find it.
void TestScaleModes::bundledModes()
{
    const QList<ScaleMode>& modes = QmdKelvoController::builtInScaleModeList();
    QVERIFY(modes.size() > 12);
    QCOMPARE(QmdKelvoController::builtInScaleModeSet().size(), modes.size());
    for (int i = 0; i < modes.size(); ++i)
        QCOMPARE(modes.at(i).displayOrder, i);
    QCOMPARE(modes.count(QmdKelvoController::chromaticScaleMode()), 1);
    auto find = [&](const QString& label) {
        for (const ScaleMode& mode : modes) {
            if (mode.label == label)
                return mode.chromaticDegreeSet;
        }
        return 0u;
    };
    QCOMPARE(find(QStringLiteral("Major")), majorSet);
    QCOMPARE(find(QStringLiteral("Minor")), quint32(0x5AD));
    QCOMPARE(find(QStringLiteral("Dorian")), quint32(0x6AD));
    QCOMPARE(find(QStringLiteral("Harmonic Minor")), quint32(0x9AD));
    QCOMPARE(find(QStringLiteral("Melodic Minor")), quint32(0xAAD));
    QCOMPARE(find(QStringLiteral("Minor Pentatonic")), quint32(0x4A9));
    QCOMPARE(find(QStringLiteral("Blues")), quint32(0x4E9));
    QCOMPARE(find(QStringLiteral("Whole Tone")), quint32(0x555));
}

static QByteArray plist(const QByteArray& modes)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + modes
        + "</dict></plist>\n";
}

static QByteArray mode(const QByteArray& label, const QByteArray& degrees)
{
    QByteArray text = "<key>" + label + "</key><dict>";
    if (!label.isEmpty())
        text += "<key> Label </key><string> " + label + " </string>";
    text += "<key>Other</key><string>x</string>";
    if (!degrees.isEmpty())
        text += "<key>ChromaticScaleDegreeSet</key><string>" + degrees + "</string>";
    return text + "<dict><key>Label</key><string>Nested</string></dict></dict>";
}

void TestScaleModes::modesFromFiles_data()
{
    QTest::addColumn<QByteArray>("contents"); // empty: no file
    QTest::addColumn<QStringList>("expected");

    const QStringList fallback = {"Chromatic 4095 0", "Major 2741 1", "Minor 1453 2"};
    QTest::newRow("no file") << QByteArray() << fallback;
    QTest::newRow("malformed") << QByteArray("<plist><dict><dict>") << fallback;
    QTest::newRow("no usable mode") << plist(mode("", "{0}") + mode("Major", "")) << fallback;
    QTest::newRow("modes, then chromatic")
        << plist(mode("Major", "{0, ,2, ,4,5, ,7, ,9, ,11}") + mode("", "{1}")
                 + mode("Fifths", "{0,7}"))
        << QStringList {"Major 2741 0", "Fifths 129 1", "Chromatic 4095 2"};
    QTest::newRow("chromatic in the file")
        << plist(mode("Chromatic", "{0,1,2,3,4,5,6,7,8,9,10,11}") + mode("Fifths", "{0,7}"))
        << QStringList {"Chromatic 4095 0", "Fifths 129 1"};
    QTest::newRow("a different chromatic")
        << plist(mode("Chromatic", "{0,1,2}")) << QStringList {"Chromatic 7 0", "Chromatic 4095 1"};
}

void TestScaleModes::modesFromFiles()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("ScaleModes.plist"));
    if (!contents.isEmpty()) {
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    QList<ScaleMode> list = {ScaleMode(QStringLiteral("stale"), 1, 0)};
    QSet<ScaleMode> set;
    ScaleMode::scaleModesFromFile(fileName, &list, &set, QmdKelvoController::chromaticScaleMode());
    QStringList found;
    for (const ScaleMode& mode : list)
        found.append(QStringLiteral("%1 %2 %3")
                         .arg(mode.label)
                         .arg(mode.chromaticDegreeSet)
                         .arg(mode.displayOrder));
    QCOMPARE(found, expected);
    QCOMPARE(set.size(), list.size());
}

void TestScaleModes::scaleKeys()
{
    ScaleKeysModel keys;
    QCOMPARE(keys.rowCount(), 12);
    QCOMPARE(keys.data(keys.index(3, 0)).toString(), QStringLiteral("C"));
    QCOMPARE(keys.data(keys.index(3, 0), Qt::UserRole).toLongLong(), 0);
    QCOMPARE(keys.data(keys.index(0, 0), Qt::UserRole).toLongLong(), 9);
    QCOMPARE(keys.data(keys.index(1, 0)).toString(), QStringLiteral("A\u266F / B\u266D"));
    QCOMPARE(keys.data(keys.index(11, 0), Qt::UserRole).toLongLong(), 8);
    QVERIFY(!keys.index(12, 0).isValid());
    QVERIFY(!keys.index(0, 1).isValid());
}

void TestScaleModes::scaleModesModel()
{
    QmdMemModel model;
    QmdKelvoController c;
    c.setModel(&model);
    ScaleModesModel* modes = c.scaleModesModel();
    const QmdIndex root = c.index(K::ScaleModes, QmdIndex());
    QCOMPARE(modes->rowCount(), QmdKelvoController::builtInScaleModeList().size());
    c.requestClear(root);
    deliverRelays();
    QCOMPARE(modes->rowCount(), 0);

    // Three modes in one request, listed by display order; user modes carry a "*".
    auto addMode = [&](const QString& label, int order, bool builtIn) {
        QmdItemId id = 0;
        const QmdRequestId rid = c.beginRequest(QmdRequestOptions(QStringLiteral("Mode")));
        id = c.directAddType(Qmd::StrDict, root);
        c.directSetData(QHash<QString, QVariant> {{K::Label, label},
                                                  {K::DisplayOrder, order},
                                                  {K::IsBuiltIn, builtIn}},
                        c.directIndex(id, root));
        c.endRequest(rid);
        return id;
    };
    const QmdItemId mine = addMode(QStringLiteral("Mine"), 10000, false);
    const QmdItemId major = addMode(QStringLiteral("Major"), 1, true);
    const QmdItemId chromatic = addMode(QStringLiteral("Chromatic"), 0, true);
    deliverRelays();
    auto rows = [&] {
        QStringList shown;
        for (int row = 0; row < modes->rowCount(); ++row)
            shown.append(
                modes->data(modes->index(row, 0)).toString() + '='
                + QString::number(modes->data(modes->index(row, 0), Qt::UserRole).toUInt()));
        return shown.join(' ');
    };
    QCOMPARE(rows(),
             QStringLiteral("Chromatic=%1 Major=%2 Mine*=%3").arg(chromatic).arg(major).arg(mine));

    c.requestSetData(K::Label, QStringLiteral("Ionian"), c.scaleModeIndex(major));
    c.requestRemove(mine, root);
    deliverRelays();
    QCOMPARE(rows(), QStringLiteral("Chromatic=%1 Ionian=%2").arg(chromatic).arg(major));

    // A reset rebuilds the rows from the document, which then holds every built-in mode; the
    // two modes without a degree set match none and become the user's, numbered in id order.
    c.reset();
    QCOMPARE(modes->rowCount(), QmdKelvoController::builtInScaleModeList().size() + 2);
    QVERIFY(rows().endsWith(QStringLiteral("Ionian*=%1 Chromatic*=%2").arg(major).arg(chromatic)));
    QVERIFY(!c.scaleModeIndex(mine).isValid());
}

QTEST_GUILESS_MAIN(TestScaleModes)
#include "tst_scalemodes.moc"
