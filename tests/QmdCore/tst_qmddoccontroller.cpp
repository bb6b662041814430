#include "ModelSignalRecorder.h"
#include "QmdElementDocController.h"
#include "QmdMemModel.h"

#include <QtTest>

// A document controller whose save and load report a chosen error and remember their ids.
class TestDoc : public QmdDocController
{
public:
    QFile::FileError result = QFile::NoError;
    QList<QmdRequestId> ids;

protected:
    QFile::FileError save(const QString&, QmdRequestId rid) override
    {
        ids.append(rid);
        return result;
    }
    QFile::FileError load(const QString&, QmdRequestId rid) override
    {
        ids.append(rid);
        directSetData(QStringLiteral("loaded"), true, QmdIndex());
        return result;
    }
};

struct DocLog : QObject
{
    QStringList lines;
    explicit DocLog(QmdDocController* c)
    {
        auto add = [this](const QString& line) { lines.append(line); };
        connect(c, &QmdDocController::fileSaved, this, [=](const QString& f, QmdRequestId r) {
            add(QStringLiteral("saved '%1' %2").arg(f).arg(r));
        });
        connect(c, &QmdDocController::fileLoaded, this, [=](const QString& f, QmdRequestId r) {
            add(QStringLiteral("loaded '%1' %2").arg(f).arg(r));
        });
        connect(c, &QmdDocController::templateLoaded, this, [=](const QString& f, QmdRequestId r) {
            add(QStringLiteral("template '%1' %2").arg(f).arg(r));
        });
        connect(c, &QmdDocController::fileSaveError, this,
                [=](const QString& f, QFile::FileError e, QmdRequestId r) {
                    add(QStringLiteral("saveError '%1' %2 %3").arg(f).arg(e).arg(r));
                });
        connect(c, &QmdDocController::fileLoadError, this,
                [=](const QString& f, QFile::FileError e, QmdRequestId r) {
                    add(QStringLiteral("loadError '%1' %2 %3").arg(f).arg(e).arg(r));
                });
        connect(c, &QmdDocController::templateLoadError, this,
                [=](const QString& f, QFile::FileError e, QmdRequestId r) {
                    add(QStringLiteral("templateError '%1' %2 %3").arg(f).arg(e).arg(r));
                });
        connect(c, &QmdDocController::fileNameChanged, this, [=](const QString& f, QmdRequestId r) {
            add(QStringLiteral("name '%1' %2").arg(f).arg(r));
        });
        connect(c, &QmdDocController::modelReset, this, [=] { add(QStringLiteral("reset")); });
        connect(c, &QmdDocController::requestFinished, this, [=](QmdRequestId r, int status) {
            add(QStringLiteral("finished %1 %2").arg(r).arg(status));
        });
    }
};

class TestQmdDocController : public QObject
{
    Q_OBJECT

private slots:
    void saveNamesTheDocument();
    void failedSave();
    void templateLoad();
    void loadSignalsAndHistory();
    void failedLoadKeepsNameAndDirtyState();
    void elementLayoutRepair();
    void addElement();
    void elementSignals();
};

void TestQmdDocController::saveNamesTheDocument()
{
    QmdMemModel model(Qmd::StrDict);
    TestDoc doc;
    doc.setModel(&model);
    doc.requestSetData(QStringLiteral("a"), 1);
    QVERIFY(!doc.atCleanState());
    DocLog log(&doc);
    const QmdRequestId rid = doc.requestSave(QStringLiteral("/tmp/a.kvd"));
    QCOMPARE(doc.ids, QList<QmdRequestId>({rid}));
    QCOMPARE(doc.fileName(), QStringLiteral("/tmp/a.kvd"));
    QVERIFY(doc.atCleanState());
    QCOMPARE(log.lines,
             QStringList({QStringLiteral("saved '/tmp/a.kvd' %1").arg(rid),
                          QStringLiteral("name '/tmp/a.kvd' %1").arg(rid)}));
    log.lines.clear();
    const QmdRequestId again = doc.requestSave(QStringLiteral("/tmp/a.kvd"));
    QCOMPARE(log.lines, QStringList({QStringLiteral("saved '/tmp/a.kvd' %1").arg(again)}));
    // Saving keeps the history.
    QVERIFY(doc.canUndo());
}

void TestQmdDocController::failedSave()
{
    QmdMemModel model(Qmd::StrDict);
    TestDoc doc;
    doc.setModel(&model);
    doc.requestSave(QStringLiteral("first"));
    doc.requestSetData(QStringLiteral("a"), 1);
    deliverRelays();
    DocLog log(&doc);
    doc.result = QFile::PermissionsError;
    const QmdRequestId rid = doc.requestSave(QStringLiteral("second"));
    QCOMPARE(log.lines,
             QStringList({QStringLiteral("saveError 'second' %1 %2")
                              .arg(int(QFile::PermissionsError))
                              .arg(rid)}));
    QCOMPARE(doc.fileName(), QStringLiteral("first"));
    QVERIFY(!doc.atCleanState());
    deliverRelays();
    QCOMPARE(log.lines.last(), QStringLiteral("finished %1 -1").arg(rid));
}

void TestQmdDocController::templateLoad()
{
    QmdMemModel model(Qmd::StrDict);
    TestDoc doc;
    doc.setModel(&model);
    deliverRelays();
    DocLog log(&doc);
    const QmdRequestId rid = doc.requestLoadTemplate(QStringLiteral("template.kvd"));
    QCOMPARE(log.lines, QStringList({"reset", QStringLiteral("template '' %1").arg(rid)}));
    QCOMPARE(doc.fileName(), QString());
    QVERIFY(doc.atCleanState());
    QVERIFY(!doc.canUndo());
    QCOMPARE(doc.data(QStringLiteral("loaded"), QmdIndex()), QVariant(true));
}

void TestQmdDocController::loadSignalsAndHistory()
{
    QmdMemModel model(Qmd::StrDict);
    TestDoc doc;
    doc.setModel(&model);
    doc.requestSetData(QStringLiteral("a"), 1);
    doc.requestSetData(QStringLiteral("a"), 2);
    doc.requestUndo();
    QVERIFY(doc.canUndo() && doc.canRedo());
    deliverRelays();
    DocLog log(&doc);
    const QmdRequestId rid = doc.requestLoad(QStringLiteral("doc.kvd"));
    QCOMPARE(doc.ids, QList<QmdRequestId>({rid}));
    QCOMPARE(log.lines,
             QStringList({"reset", QStringLiteral("loaded 'doc.kvd' %1").arg(rid),
                          QStringLiteral("name 'doc.kvd' %1").arg(rid)}));
    // A loaded document has no history to undo into.
    QVERIFY(!doc.canUndo());
    QVERIFY(!doc.canRedo());
    QVERIFY(doc.atCleanState());
}

void TestQmdDocController::failedLoadKeepsNameAndDirtyState()
{
    QmdMemModel model(Qmd::StrDict);
    TestDoc doc;
    doc.setModel(&model);
    doc.requestSave(QStringLiteral("kept.kvd"));
    doc.requestSetData(QStringLiteral("a"), 1);
    deliverRelays();
    DocLog log(&doc);
    doc.result = QFile::ReadError;
    const QmdRequestId rid = doc.requestLoad(QStringLiteral("damaged.kvd"));
    QCOMPARE(
        log.lines,
        QStringList(
            {QStringLiteral("loadError 'damaged.kvd' %1 %2").arg(int(QFile::ReadError)).arg(rid)}));
    QCOMPARE(doc.fileName(), QStringLiteral("kept.kvd"));
    QVERIFY(!doc.atCleanState());
    QVERIFY(doc.canUndo());
    log.lines.clear();
    doc.requestLoadTemplate(QStringLiteral("missing"));
    QCOMPARE(log.lines.size(), 1);
    QVERIFY(log.lines.first().startsWith(QStringLiteral("templateError 'missing'")));
}

void TestQmdDocController::elementLayoutRepair()
{
    {
        QmdMemModel model(Qmd::IntDict);
        QmdDirectModelInterface(&model).directAddData(QVariant(1), QmdIndex());
        const int history = model.currentHistoryCount();
        QmdElementDocController doc;
        doc.setModel(&model);
        QCOMPARE(doc.type(QmdIndex()), Qmd::StrDict);
        QCOMPARE(doc.keys(QmdIndex()), QStringList({"Elements"}));
        QCOMPARE(doc.type(doc.elementsRoot()), Qmd::IntDict);
        QVERIFY(!doc.hasChildren(doc.elementsRoot()));
        QCOMPARE(doc.directElementsRoot(), doc.elementsRoot());
        // The repair leaves no undo step.
        QCOMPARE(model.currentHistoryCount(), history);
    }
    {
        QmdMemModel model(Qmd::StrDict);
        QmdDirectModelInterface(&model).directSetData(QStringLiteral("Elements"), 5, QmdIndex());
        QmdElementDocController doc;
        doc.setModel(&model);
        QCOMPARE(doc.type(doc.elementsRoot()), Qmd::IntDict);
        doc.requestAddElement(2, {}, {}, QmdRequestOptions(QStringLiteral("Add")));
        doc.requestAddElement(4, {}, {}, QmdRequestOptions(QStringLiteral("Add")));
        // A correct document keeps its elements.
        doc.reset();
        QCOMPARE(doc.elements(), QmdItemIdList({1, 2}));
        QCOMPARE(doc.elementType(2), 4);
    }
}

void TestQmdDocController::addElement()
{
    QmdMemModel model;
    QmdElementDocController doc;
    doc.setModel(&model);
    QmdItemId id = 0;
    const QmdRequestId rid = doc.requestAddElement(
        2, {{QStringLiteral("Notes"), QStringLiteral("C3")}, {QStringLiteral("Type"), 9}},
        {{QStringLiteral("ArcIdentifiers"), Qmd::IntDict}},
        QmdRequestOptions(QStringLiteral("Add Node")), &id);
    QVERIFY(rid != 0);
    QCOMPARE(id, QmdItemId(1));
    QCOMPARE(doc.elementType(id), 2);
    QCOMPARE(doc.undoText(), QStringLiteral("Add Node"));
    const QmdIndex element = doc.elementIndex(id);
    QVERIFY(doc.isElement(element));
    QVERIFY(!doc.isElement(doc.elementsRoot()));
    QCOMPARE(doc.type(doc.index(QStringLiteral("ArcIdentifiers"), element)), Qmd::IntDict);
    QCOMPARE(doc.elementType(77), 0);

    // Without a pointer the element still gets its id.
    doc.requestAddElement(3, {}, {}, QmdRequestOptions(QStringLiteral("Add Text")));
    QCOMPARE(doc.elements(), QmdItemIdList({1, 2}));

    doc.beginRequest(QmdRequestOptions(QStringLiteral("Edit")));
    QCOMPARE(doc.directElementData(1, QStringLiteral("Notes")), QVariant(QStringLiteral("C3")));
    doc.directSetElementData(1, QStringLiteral("Notes"), QStringLiteral("D3"));
    QVERIFY(!doc.directElementData(9, QStringLiteral("Notes")).isValid());
    doc.endRequest(model.requestId());
    QCOMPARE(doc.data(QStringLiteral("Notes"), element), QVariant(QStringLiteral("D3")));
}

void TestQmdDocController::elementSignals()
{
    QmdMemModel model;
    QmdElementDocController doc;
    doc.setModel(&model);
    deliverRelays();
    QStringList log;
    connect(&doc, &QmdElementDocController::elementsAdded, this,
            [&](const QmdItemIdList& ids, QmdRequestId) {
                log.append(QStringLiteral("added %1").arg(ids.size()));
            });
    connect(&doc, &QmdElementDocController::elementsRemoved, this,
            [&](const QmdItemIdList& ids, QmdRequestId) {
                QStringList parts;
                for (QmdItemId id : ids)
                    parts.append(QString::number(id));
                log.append(QStringLiteral("removed ") + parts.join(','));
            });
    connect(&doc, &QmdElementDocController::elementDataChanged, this,
            [&](QmdItemId id, const QStringList& keys, QmdRequestId) {
                log.append(QStringLiteral("data %1 %2").arg(id).arg(keys.join(',')));
            });
    connect(&doc, &QmdElementDocController::elementDataRemoved, this,
            [&](QmdItemId id, const QStringList& keys, QmdRequestId) {
                log.append(QStringLiteral("dataRemoved %1 %2").arg(id).arg(keys.join(',')));
            });
    doc.requestAddElement(2, {{QStringLiteral("Notes"), QStringLiteral("C3")}},
                          {{QStringLiteral("ArcIdentifiers"), Qmd::IntDict}},
                          QmdRequestOptions(QStringLiteral("Add")));
    doc.requestAddElement(2, {}, {}, QmdRequestOptions(QStringLiteral("Add")));
    deliverRelays();
    QCOMPARE(log,
             QStringList({"added 1", "data 1 Notes,Type", "data 1 ArcIdentifiers", "added 1",
                          "data 2 Type"}));
    log.clear();
    // Below an element's own keys only the generic signals come.
    doc.requestAddData(1, doc.index(QStringLiteral("ArcIdentifiers"), doc.elementIndex(1)));
    doc.requestRemove(QStringLiteral("Notes"), doc.elementIndex(1));
    doc.requestRemove(QmdItemIdList {1, 2}, doc.elementsRoot());
    deliverRelays();
    QCOMPARE(log, QStringList({"dataRemoved 1 Notes", "removed 1,2"}));
    log.clear();
    doc.requestUndo();
    deliverRelays();
    QCOMPARE(log, QStringList({"added 2"}));
}

QTEST_GUILESS_MAIN(TestQmdDocController)
#include "tst_qmddoccontroller.moc"
