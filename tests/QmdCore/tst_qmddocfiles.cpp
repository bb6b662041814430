#include "QmdElementDocController.h"
#include "QmdMemModel.h"
#include "QmdPropertyListExporter.h"

#include <QtTest>

// An element document kept in property-list files.
class FileDoc : public QmdElementDocController
{
public:
    ExporterFactory exporterFactory;

protected:
    QFile::FileError save(const QString& fileName, QmdRequestId) override
    {
        return savePropertyList(fileName, exporterFactory);
    }
    QFile::FileError load(const QString& fileName, QmdRequestId) override
    {
        return loadPropertyList(fileName);
    }
};

// A writer that gives up half way, as a full disk would make it.
class FailingExporter : public QmdPropertyListExporter
{
public:
    using QmdPropertyListExporter::QmdPropertyListExporter;
    bool writeDocument(const QmdIndex& item) override
    {
        device()->write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist");
        (void)item;
        return false;
    }
};

static QByteArray contents(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class TestQmdDocFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void saveAndLoad();
    void failedWriteKeepsTheOldFile();
    void readOnlyTargetIsRefused();
    void damagedFileLeavesTheDocument();
    void missingFile();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString& name) const { return m_dir->filePath(name); }
};

void TestQmdDocFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestQmdDocFiles::saveAndLoad()
{
    QmdMemModel model;
    FileDoc doc;
    doc.setModel(&model);
    doc.requestAddElement(2, {{QStringLiteral("Notes"), QStringLiteral("C3")}}, {},
                          QmdRequestOptions(QStringLiteral("Add")));
    doc.requestSetData(QStringLiteral("Title"), QStringLiteral("Song"));
    const QString file = path(QStringLiteral("song.kvd"));
    QSignalSpy saved(&doc, &QmdDocController::fileSaved);
    doc.requestSave(file);
    QCOMPARE(saved.size(), 1);
    QVERIFY(contents(file).startsWith("<?xml"));
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files).size() == 1); // no temporary file left

    QmdMemModel other;
    FileDoc reader;
    reader.setModel(&other);
    reader.requestAddElement(4, {}, {}, QmdRequestOptions(QStringLiteral("Add")));
    QSignalSpy changes(&other, &QmdModel::rootChanged);
    QSignalSpy loaded(&reader, &QmdDocController::fileLoaded);
    reader.requestLoad(file);
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(changes.size(), 0); // read with the model's signals blocked
    QCOMPARE(reader.elements(), QmdItemIdList({1}));
    QCOMPARE(reader.elementType(1), 2);
    QCOMPARE(reader.data(QStringLiteral("Title"), QmdIndex()), QVariant(QStringLiteral("Song")));
    QVERIFY(reader.atCleanState());
    QVERIFY(!reader.canUndo());
}

void TestQmdDocFiles::failedWriteKeepsTheOldFile()
{
    QmdMemModel model;
    FileDoc doc;
    doc.setModel(&model);
    const QString file = path(QStringLiteral("kept.kvd"));
    doc.requestSave(file);
    const QByteArray before = contents(file);
    QVERIFY(!before.isEmpty());

    doc.requestSetData(QStringLiteral("Title"), QStringLiteral("Changed"));
    doc.exporterFactory = [&](QIODevice* device) {
        return std::unique_ptr<QmdPropertyListExporter>(new FailingExporter(&model, device));
    };
    QSignalSpy failed(&doc, &QmdDocController::fileSaveError);
    doc.requestSave(path(QStringLiteral("kept.kvd")));
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().at(1).value<QFile::FileError>(), QFile::WriteError);
    QCOMPARE(contents(file), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList({"kept.kvd"}));
    QVERIFY(!doc.atCleanState());
}

void TestQmdDocFiles::readOnlyTargetIsRefused()
{
    QmdMemModel model;
    FileDoc doc;
    doc.setModel(&model);
    const QString file = path(QStringLiteral("locked.kvd"));
    {
        QFile locked(file);
        QVERIFY(locked.open(QIODevice::WriteOnly));
        locked.write("precious");
    }
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadUser | QFile::ReadOther));
    QSignalSpy failed(&doc, &QmdDocController::fileSaveError);
    doc.requestSave(file);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().at(1).value<QFile::FileError>(), QFile::PermissionsError);
    QCOMPARE(contents(file), QByteArray("precious"));
    QVERIFY(doc.fileName().isEmpty());
}

void TestQmdDocFiles::damagedFileLeavesTheDocument()
{
    QmdMemModel model;
    FileDoc doc;
    doc.setModel(&model);
    doc.requestAddElement(2, {}, {}, QmdRequestOptions(QStringLiteral("Add")));
    const QString good = path(QStringLiteral("good.kvd"));
    doc.requestSave(good);
    doc.requestAddElement(3, {}, {}, QmdRequestOptions(QStringLiteral("Add")));

    // The same document cut off in the middle, and well-formed files with no item to read.
    const QByteArray bytes = contents(good);
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const QList<QByteArray> damagedFiles = {
        bytes.left(bytes.size() / 2),
        head + "<plist version=\"1.0\"/>",
        head
            + "<plist version=\"1.0\"><dict><key>Elements</key><dict><key>ContainerType</key>"
              "<string>IntDict</string></dict></dict></plist>",
        head + "<plist version=\"1.0\"><array><integer>1</integer></array></plist>",
    };
    const QString damaged = path(QStringLiteral("damaged.kvd"));
    for (const QByteArray& damagedFile : damagedFiles) {
        {
            QFile file(damaged);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(damagedFile);
        }
        QSignalSpy failed(&doc, &QmdDocController::fileLoadError);
        QSignalSpy loaded(&doc, &QmdDocController::fileLoaded);
        doc.requestLoad(damaged);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().at(1).value<QFile::FileError>(), QFile::ReadError);
        QCOMPARE(loaded.size(), 0);
        QCOMPARE(doc.fileName(), good);
        QCOMPARE(doc.elements(), QmdItemIdList({1, 2}));
        QVERIFY(!doc.atCleanState());
        QVERIFY(doc.canUndo());
    }
    // So a save keeps the user's work, and never writes an empty document over the file.
    doc.requestSave(good);
    QVERIFY(contents(good).size() > bytes.size());
}

void TestQmdDocFiles::missingFile()
{
    QmdMemModel model;
    FileDoc doc;
    doc.setModel(&model);
    QSignalSpy failed(&doc, &QmdDocController::templateLoadError);
    doc.requestLoadTemplate(path(QStringLiteral("nowhere.kvd")));
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().at(1).value<QFile::FileError>(), QFile::OpenError);
    QSignalSpy saveFailed(&doc, &QmdDocController::fileSaveError);
    doc.requestSave(path(QStringLiteral("no/such/folder/file.kvd")));
    QCOMPARE(saveFailed.size(), 1);
}

QTEST_GUILESS_MAIN(TestQmdDocFiles)
#include "tst_qmddocfiles.moc"
