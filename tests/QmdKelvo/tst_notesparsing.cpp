// The parse driver and the tree walks that serve the rest of the program: validateNotes and its
// token map, listText, the callback contract of parseNotes, parsing from several threads, and
// the developer's self-test.
#include "KelvoNotesLimits.h"
#include "KelvoNotesParse.h"
#include "KelvoNotesTree.h"
#include "NotesTestSupport.h"

#include <QProcess>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

// Generated header last: it defines token macros and undefines EOF.
#include "KelvoNotesParser.h"

using namespace KelvoNotes;

// A token map in the form "start=length/kind ...", in ascending start order.
static QString mapText(const NotesTokenMap& map)
{
    QStringList entries;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        entries.append(QStringLiteral("%1=%2/%3")
                           .arg(it.key())
                           .arg(it.value().first)
                           .arg(int(it.value().second)));
    return entries.join(QLatin1Char(' '));
}

// What the notes-tree conversion stores, written out: a group as its signalling method (0
// sequential, 1 parallel, 2 random) followed by its items in parentheses, a note as its list
// keys with their listText. Other nodes are written as "?".
static QString outline(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* node)
{
    const ANTLR3_UINT32 type = node->getType(node);
    const ANTLR3_UINT32 count = node->getChildCount(node);
    auto childAt = [node](ANTLR3_UINT32 i) {
        return static_cast<ANTLR3_BASE_TREE*>(node->getChild(node, i));
    };
    if (type == AST_SEQUENTIAL_NODE || type == AST_PARALLEL_NODE || type == AST_RANDOM_NODE) {
        const int method = type == AST_SEQUENTIAL_NODE ? 0 : type == AST_PARALLEL_NODE ? 1 : 2;
        QStringList items;
        for (ANTLR3_UINT32 i = 0; i < count; ++i)
            items.append(outline(adaptor, childAt(i)));
        return QString::number(method) + QLatin1Char('(') + items.join(QLatin1Char(' '))
            + QLatin1Char(')');
    }
    if (type == AST_NOTE_NODE) {
        QStringList lists;
        for (ANTLR3_UINT32 i = 0; i < count; ++i) {
            ANTLR3_BASE_TREE* list = childAt(i);
            const ANTLR3_UINT32 listType = list->getType(list);
            const QString key = listType == AST_PITCH_LIST ? "PitchList"
                : listType == AST_VELOCITY_LIST            ? "VelocityList"
                : listType == AST_DURATION_LIST            ? "DurationList"
                                                           : QString();
            if (!key.isEmpty())
                lists.append(key + QLatin1Char('=') + listText(adaptor, list, ","));
        }
        return lists.join(QLatin1Char(';'));
    }
    return QStringLiteral("?");
}

class TestNotesParsing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tokenMap_data();
    void tokenMap();
    void tokenMapIsNotCleared();
    void tooDeepTextHasNoEntries();
    void listTexts_data();
    void listTexts();
    void listTextSeparator();
    void callbackContract_data();
    void callbackContract();
    void emptyCallback();
    void parseInsideCallback();
    void parallelParses();
    void selfTest_data();
    void selfTest();
};

// ---- Token map -------------------------------------------------------------------------

void TestNotesParsing::tokenMap_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("map");

    QTest::newRow("empty") << "" << true << "";
    QTest::newRow("C3") << "C3" << true << "0=2/1";
    QTest::newRow("default notes") << "C3:96:100%" << true << "0=2/1 3=2/2 6=4/3";
    QTest::newRow("span covers separators") << "C3, E3" << true << "0=6/1";
    QTest::newRow("duration only") << "C3::*2" << true << "0=2/1 4=2/3";
    QTest::newRow("lists with blanks")
        << "[C3 , +2 : 96 , -4 : *2, 50%]" << true << "1=7/1 11=7/2 21=7/3";
    QTest::newRow("notes in groups")
        << "(C3:1) {D3 [E3:2:3]}" << true << "1=2/1 4=1/2 8=2/1 12=2/1 15=1/2 17=1/3";
    QTest::newRow("comment inside a list") << "C3, // more\nE3" << true << "0=14/1";

    // The lexer drops the X; both notes keep their entries.
    QTest::newRow("C3 X D3") << "C3 X D3" << false << "0=2/1 5=2/1";

    // Offsets count bytes of the UTF-8 text: é is two bytes, € three; a character beyond
    // U+FFFF (four bytes) cannot stand in a comment, so it is a lexical error.
    QTest::newRow("two-byte character in a comment")
        << QString::fromUtf8("// \u00e9\nC3:96") << true << "6=2/1 9=2/2";
    QTest::newRow("three-byte characters in a comment")
        << QString::fromUtf8("// \u20ac\u20ac\nC3") << true << "10=2/1";
    QTest::newRow("four-byte character after a comment")
        << QString::fromUtf8("// \U0001F600\nC3") << false << "8=2/1";
    QTest::newRow("non-ASCII between the items of a list")
        << QString::fromUtf8("C3, // \u00e9\nE3") << true << "0=12/1";

    // Lists whose first or last token has no place in the text go under -1 with length 0:
    // here the parser made up the missing number after the '+' ...
    QTest::newRow("made-up last token") << "C3:+" << false << "-1=0/2 0=2/1";
    QTest::newRow("made-up token in a pitch") << "+ C3" << false << "-1=0/1 2=2/1";
    // ... and here an item of the list failed and became an error node.
    QTest::newRow("error node last") << "C3,:96" << false << "-1=0/1 4=2/2";
    QTest::newRow("error node first") << "C3::%" << false << "-1=0/3 0=2/1";
    QTest::newRow("later -1 entry replaces") << "C3:+ D3::%" << false << "-1=0/3 0=2/1 5=2/1";
}

void TestNotesParsing::tokenMap()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, map);
    NotesTokenMap tokens;
    QCOMPARE(validateNotes(text, tokens), valid);
    QCOMPARE(mapText(tokens), map);
}

void TestNotesParsing::tokenMapIsNotCleared()
{
    NotesTokenMap tokens;
    tokens.insert(100, qMakePair(5, DurationListToken));
    tokens.insert(0, qMakePair(9, DurationListToken));
    QVERIFY(validateNotes("C3:96", tokens));
    QCOMPARE(mapText(tokens), "0=2/1 3=2/2 100=5/3");
}

void TestNotesParsing::tooDeepTextHasNoEntries()
{
    const QString text = QString(KELVO_NOTES_MAX_DEPTH + 1, QLatin1Char('[')) + "C3"
        + QString(KELVO_NOTES_MAX_DEPTH + 1, QLatin1Char(']'));
    NotesTokenMap tokens;
    QVERIFY(!validateNotes(text, tokens));
    QVERIFY(tokens.isEmpty());

    // One level less is fine.
    const QString allowed = text.mid(1, text.size() - 2);
    QVERIFY(validateNotes(allowed, tokens));
    QCOMPARE(mapText(tokens), QStringLiteral("%1=2/1").arg(KELVO_NOTES_MAX_DEPTH));
}

// ---- List texts and the notes-tree outline ---------------------------------------------

void TestNotesParsing::listTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("outline");

    QTest::newRow("C3") << "C3"
                        << "0(PitchList=C3)";
    QTest::newRow("empty") << ""
                           << "0()";
    QTest::newRow("groups") << "[C3 E3] {D3}"
                            << "0(1(PitchList=C3 PitchList=E3) 2(PitchList=D3))";
    QTest::newRow("empty groups") << "() [] {}"
                                  << "0(0() 1() 2())";
    QTest::newRow("default notes") << "C3:96:100%"
                                   << "0(PitchList=C3;VelocityList=96;DurationList=100%)";
    QTest::newRow("white space is gone") << "C3 , +2 : 96"
                                         << "0(PitchList=C3,+2;VelocityList=96)";
    QTest::newRow("durations") << "C3::*2, 50%"
                               << "0(PitchList=C3;DurationList=*2,50%)";
    QTest::newRow("case is kept") << "c#3,f#-1,E3:-10,+5:/3,1e2,-0.5"
                                  << "0(PitchList=c#3,f#-1,E3;VelocityList=-10,+5;"
                                     "DurationList=/3,1e2,-0.5)";
    QTest::newRow("comments are gone") << "(C3 // first\n, E3 : 1 // then\n) +2"
                                       << "0(0(PitchList=C3,E3;VelocityList=1) PitchList=+2)";
    QTest::newRow("example") << "C3:96 (D3,+2::1.5)"
                             << "0(PitchList=C3;VelocityList=96 0(PitchList=D3,+2;"
                                "DurationList=1.5))";
}

void TestNotesParsing::listTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, outline);
    QString got;
    QVERIFY(parseNotes(text, [&](bool, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* t) {
        got = ::outline(adaptor, t);
    }));
    QCOMPARE(got, outline);
}

void TestNotesParsing::listTextSeparator()
{
    QStringList texts;
    QVERIFY(parseNotes(
        "C3 , +2 : 96", [&](bool, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* root) {
            auto* note = static_cast<ANTLR3_BASE_TREE*>(root->getChild(root, 0));
            auto* pitches = static_cast<ANTLR3_BASE_TREE*>(note->getChild(note, 0));
            texts.append(listText(adaptor, pitches, " ; "));
            texts.append(listText(adaptor, pitches, QString()));
            // An item on its own: its tokens run together.
            texts.append(listText(
                adaptor, static_cast<ANTLR3_BASE_TREE*>(pitches->getChild(pitches, 1)), "-"));
        }));
    QCOMPARE(texts, QStringList({"C3 ; +2", "C3+2", "+-2"}));
}

// ---- parseNotes ------------------------------------------------------------------------

void TestNotesParsing::callbackContract_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("valid") << "C3:96 (D3 E3)" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("invalid") << "C3:" << false;
    QTest::newRow("lexical error") << "C3 X" << false;
}

void TestNotesParsing::callbackContract()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    int calls = 0;
    bool okArg = !valid;
    ANTLR3_UINT32 rootType = 0;
    const bool ok
        = parseNotes(text, [&](bool o, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree) {
              ++calls;
              okArg = o;
              QVERIFY(adaptor);
              QVERIFY(tree);
              rootType = tree->getType(tree);
          });
    QCOMPARE(calls, 1);
    QCOMPARE(ok, valid);
    QCOMPARE(okArg, valid);
    if (valid)
        QCOMPARE(rootType, ANTLR3_UINT32(AST_SEQUENTIAL_NODE));
}

void TestNotesParsing::emptyCallback()
{
    QVERIFY(parseNotes("C3:96", {}));
    QVERIFY(!parseNotes("C3:", {}));
}

void TestNotesParsing::parseInsideCallback()
{
    // The callback runs outside the parser's lock, so it may parse again; the outer tree stays
    // intact meanwhile.
    QString inner;
    QString outerBefore;
    QString outerAfter;
    QVERIFY(parseNotes("C3:96", [&](bool, ANTLR3_BASE_TREE_ADAPTOR*, ANTLR3_BASE_TREE* tree) {
        outerBefore = notesTreeString(tree);
        NotesTokenMap map;
        QVERIFY(validateNotes("[D3 E3]", map));
        inner = mapText(map);
        outerAfter = notesTreeString(tree);
    }));
    QCOMPARE(inner, "1=2/1 4=2/1");
    QCOMPARE(outerAfter, outerBefore);
    QCOMPARE(outerBefore,
             "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM "
             "C3)) (AST_VELOCITY_LIST (AST_LIST_ITEM 96))))");
}

void TestNotesParsing::parallelParses()
{
    // Every note resets and counts the shared colon counter; if two parses ran at once, the
    // list predicates would fail on the other parse's counter and valid texts would come out
    // invalid or with the wrong lists.
    struct Case
    {
        QString text;
        bool valid;
        QString map;
    };
    const QString manyNotes = QString("C3:1:2 D3::4 E3:5 ").repeated(50);
    QString manyMap;
    for (int i = 0; i < 50; ++i) {
        const int base = i * 18;
        manyMap += QStringLiteral("%1=2/1 %2=1/2 %3=1/3 %4=2/1 %5=1/3 %6=2/1 %7=1/2 ")
                       .arg(base)
                       .arg(base + 3)
                       .arg(base + 5)
                       .arg(base + 7)
                       .arg(base + 11)
                       .arg(base + 13)
                       .arg(base + 16);
    }
    const std::vector<Case> cases = {
        {"C3:96:100%", true, "0=2/1 3=2/2 6=4/3"},
        {"C3 X D3", false, "0=2/1 5=2/1"},
        {manyNotes, true, manyMap.trimmed()},
        {QString(KELVO_NOTES_MAX_DEPTH + 1, QLatin1Char('(')), false, ""},
    };

    constexpr int threadCount = 8;
    constexpr int rounds = 40;
    std::atomic<int> failures {0};
    std::atomic<int> checks {0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < rounds; ++round) {
                const Case& c = cases[(t + round) % cases.size()];
                NotesTokenMap map;
                const bool ok = validateNotes(c.text, map);
                if (ok != c.valid || mapText(map) != c.map)
                    ++failures;
                ++checks;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(checks.load(), threadCount * rounds);
    QCOMPARE(failures.load(), 0);
}

// ---- unitTestNotes ---------------------------------------------------------------------

void TestNotesParsing::selfTest_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("valid as expected")
        << "C3" << true << 0
        << QStringList({"Testing: \"C3\", expecting success = true",
                        "  - tree: \"(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST "
                        "(AST_LIST_ITEM C3))))\"",
                        "  - result = true"});
    QTest::newRow("invalid as expected")
        << "C3:" << false << 0
        << QStringList({"Testing: \"C3:\", expecting success = false", "  - result = false"});
    QTest::newRow("unexpectedly invalid")
        << "C3:" << true << 1
        << QStringList({"Testing: \"C3:\", expecting success = true", "  - result = false",
                        "ERROR: unexpected result, aborting..."});
    QTest::newRow("unexpectedly valid")
        << "E3" << false << 1
        << QStringList({"Testing: \"E3\", expecting success = false",
                        "  - tree: \"(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST "
                        "(AST_LIST_ITEM E3))))\"",
                        "  - result = true", "ERROR: unexpected result, aborting..."});
}

void TestNotesParsing::selfTest()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_MESSAGE_PATTERN", "%{message}");
    process.setProcessEnvironment(environment);
    process.start(KELVO_NOTES_SELFTEST, {text, expected ? "true" : "false"});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QString output = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(output.split(QLatin1Char('\n'), Qt::SkipEmptyParts), lines);
}

QTEST_GUILESS_MAIN(TestNotesParsing)
#include "tst_notesparsing.moc"
