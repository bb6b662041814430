#include "ModelSignalRecorder.h"
#include "QmdKelvoController.h"
#include "QmdKelvoFile.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QPolygonF>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace K = QmdKelvoKeys;
using QmdKelvo::TickPoint;

// Where a value stands in the document.
enum Place { Nested = 0, TopLevel = 1, ElementProperty = 2 };
Q_DECLARE_METATYPE(Place)

// A network document with its own model.
struct Document
{
    QmdMemModel model;
    QmdKelvoController c;
    Document() { c.setModel(&model); }
};

static QByteArray contents(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static void writeFile(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

class TestKvdFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void conversions_data();
    void conversions();
    void savedFileHoldsWhatIsUsed();
    void failedSaveKeepsTheOldFile();
    void damagedFileIsRefused();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString& name) const { return dir->filePath(name); }
};

void TestKvdFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

// Each row: a key at a place, the value written (none for rows that only read), the text in
// the file, and what that text reads back as (none when it stays text).
void TestKvdFile::conversions_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<Place>("place");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("readBack");

    const QString style = K::StyleNodesColor;
    const QColor translucent(10, 20, 30, 128);
    QTest::newRow("style colour") << style << TopLevel << QVariant(translucent) << "#0a141e80"
                                  << QVariant(translucent);
    QTest::newRow("style colour without alpha")
        << style << TopLevel << QVariant() << "#0a141e" << QVariant(QColor(10, 20, 30, 0));
    QTest::newRow("style colour below the top")
        << style << Nested << QVariant() << "#0a141e80" << QVariant();
    QTest::newRow("other colour") << K::Color << TopLevel << QVariant() << "#0a141e" << QVariant();

    QTest::newRow("type") << K::Type << ElementProperty << QVariant(4) << "VoiceGroup"
                          << QVariant(4);
    QTest::newRow("type in capitals")
        << K::Type << ElementProperty << QVariant() << "VOICEGROUP" << QVariant(4);
    QTest::newRow("type player") << K::Type << ElementProperty << QVariant() << "player"
                                 << QVariant(4);
    QTest::newRow("type arc") << K::Type << ElementProperty << QVariant() << "Arc" << QVariant(1);
    QTest::newRow("type none") << K::Type << ElementProperty << QVariant(0) << "" << QVariant(0);
    QTest::newRow("type of an instrument")
        << K::Type << Nested << QVariant() << "Node" << QVariant();
    QTest::newRow("path") << K::Path << ElementProperty << QVariant(1) << "CityBlockFlipped"
                          << QVariant(1);
    QTest::newRow("path 3") << K::Path << ElementProperty << QVariant(3) << "" << QVariant(0);
    QTest::newRow("signalling") << K::SignallingMethod << ElementProperty << QVariant(2) << "Random"
                                << QVariant(2);

    const QVariant far = QVariant::fromValue(TickPoint {-665280, 0});
    QTest::newRow("position") << K::TickPos << ElementProperty << far << "{-665280, 0}" << far;
    QTest::newRow("position with sign") << K::TickPos << ElementProperty << QVariant() << "{+5,6}"
                                        << QVariant::fromValue(TickPoint {5, 6});
    QTest::newRow("position malformed") << K::TickPos << ElementProperty << QVariant() << "{5;6}"
                                        << QVariant::fromValue(TickPoint {});
    QTest::newRow("position elsewhere")
        << K::TickPos << Nested << far << "{-665280, 0}" << QVariant();

    const QPolygonF curve({QPointF(0, 0.5), QPointF(1, 1)});
    QTest::newRow("curve") << K::CurvePoints << Nested << QVariant(curve) << "0,0.5;1,1"
                           << QVariant(curve);
    QTest::newRow("curve of thirds")
        << K::CurvePoints << Nested << QVariant(QPolygonF({QPointF(1.0 / 3, 2)})) << "0.333333,2"
        << QVariant(QPolygonF({QPointF(0.333333, 2)}));
    QTest::newRow("empty curve") << K::CurvePoints << Nested << QVariant(QPolygonF()) << ""
                                 << QVariant(QPolygonF());
    QTest::newRow("curve with gaps")
        << K::CurvePoints << Nested << QVariant() << "1,x;;2"
        << QVariant(QPolygonF({QPointF(1, 0), QPointF(), QPointF(2, 0)}));

    QBitArray first(16);
    first.setBit(0);
    QTest::newRow("channels") << K::MidiChannels << Nested << QVariant(first) << "1000000000000000"
                              << QVariant(first);
    QTest::newRow("channels not bits")
        << K::MidiChannels << Nested << QVariant() << "12" << QVariant();

    QTest::newRow("degree set") << K::ChromaticScaleDegreeSet << Nested << QVariant(2741)
                                << "{0,2,4,5,7,9,11}" << QVariant(2741);
    QTest::newRow("no degree") << K::ChromaticScaleDegreeSet << Nested << QVariant(0) << "{}"
                               << QVariant(4095);
}

void TestKvdFile::conversions()
{
    QFETCH(QString, key);
    QFETCH(Place, place);
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QFETCH(QVariant, readBack);
    const bool top = place == TopLevel;
    const bool element = place == ElementProperty;
    if (value.isValid())
        QCOMPARE(QmdKelvoExporter::valueText(key, value, top, element), text);
    QCOMPARE(QmdKelvoImporter::textValue(key, text, top, element), readBack);
}

// A document saved, loaded and saved again gives the same bytes; the file holds no run-time
// part and only the scale modes that the document or a voice group names.
void TestKvdFile::savedFileHoldsWhatIsUsed()
{
    Document doc;
    QmdKelvoController& c = doc.c;
    QmdItemId a = 0, b = 0, edge = 0;
    c.requestAddNode(TickPoint {-665280, 0}, {}, QmdRequestOptions(QStringLiteral("Node")), &a);
    c.requestAddNode(TickPoint {0, 1330560}, {}, QmdRequestOptions(QStringLiteral("Node")), &b);
    c.requestAddEdge(c.elementIndex(a), c.elementIndex(b), QmdKelvo::Direct, {},
                     QmdRequestOptions(QStringLiteral("Edge")), &edge);
    c.requestAddControllerToEdge(c.elementIndex(edge), QmdKelvo::LinearCurve, 1, 33);
    c.requestAddControllerToEdge(c.elementIndex(edge), QmdKelvo::CubicCurve, 2, 34);
    const QmdIndex curves = c.index(K::ContinuousControllers, c.elementIndex(edge));
    c.requestSetData(K::CurvePoints, QPolygonF({QPointF(0, 0.5), QPointF(1, 1)}),
                     c.index(1, curves));
    c.requestSetData(K::CurvePoints, QPolygonF(), c.index(2, curves));
    c.requestAddInstrument();
    c.requestAddVoiceGroup(c.elementIndex(a));
    const QmdItemId group = c.elements().last();
    const QmdItemId major = c.scaleModes().at(1);
    c.requestSetData(K::ScaleMode, uint(major), c.elementIndex(group));
    deliverRelays();

    const QString first = path(QStringLiteral("first.kvd"));
    QSignalSpy saved(&c, &QmdDocController::fileSaved);
    c.requestSave(first);
    QCOMPARE(saved.size(), 1);
    const QByteArray bytes = contents(first);
    QVERIFY(!bytes.contains("<key>Temp</key>"));
    QVERIFY(bytes.contains("<string>VoiceGroup</string>"));
    QVERIFY(bytes.contains("<string>{-665280, 0}</string>"));
    QCOMPARE(bytes.count("<key>ChromaticScaleDegreeSet</key>"), 2);

    Document other;
    QSignalSpy loaded(&other.c, &QmdDocController::fileLoaded);
    other.c.requestLoad(first);
    QCOMPARE(loaded.size(), 1);
    const QmdIndex otherCurves
        = other.c.index(K::ContinuousControllers, other.c.elementIndex(edge));
    QCOMPARE(other.c.data(K::CurvePoints, other.c.index(2, otherCurves)), QVariant(QPolygonF()));
    QCOMPARE(other.c.data(K::TickPos, other.c.elementIndex(a)),
             QVariant::fromValue(TickPoint {-665280, 0}));
    QCOMPARE(other.c.scaleModes().size(), QmdKelvoController::builtInScaleModeList().size());
    const QString second = path(QStringLiteral("second.kvd"));
    other.c.requestSave(second);
    QCOMPARE(contents(second), bytes);
}

void TestKvdFile::failedSaveKeepsTheOldFile()
{
    Document doc;
    QmdKelvoController& c = doc.c;
    const QString file = path(QStringLiteral("kept.kvd"));
    c.requestSave(file);
    const QByteArray before = contents(file);
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    for (int i = 0; i < 200; ++i)
        c.requestAddNode(TickPoint {i, i});
    QSignalSpy failed(&c, &QmdDocController::fileSaveError);

    // A disk that fills up half way.
    struct rlimit limit;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const struct rlimit small = {rlim_t(before.size() + 1024), limit.rlim_max};
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    c.requestSave(file);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previousHandler);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().at(1).value<QFile::FileError>(), QFile::WriteError);
    QCOMPARE(contents(file), before);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList({"kept.kvd"}));
    QVERIFY(!c.atCleanState());

    // A target without write permission is refused.
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));
    c.requestSave(file);
    QCOMPARE(failed.size(), 2);
    QCOMPARE(failed.last().at(1).value<QFile::FileError>(), QFile::PermissionsError);
    QCOMPARE(contents(file), before);

    // A save that succeeds keeps the file's permissions.
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    c.requestSave(file);
    QCOMPARE(failed.size(), 2);
    QVERIFY(contents(file).size() > before.size());
    QCOMPARE(QFile::permissions(file) & QFile::Permissions(0x7077),
             QFile::Permissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(c.atCleanState());
}

// A file that is damaged, or no network, leaves the open document as it was; in a new window
// the document stays the empty one it was.
void TestKvdFile::damagedFileIsRefused()
{
    Document doc;
    QmdKelvoController& c = doc.c;
    c.requestAddNode(TickPoint {});
    const QString good = path(QStringLiteral("good.kvd"));
    c.requestSave(good);
    c.requestAddNode(TickPoint {1, 1});
    const QmdItemIdList elements = c.elements();

    const QByteArray bytes = contents(good);
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const QList<QByteArray> damagedFiles = {
        bytes.left(bytes.size() / 2),
        QByteArray(bytes).replace("<plist version=\"1.0\">", "<plist version=\"2.0\">"),
        head + "<html><body/></html>",
        head + "<plist version=\"1.0\"><string>Elements</string></plist>",
        head
            + "<plist version=\"1.0\"><dict><key>ContainerType</key><string>IntDict</string>"
              "<key>1</key><integer>2</integer></dict></plist>",
        "",
    };
    const QString damaged = path(QStringLiteral("damaged.kvd"));
    for (const QByteArray& damagedFile : damagedFiles) {
        writeFile(damaged, damagedFile);
        Document fresh;
        for (QmdKelvoController* controller : {&c, &fresh.c}) {
            const QmdItemIdList before = controller->elements();
            const QString name = controller->fileName();
            QSignalSpy failed(controller, &QmdDocController::fileLoadError);
            controller->requestLoad(damaged);
            QCOMPARE(failed.size(), 1);
            QCOMPARE(failed.first().at(1).value<QFile::FileError>(), QFile::ReadError);
            QCOMPARE(controller->fileName(), name);
            QCOMPARE(controller->elements(), before);
        }
    }
    QCOMPARE(c.elements(), elements);
    QVERIFY(c.canUndo());
}

QTEST_GUILESS_MAIN(TestKvdFile)
#include "tst_kvdfile.moc"
