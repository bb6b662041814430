#include "ModelSignalRecorder.h"
#include "QmdMemModel.h"
#include "QmdPropertyListExporter.h"
#include "QmdPropertyListImporter.h"

#include <QBitArray>
#include <QBuffer>
#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
const QByteArray documentType = "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n";
const QByteArray head = declaration + documentType + "<plist version=\"1.0\">\n";

// A root StrDict holding "Tempo" with the int 120 and "Elements" with an empty IntDict,
// written with "Tempo" listed first.
const QByteArray sampleFile = head
    + "    <dict>\n"
      "        <key>ContainerType</key>\n"
      "        <string>StrDict</string>\n"
      "        <key>Tempo</key>\n"
      "        <integer>120</integer>\n"
      "        <key>Elements</key>\n"
      "        <dict>\n"
      "            <key>ContainerType</key>\n"
      "            <string>IntDict</string>\n"
      "        </dict>\n"
      "    </dict>\n"
      "</plist>";

const QString invalidKey = QStringLiteral("TODO: handle key INVALID error");
const QString missingKey = QStringLiteral("TODO: handle key MISSING error");
const QString twoKeys = QStringLiteral("TODO: handle twos idList in a row error");
const QString badContainerType = QStringLiteral("TODO: handle ContainerType error");
const QString nothingToRead = QStringLiteral("The file holds no item that can be read.");
const QRegularExpression parseError(QStringLiteral("^Parse error at line \\d+, column \\d+:\n."));

// Lists the children of string-keyed containers in descending key order.
class DescendingKeysModel : public QmdMemModel
{
public:
    using QmdMemModel::QmdMemModel;

    QmdIndexList children(const QmdIndex& index) const override
    {
        QmdIndexList list = QmdMemModel::children(index);
        if (type(index) == Qmd::StrDict)
            std::reverse(list.begin(), list.end());
        return list;
    }
};

// Accepts the first `limit` bytes, then fails every write.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 limit)
        : m_limit(limit)
    { }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 length) override
    {
        if (m_written + length > m_limit)
            return -1;
        m_written += length;
        return length;
    }

private:
    qint64 m_limit;
    qint64 m_written = 0;
};

QByteArray writeModel(QmdModel* model, const QmdIndex& item = QmdIndex(), bool* ok = nullptr,
                      const QSet<QmdIndex>& excluded = {})
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QmdPropertyListExporter exporter(model, &buffer);
    exporter.setExcludedIndexes(excluded);
    const bool written = exporter.writeDocument(item);
    if (ok)
        *ok = written;
    return buffer.data();
}

bool readBytes(const QByteArray& bytes, QmdModel* model, const QmdIndex& target = QmdIndex())
{
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QmdPropertyListImporter importer(model, &buffer);
    return importer.readDocument(target);
}

// A file whose plist holds body.
QByteArray plist(const QByteArray& body)
{
    return declaration + "<plist version=\"1.0\">" + body + "</plist>";
}

QByteArray strDict(const QByteArray& entries)
{
    return "<dict><key>ContainerType</key><string>StrDict</string>" + entries + "</dict>";
}

QByteArray intDict(const QByteArray& entries)
{
    return "<dict><key>ContainerType</key><string>IntDict</string>" + entries + "</dict>";
}

// The tree at index as text: {key=...} for a StrDict, [id=...] for an IntDict, type(text)
// for a value, and - for an item without a value.
QString dump(QmdModel* model, const QmdIndex& index = QmdIndex())
{
    QmdDirectModelInterface d(model);
    QStringList parts;
    switch (d.directType(index)) {
    case Qmd::IntDict:
        for (const QmdIndex& child : d.directChildren(index))
            parts.append(QString::number(child.itemId()) + '=' + dump(model, child));
        return '[' + parts.join(',') + ']';
    case Qmd::StrDict:
        for (const QmdIndex& child : d.directChildren(index))
            parts.append(child.key() + '=' + dump(model, child));
        return '{' + parts.join(',') + '}';
    case Qmd::NoContainer:
        break;
    }
    const QVariant value = d.directData(index);
    if (!value.isValid())
        return QStringLiteral("-");
    return QString::fromLatin1(value.metaType().name()) + '(' + value.toString() + ')';
}

// A model with a StrDict root that holds key "v" with value.
void setValue(QmdMemModel* model, const QVariant& value)
{
    QmdDirectModelInterface(model).directSetData(QStringLiteral("v"), value, QmdIndex());
}

QmdIndex childIndex(QmdModel* model, const QString& key, const QmdIndex& parent = QmdIndex())
{
    return model->index(key, parent);
}

// A model with containers nested depth deep below a StrDict root, each under the key "d",
// the innermost holding "leaf" = 1.
void nest(QmdMemModel* model, int depth)
{
    QmdDirectModelInterface d(model);
    QmdIndex parent;
    for (int level = 1; level < depth; ++level) {
        d.directSetType(QStringLiteral("d"), Qmd::StrDict, parent);
        parent = d.directIndex(QStringLiteral("d"), parent);
    }
    d.directSetData(QStringLiteral("leaf"), 1, parent);
}

QByteArray nestedDicts(int depth)
{
    QByteArray body = "<key>leaf</key><integer>1</integer>";
    for (int level = 0; level < depth; ++level)
        body = "<dict><key>ContainerType</key><string>StrDict</string>" + body + "</dict>";
    // Every dict but the outermost is the value of a key.
    body.replace("StrDict</string><dict>", "StrDict</string><key>d</key><dict>");
    return plist(body);
}

int depthOf(QmdModel* model)
{
    int depth = model->type(QmdIndex()) == Qmd::NoContainer ? 0 : 1;
    QmdIndex index = model->index(QStringLiteral("d"), QmdIndex());
    while (index.isValid()) {
        ++depth;
        index = model->index(QStringLiteral("d"), index);
    }
    return depth;
}

} // namespace

class TestQmdPropertyList : public QObject
{
    Q_OBJECT

private slots:
    void sampleFile();
    void emptyContainers();
    void nestedContainers();
    void values_data();
    void values();
    void valuesRead_data();
    void valuesRead();
    void emptyStringIsNotNull();
    void encodings();
    void plistHead_data();
    void plistHead();
    void containerType();
    void malformedEntries();
    void repeatedKeys();
    void badIds();
    void refusedFiles_data();
    void refusedFiles();
    void truncatedFiles();
    void nestingLimit();
    void largeFiles();
    void externalEntitiesAreNotRead();
    void readerDevice();
    void writerDevice();
    void fileInTextMode();
    void charactersXmlDoesNotAllow();
    void excludedSet();
    void subtreesAndClipboard();
    void readIntoTarget();
    void readerSignals();
    void subclassHooks();
};

void TestQmdPropertyList::sampleFile()
{
    // A model that lists "Tempo" first gives the file byte for byte.
    DescendingKeysModel descending(Qmd::StrDict);
    QmdDirectModelInterface d(&descending);
    d.directSetData(QStringLiteral("Tempo"), 120, QmdIndex());
    d.directSetType(QStringLiteral("Elements"), Qmd::IntDict, QmdIndex());
    bool ok = false;
    QCOMPARE(writeModel(&descending, QmdIndex(), &ok), ::sampleFile);
    QVERIFY(ok);

    // The in-memory model lists keys in ascending order, and the file follows it.
    QmdMemModel ascending(Qmd::StrDict);
    QmdDirectModelInterface a(&ascending);
    a.directSetData(QStringLiteral("Tempo"), 120, QmdIndex());
    a.directSetType(QStringLiteral("Elements"), Qmd::IntDict, QmdIndex());
    const QByteArray elements = "        <key>Elements</key>\n"
                                "        <dict>\n"
                                "            <key>ContainerType</key>\n"
                                "            <string>IntDict</string>\n"
                                "        </dict>\n";
    const QByteArray tempo = "        <key>Tempo</key>\n"
                             "        <integer>120</integer>\n";
    QCOMPARE(writeModel(&ascending),
             head
                 + "    <dict>\n"
                   "        <key>ContainerType</key>\n"
                   "        <string>StrDict</string>\n"
                 + elements + tempo + "    </dict>\n</plist>");

    QmdMemModel readBack;
    QVERIFY(readBytes(::sampleFile, &readBack));
    QCOMPARE(dump(&readBack), QStringLiteral("{Elements=[],Tempo=int(120)}"));
}

void TestQmdPropertyList::emptyContainers()
{
    QmdMemModel empty(Qmd::StrDict);
    const QByteArray emptyFile = head
        + "    <dict>\n"
          "        <key>ContainerType</key>\n"
          "        <string>StrDict</string>\n"
          "    </dict>\n"
          "</plist>";
    QCOMPARE(writeModel(&empty), emptyFile);

    // Reading replaces whatever the target held.
    QmdMemModel target(Qmd::IntDict);
    QmdDirectModelInterface(&target).directAddData(QVariant(5), QmdIndex());
    QVERIFY(readBytes(emptyFile, &target));
    QCOMPARE(target.type(QmdIndex()), Qmd::StrDict);
    QCOMPARE(dump(&target), QStringLiteral("{}"));

    QmdMemModel emptyIds(Qmd::IntDict);
    QmdMemModel idsBack;
    QVERIFY(readBytes(writeModel(&emptyIds), &idsBack));
    QCOMPARE(dump(&idsBack), QStringLiteral("[]"));
}

void TestQmdPropertyList::nestedContainers()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    d.directSetType(QStringLiteral("Elements"), Qmd::IntDict, QmdIndex());
    const QmdIndex elements = d.directIndex(QStringLiteral("Elements"), QmdIndex());
    for (QmdItemId id : {QmdItemId(1), QmdItemId(70000), QmdItemId(4294967295u)}) {
        d.directSetType(id, Qmd::StrDict, elements);
        const QmdIndex element = d.directIndex(id, elements);
        d.directSetData(QStringLiteral("Type"), int(id % 5), element);
        d.directSetData(QStringLiteral("Name"), QStringLiteral("n%1").arg(id), element);
        d.directSetType(QStringLiteral("Ids"), Qmd::IntDict, element);
        d.directSetData(QmdItemId(3), true, d.directIndex(QStringLiteral("Ids"), element));
    }
    d.directSetType(QStringLiteral("Outer"), Qmd::StrDict, QmdIndex());
    const QmdIndex outer = d.directIndex(QStringLiteral("Outer"), QmdIndex());
    d.directSetType(QStringLiteral("Inner"), Qmd::IntDict, outer);
    d.directSetType(QStringLiteral("Empty"), Qmd::StrDict, outer);

    QmdMemModel readBack;
    QVERIFY(readBytes(writeModel(&model), &readBack));
    QCOMPARE(dump(&readBack), dump(&model));
    QCOMPARE(readBack.type(readBack.index(QStringLiteral("Inner"), childIndex(&readBack, "Outer"))),
             Qmd::IntDict);
    QCOMPARE(dump(&readBack, childIndex(&readBack, "Elements")),
             QStringLiteral("[1={Ids=[3=bool(true)],Name=QString(n1),Type=int(1)},"
                            "70000={Ids=[3=bool(true)],Name=QString(n70000),Type=int(0)},"
                            "4294967295={Ids=[3=bool(true)],Name=QString(n4294967295),"
                            "Type=int(0)}]"));
}

void TestQmdPropertyList::values_data()
{
    QTest::addColumn<QVariant>("value");
    // The element written, or empty where the form of the escapes is the writer's choice.
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<QVariant>("expected");

    const auto row
        = [](const char* name, const QVariant& value, const QByteArray& element,
             const QVariant& expected) { QTest::newRow(name) << value << element << expected; };
    row("true", true, "<true/>", true);
    row("false", false, "<false/>", false);
    row("int 0", 0, "<integer>0</integer>", 0);
    row("int -1", -1, "<integer>-1</integer>", -1);
    row("int min", std::numeric_limits<int>::min(), "<integer>-2147483648</integer>",
        std::numeric_limits<int>::min());
    row("int max", std::numeric_limits<int>::max(), "<integer>2147483647</integer>",
        std::numeric_limits<int>::max());
    row("int max + 1", qlonglong(2147483648LL), "<integer>2147483648</integer>",
        qlonglong(2147483648LL));
    row("uint small", 7u, "<integer>7</integer>", 7);
    // Numbers that do not fit in an int come back as 64-bit numbers.
    row("uint max", std::numeric_limits<uint>::max(), "<integer>4294967295</integer>",
        qlonglong(4294967295LL));
    row("qulonglong small", qulonglong(5), "<integer>5</integer>", 5);
    row("qulonglong max", std::numeric_limits<qulonglong>::max(),
        "<integer>18446744073709551615</integer>", std::numeric_limits<qulonglong>::max());
    row("real", 2.5, "<real>2.5</real>", 2.5);
    row("real whole", 120.0, "<real>120</real>", 120.0);
    row("real negative", -0.125, "<real>-0.125</real>", -0.125);
    // Reals keep 15 significant digits.
    row("real sum", 0.1 + 0.2, "<real>0.3</real>", 0.3);
    row("real third", 1.0 / 3.0, "<real>0.333333333333333</real>", 0.333333333333333);
    row("real large", 1e300, "<real>1e+300</real>", 1e300);
    row("real small", 1.5e-10, "<real>1.5e-10</real>", 1.5e-10);
    row("real inf", qInf(), "<real>inf</real>", qInf());
    row("real -inf", -qInf(), "<real>-inf</real>", -qInf());
    row("real nan", qQNaN(), "<real>nan</real>", qQNaN());
    row("qlonglong", qlonglong(-9000000000LL), "<integer>-9000000000</integer>",
        qlonglong(-9000000000LL));
    row("string", QStringLiteral("Node"), "<string>Node</string>", QStringLiteral("Node"));
    row("string empty", QString(QLatin1String("")), "<string></string>",
        QString(QLatin1String("")));
    row("string blanks", QStringLiteral("   "), "<string>   </string>", QStringLiteral("   "));
    row("string padded", QStringLiteral(" a b "), "<string> a b </string>",
        QStringLiteral(" a b "));
    row("string tab and line feed", QStringLiteral("a\tb\nc"), "<string>a\tb\nc</string>",
        QStringLiteral("a\tb\nc"));
    row("string carriage return", QStringLiteral("a\rb"), "<string>a&#13;b</string>",
        QStringLiteral("a\rb"));
    row("string line ends", QStringLiteral("\r\n\r"), "<string>&#13;\n&#13;</string>",
        QStringLiteral("\r\n\r"));
    row("string markup", QStringLiteral("<a href=\"x\">&amp;</a> ]]> '"), QByteArray(),
        QStringLiteral("<a href=\"x\">&amp;</a> ]]> '"));
    row("string unicode", QStringLiteral("Gr\u00fc\u00dfe \u266a \U0001F3B5"),
        "<string>Gr\xc3\xbc\xc3\x9f"
        "e \xe2\x99\xaa \xf0\x9f\x8e\xb5</string>",
        QStringLiteral("Gr\u00fc\u00dfe \u266a \U0001F3B5"));
    row("byte array", QByteArray("bytes"), "<string>bytes</string>", QStringLiteral("bytes"));
    row("date", QDate(2024, 2, 29), "<string>2024-02-29</string>", QStringLiteral("2024-02-29"));
    row("float", 1.5f, "<string>1.5</string>", QStringLiteral("1.5"));
    // Values without a text form, and invalid values, come back as empty strings.
    row("bit array", QBitArray(3, true), "<string></string>", QString(QLatin1String("")));
    row("invalid", QVariant(), "<string></string>", QString(QLatin1String("")));
    // Characters that XML does not allow are dropped.
    row("string controls",
        QStringLiteral("a\x01"
                       "b\x1f"
                       "c\x0b"
                       "d\x0c"),
        "<string>abcd</string>", QStringLiteral("abcd"));
    row("string nul", QString(QChar(0)) + QStringLiteral("x"), "<string>x</string>",
        QStringLiteral("x"));
    row("string non-characters",
        QStringLiteral("a") + QChar(0xFFFE) + QStringLiteral("b") + QChar(0xFFFF),
        "<string>ab</string>", QStringLiteral("ab"));
    row("string lone surrogates",
        QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b") + QChar(0xDC00) + QChar(0xDC00)
            + QChar(0xD800),
        "<string>ab</string>", QStringLiteral("ab"));
}

void TestQmdPropertyList::values()
{
    QFETCH(QVariant, value);
    QFETCH(QByteArray, element);
    QFETCH(QVariant, expected);

    QmdMemModel model(Qmd::StrDict);
    setValue(&model, value);
    bool ok = false;
    const QByteArray file = writeModel(&model, QmdIndex(), &ok);
    QVERIFY(ok);
    if (!element.isEmpty())
        QVERIFY2(file.contains("\n        <key>v</key>\n        " + element + "\n    </dict>"),
                 file.constData());

    // What the first cycle reads back, a second cycle keeps.
    QByteArray cycleFile = file;
    for (int cycle = 0; cycle < 2; ++cycle) {
        QmdMemModel readBack;
        QVERIFY(readBytes(cycleFile, &readBack));
        const QVariant back = readBack.data(childIndex(&readBack, "v"));
        QCOMPARE(back.metaType(), expected.metaType());
        if (expected.typeId() == QMetaType::Double && std::isnan(expected.toDouble()))
            QVERIFY(std::isnan(back.toDouble()));
        else
            QCOMPARE(back, expected);
        cycleFile = writeModel(&readBack);
    }
}

void TestQmdPropertyList::valuesRead_data()
{
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<QString>("expected");

    QTest::newRow("integer") << QByteArray("<integer>12</integer>") << "int(12)";
    QTest::newRow("integer signed") << QByteArray("<integer>-12</integer>") << "int(-12)";
    QTest::newRow("integer below int")
        << QByteArray("<integer>-2147483649</integer>") << "qlonglong(-2147483649)";
    QTest::newRow("integer qlonglong max")
        << QByteArray("<integer>9223372036854775807</integer>") << "qlonglong(9223372036854775807)";
    QTest::newRow("integer unsigned only") << QByteArray("<integer>9223372036854775808</integer>")
                                           << "qulonglong(9223372036854775808)";
    QTest::newRow("integer too large")
        << QByteArray("<integer>18446744073709551616</integer>") << "int(0)";
    QTest::newRow("integer text") << QByteArray("<integer>abc</integer>") << "int(0)";
    QTest::newRow("integer trailing text") << QByteArray("<integer>12abc</integer>") << "int(0)";
    QTest::newRow("integer fraction") << QByteArray("<integer>1.5</integer>") << "int(0)";
    QTest::newRow("integer empty") << QByteArray("<integer/>") << "int(0)";
    QTest::newRow("real") << QByteArray("<real>2.5</real>") << "double(2.5)";
    QTest::newRow("real exponent") << QByteArray("<real>1e3</real>") << "double(1000)";
    QTest::newRow("real text") << QByteArray("<real>x</real>") << "double(0)";
    QTest::newRow("real empty") << QByteArray("<real/>") << "double(0)";
    QTest::newRow("string") << QByteArray("<string>Node</string>") << "QString(Node)";
    QTest::newRow("string empty") << QByteArray("<string/>") << "QString()";
    QTest::newRow("string with elements")
        << QByteArray("<string>a<b>c<i>d</i></b>e</string>") << "QString(acde)";
    QTest::newRow("string references")
        << QByteArray("<string>&#x41;&#66;&amp;&lt;</string>") << "QString(AB&<)";
    QTest::newRow("string cdata") << QByteArray("<string><![CDATA[<x>&]]></string>")
                                  << "QString(<x>&)";
    QTest::newRow("string around comment")
        << QByteArray("<string>a<!-- note -->b</string>") << "QString(ab)";
    QTest::newRow("true") << QByteArray("<true/>") << "bool(true)";
    QTest::newRow("true with text") << QByteArray("<true>no</true>") << "bool(true)";
    QTest::newRow("false") << QByteArray("<false/>") << "bool(false)";
    // Elements the reader does not know give no value, but the key exists.
    QTest::newRow("date") << QByteArray("<date>2024-02-29T00:00:00Z</date>") << "-";
    QTest::newRow("array") << QByteArray("<array><string>a</string></array>") << "-";
    QTest::newRow("nested dict as string")
        << QByteArray("<string><dict><key>ContainerType</key><string>StrDict</string></dict>"
                      "</string>")
        << "QString(ContainerTypeStrDict)";
}

void TestQmdPropertyList::valuesRead()
{
    QFETCH(QByteArray, element);
    QFETCH(QString, expected);

    QmdMemModel model;
    QVERIFY(readBytes(plist(strDict("<key>v</key>" + element + "<key>w</key><true/>")), &model));
    QCOMPARE(dump(&model), QStringLiteral("{v=%1,w=bool(true)}").arg(expected));
}

void TestQmdPropertyList::emptyStringIsNotNull()
{
    QmdMemModel model;
    QVERIFY(
        readBytes(plist(strDict("<key>v</key><string/><key>w</key><string></string>")), &model));
    for (const char* key : {"v", "w"}) {
        const QmdIndex index = childIndex(&model, key);
        QVERIFY(index.isValid());
        const QVariant value = model.data(index);
        QCOMPARE(value.typeId(), int(QMetaType::QString));
        QVERIFY(value.toString().isEmpty());
        QVERIFY(!value.toString().isNull());
    }
}

void TestQmdPropertyList::encodings()
{
    const QString text = QStringLiteral("Gr\u00fc\u00dfe");
    const QByteArray body = strDict("<key>v</key><string>" + text.toUtf8() + "</string>");

    QmdMemModel latin1;
    QByteArray latin1File
        = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><plist>" + body + "</plist>";
    latin1File.replace(text.toUtf8(), text.toLatin1());
    QVERIFY(readBytes(latin1File, &latin1));
    QCOMPARE(dump(&latin1), QStringLiteral("{v=QString(%1)}").arg(text));

    QmdMemModel utf16;
    const QString utf16Text
        = QStringLiteral("\ufeff<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist>")
        + QString::fromUtf8(body) + QStringLiteral("</plist>");
    QVERIFY(readBytes(
        QByteArray(reinterpret_cast<const char*>(utf16Text.utf16()), utf16Text.size() * 2),
        &utf16));
    QCOMPARE(dump(&utf16), QStringLiteral("{v=QString(%1)}").arg(text));

    QmdMemModel undeclared;
    QVERIFY(readBytes("<plist>" + body + "</plist>", &undeclared));
    QCOMPARE(dump(&undeclared), QStringLiteral("{v=QString(%1)}").arg(text));
}

void TestQmdPropertyList::plistHead_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");

    const QByteArray body = strDict("<key>a</key><integer>1</integer>");
    QTest::newRow("version 1.0") << plist(body) << true << QString() << "{a=int(1)}";
    QTest::newRow("no version") << declaration + "<plist>" + body + "</plist>" << true << QString()
                                << "{a=int(1)}";
    QTest::newRow("no declaration")
        << "<plist version=\"1.0\">" + body + "</plist>" << true << QString() << "{a=int(1)}";
    QTest::newRow("other attributes")
        << "<plist xmlns:x=\"urn:x\" x:y=\"z\" version=\"1.0\">" + body + "</plist>" << true
        << QString() << "{a=int(1)}";
    QTest::newRow("whitespace, comments and instructions")
        << declaration + "<!-- c -->\n<plist version=\"1.0\">\n\t<?pi x?>\n<!-- c -->"
            + "<dict>\n<key>ContainerType</key>\n<!-- c -->\n<string>StrDict</string>\n"
            + "stray text <key>a</key>  <integer>1</integer>\n</dict>\n</plist>\n<!-- c -->\n"
        << true << QString() << "{a=int(1)}";
    QTest::newRow("empty plist") << declaration + "<plist version=\"1.0\"/>" << false
                                 << "The file holds no item that can be read."
                                 << "{Old=int(1)}";
    QTest::newRow("version 0.9") << declaration + "<plist version=\"0.9\">" + body + "</plist>"
                                 << false << "The file is not a plist version 1.0 file."
                                 << "{Old=int(1)}";
    QTest::newRow("version empty") << declaration + "<plist version=\"\">" + body + "</plist>"
                                   << false << "The file is not a plist version 1.0 file."
                                   << "{Old=int(1)}";
    QTest::newRow("root dict") << declaration + body << false << "The file is not a plist file."
                               << "{Old=int(1)}";
    QTest::newRow("root PLIST") << declaration + "<PLIST version=\"1.0\">" + body + "</PLIST>"
                                << false << "The file is not a plist file."
                                << "{Old=int(1)}";
}

void TestQmdPropertyList::plistHead()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, accepted);
    QFETCH(QString, message);
    QFETCH(QString, expected);

    QmdMemModel model(Qmd::StrDict);
    setValue(&model, 0);
    QmdDirectModelInterface(&model).directRemove(QStringLiteral("v"), QmdIndex());
    QmdDirectModelInterface(&model).directSetData(QStringLiteral("Old"), 1, QmdIndex());
    ModelSignalRecorder recorder(&model);
    if (!message.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    QCOMPARE(readBytes(file, &model), accepted);
    QCOMPARE(dump(&model), expected);
    if (!accepted)
        QCOMPARE(recorder.lines, QStringList());
}

void TestQmdPropertyList::containerType()
{
    // The pair need not come first.
    QmdMemModel late;
    QVERIFY(readBytes(plist("<dict><key>5</key><integer>1</integer><key>ContainerType</key>"
                            "<string>IntDict</string><key>6</key><integer>2</integer></dict>"),
                      &late));
    QCOMPARE(dump(&late), QStringLiteral("[5=int(1),6=int(2)]"));

    // Only the first pair counts; a later one is skipped with its value.
    QmdMemModel twice;
    QVERIFY(readBytes(plist("<dict><key>ContainerType</key><string>IntDict</string>"
                            "<key>ContainerType</key><string>StrDict</string>"
                            "<key>7</key><true/></dict>"),
                      &twice));
    QCOMPARE(dump(&twice), QStringLiteral("[7=bool(true)]"));

    // A dict without a usable pair is skipped whole, and its item left as it was; as the
    // file's top item, it makes the file one that cannot be read.
    const QByteArray broken[] = {
        "<dict><key>a</key><integer>1</integer></dict>",
        "<dict><key>ContainerType</key><integer>1</integer><key>a</key><integer>1</integer></dict>",
        "<dict><key>ContainerType</key><string>ListDict</string></dict>",
        "<dict><key>ContainerType</key><string>intdict</string></dict>",
        "<dict><key>a</key><integer>1</integer><key>ContainerType</key></dict>",
        "<dict/>",
    };
    for (const QByteArray& dict : broken) {
        QmdMemModel model(Qmd::IntDict);
        QmdDirectModelInterface(&model).directAddData(QVariant(9), QmdIndex());
        QTest::ignoreMessage(QtDebugMsg, qPrintable(nothingToRead));
        QVERIFY(!readBytes(plist(dict), &model));
        QCOMPARE(dump(&model), QStringLiteral("[1=int(9)]"));

        // As an entry, its key is left holding no value.
        QmdMemModel entry;
        QTest::ignoreMessage(QtDebugMsg, qPrintable(badContainerType));
        QVERIFY(readBytes(
            plist(strDict("<key>a</key>" + dict + "<key>b</key><integer>2</integer>")), &entry));
        QCOMPARE(dump(&entry), QStringLiteral("{a=-,b=int(2)}"));
    }
}

void TestQmdPropertyList::malformedEntries()
{
    const auto check
        = [](const QByteArray& entries, const QStringList& messages, const QString& expected) {
              QmdMemModel model;
              for (const QString& message : messages)
                  QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
              QVERIFY(readBytes(plist(strDict(entries)), &model));
              QCOMPARE(dump(&model), expected);
          };

    // An empty key is skipped with its value.
    check("<key></key><integer>1</integer><key>b</key><integer>2</integer>", {invalidKey},
          "{b=int(2)}");
    check("<key/><integer>1</integer><key>b</key><integer>2</integer>", {invalidKey}, "{b=int(2)}");
    // Two keys in a row: the first is dropped and the second's value has no key.
    check("<key>a</key><key>b</key><integer>2</integer><key>c</key><integer>3</integer>",
          {twoKeys, missingKey}, "{c=int(3)}");
    // A value without a key.
    check("<integer>1</integer><key>c</key><integer>3</integer>", {missingKey}, "{c=int(3)}");
    // A key at the end leaves an item that holds no value; so does an unknown element.
    check("<key>c</key><integer>3</integer><key>d</key>", {}, "{c=int(3),d=-}");
    check("<key>u</key><data>AAAA</data><key>v</key><integer>1</integer>", {}, "{u=-,v=int(1)}");
    // Keys are taken as they stand.
    check("<key> a </key><integer>1</integer><key>&lt;&amp;</key><integer>2</integer>", {},
          "{ a =int(1),<&=int(2)}");
}

void TestQmdPropertyList::repeatedKeys()
{
    const QByteArray value = "<integer>1</integer>";
    const QByteArray other = "<integer>2</integer>";
    const QByteArray dict = strDict("<key>x</key><true/>");
    const QByteArray badDict = "<dict><key>x</key><true/></dict>";
    const QByteArray unknown = "<data/>";
    const struct
    {
        QByteArray first;
        QByteArray second;
        int badDicts;
        QString expected;
    } cases[] = {
        {value, other, 0, "{a=int(2),b=bool(false)}"},
        {value, dict, 0, "{a={x=bool(true)},b=bool(false)}"},
        {dict, value, 0, "{a=int(1),b=bool(false)}"},
        {dict, dict, 0, "{a={x=bool(true)},b=bool(false)}"},
        {dict, unknown, 0, "{a=-,b=bool(false)}"},
        {value, unknown, 0, "{a=-,b=bool(false)}"},
        {dict, badDict, 1, "{a=-,b=bool(false)}"},
        {value, badDict, 1, "{a=-,b=bool(false)}"},
        {badDict, value, 0, "{a=int(1),b=bool(false)}"},
    };
    for (const auto& c : cases) {
        QmdMemModel model;
        for (int i = 0; i < c.badDicts; ++i)
            QTest::ignoreMessage(QtDebugMsg, qPrintable(badContainerType));
        QVERIFY(readBytes(plist(strDict("<key>a</key>" + c.first + "<key>b</key><false/>"
                                        + "<key>a</key>" + c.second)),
                          &model));
        QCOMPARE(dump(&model), c.expected);
    }
}

void TestQmdPropertyList::badIds()
{
    // Keys of an IntDict that are no id from 1 to 4294967295 store nothing, anywhere.
    const QByteArray entries = "<key>abc</key><integer>1</integer>"
                               "<key>0</key><integer>2</integer>"
                               "<key>4294967296</key><integer>3</integer>"
                               "<key>-1</key><integer>4</integer>"
                               "<key>1.5</key><integer>5</integer>"
                               "<key> </key><integer>6</integer>"
                               "<key>99999999999999999999</key>"
        + strDict("<key>x</key><true/>")
        + "<key>7</key><integer>7</integer>"
          "<key>4294967295</key><integer>8</integer>";
    const int badKeys = 7;

    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    d.directSetData(QStringLiteral("Keep"), 1, QmdIndex());
    d.directSetType(QStringLiteral("Elements"), Qmd::IntDict, QmdIndex());
    const QmdIndex elements = d.directIndex(QStringLiteral("Elements"), QmdIndex());
    d.directSetData(QmdItemId(2), QStringLiteral("old"), elements);
    ModelSignalRecorder recorder(&model);
    for (int i = 0; i < badKeys; ++i)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(invalidKey));
    QVERIFY(readBytes(plist(intDict(entries)), &model, elements));
    QCOMPARE(dump(&model), QStringLiteral("{Elements=[7=int(7),4294967295=int(8)],Keep=int(1)}"));
    for (const QString& line : std::as_const(recorder.lines))
        QVERIFY2(!line.startsWith(QLatin1String("root")), qPrintable(line));

    // A file of nothing but bad ids leaves an empty container and touches nothing else.
    QmdMemModel only(Qmd::StrDict);
    QmdDirectModelInterface o(&only);
    o.directSetData(QStringLiteral("Keep"), 1, QmdIndex());
    o.directSetType(QStringLiteral("Elements"), Qmd::IntDict, QmdIndex());
    for (int i = 0; i < 2; ++i)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(invalidKey));
    QVERIFY(readBytes(plist(intDict("<key>0</key><integer>1</integer><key>x</key><true/>")), &only,
                      o.directIndex(QStringLiteral("Elements"), QmdIndex())));
    QCOMPARE(dump(&only), QStringLiteral("{Elements=[],Keep=int(1)}"));

    // The same at the root.
    QmdMemModel root;
    for (int i = 0; i < badKeys; ++i)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(invalidKey));
    QVERIFY(readBytes(plist(intDict(entries)), &root));
    QCOMPARE(dump(&root), QStringLiteral("[7=int(7),4294967295=int(8)]"));
}

void TestQmdPropertyList::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("file");

    const QByteArray body = strDict("<key>a</key><integer>1</integer>");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("blank") << QByteArray(" \n ");
    QTest::newRow("declaration only") << declaration;
    QTest::newRow("text") << QByteArray("not a property list");
    QTest::newRow("mismatched tags") << plist("<dict><key>a</key></string></dict>");
    QTest::newRow("unclosed") << declaration + "<plist version=\"1.0\">" + body;
    QTest::newRow("two roots") << plist(body) + "<plist/>";
    QTest::newRow("text after root") << plist(body) + "x";
    QTest::newRow("bad attribute") << declaration + "<plist version=1.0>" + body + "</plist>";
    QTest::newRow("undefined entity") << plist(strDict("<key>a</key><string>&nbsp;</string>"));
    QTest::newRow("control character reference")
        << plist(strDict("<key>a</key><string>&#1;</string>"));
    QTest::newRow("raw control character") << plist(strDict("<key>a</key><string>\x01</string>"));
    QTest::newRow("bad UTF-8") << plist(strDict("<key>a</key><string>\xff\xfe</string>"));
    QTest::newRow("nul byte") << plist(strDict(QByteArray("<key>a</key><string>\0</string>", 30)));
    QTest::newRow("too deep") << nestedDicts(QmdPropertyListImporter::maxContainerDepth + 1);
    QTest::newRow("too deep, not as values")
        << plist(QByteArray("<dict>").repeated(300) + QByteArray("</dict>").repeated(300));
    QTest::newRow("too deep inside a string")
        << plist(strDict("<key>a</key><string>" + QByteArray("<dict>").repeated(300)
                         + QByteArray("</dict>").repeated(300) + "</string>"));
    // Entities that expand a thousand times over are refused before they fill the memory.
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n<!ENTITY l0 \"ha\">\n";
    for (int i = 1; i <= 12; ++i)
        laughs += QStringLiteral("<!ENTITY l%1 \"%2\">\n")
                      .arg(i)
                      .arg(QStringLiteral("&l%1;").arg(i - 1).repeated(10))
                      .toLatin1();
    laughs += "]>\n<plist version=\"1.0\">" + strDict("<key>a</key><string>&l12;</string>")
        + "</plist>";
    QTest::newRow("billion laughs") << laughs;
}

void TestQmdPropertyList::refusedFiles()
{
    QFETCH(QByteArray, file);

    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface(&model).directSetData(QStringLiteral("Old"), 1, QmdIndex());
    ModelSignalRecorder recorder(&model);
    QTest::ignoreMessage(QtDebugMsg, parseError);
    QVERIFY(!readBytes(file, &model));
    QCOMPARE(dump(&model), QStringLiteral("{Old=int(1)}"));
    QCOMPARE(recorder.lines, QStringList());
}

void TestQmdPropertyList::truncatedFiles()
{
    // Every cut of a good file short of its last element is refused, and changes nothing.
    QmdMemModel source(Qmd::StrDict);
    QmdDirectModelInterface d(&source);
    d.directSetType(QStringLiteral("Elements"), Qmd::IntDict, QmdIndex());
    d.directSetData(QmdItemId(1), QStringLiteral("first"),
                    d.directIndex(QStringLiteral("Elements"), QmdIndex()));
    d.directSetData(QStringLiteral("Tempo"), 120, QmdIndex());
    const QByteArray file = writeModel(&source);
    const qsizetype lastElement = file.lastIndexOf("</plist>") + qsizetype(strlen("</plist>"));
    QCOMPARE(lastElement, file.size());
    for (qsizetype cut = 0; cut < lastElement; ++cut) {
        QmdMemModel model(Qmd::StrDict);
        QmdDirectModelInterface(&model).directSetData(QStringLiteral("Old"), 1, QmdIndex());
        QTest::ignoreMessage(QtDebugMsg, parseError);
        QVERIFY2(!readBytes(file.left(cut), &model), qPrintable(QString::number(cut)));
        QCOMPARE(dump(&model), QStringLiteral("{Old=int(1)}"));
    }
    QmdMemModel whole;
    QVERIFY(readBytes(file, &whole));
    QCOMPARE(dump(&whole), dump(&source));
}

void TestQmdPropertyList::nestingLimit()
{
    const int limit = QmdPropertyListImporter::maxContainerDepth;
    QCOMPARE(limit, 256);
    QCOMPARE(QmdPropertyListExporter::maxContainerDepth, limit);

    // The reader takes files nested as deep as the limit.
    QmdMemModel deepest;
    QVERIFY(readBytes(nestedDicts(limit), &deepest));
    QCOMPARE(depthOf(&deepest), limit);

    // The writer writes them, and refuses anything deeper.
    QmdMemModel atLimit(Qmd::StrDict);
    nest(&atLimit, limit);
    QCOMPARE(depthOf(&atLimit), limit);
    bool ok = false;
    const QByteArray file = writeModel(&atLimit, QmdIndex(), &ok);
    QVERIFY(ok);
    QmdMemModel readBack;
    QVERIFY(readBytes(file, &readBack));
    QCOMPARE(dump(&readBack), dump(&atLimit));

    QmdMemModel tooDeep(Qmd::StrDict);
    nest(&tooDeep, limit + 1);
    writeModel(&tooDeep, QmdIndex(), &ok);
    QVERIFY(!ok);
    // The subtree below the top container is within the limit again.
    writeModel(&tooDeep, childIndex(&tooDeep, "d"), &ok);
    QVERIFY(ok);
}

void TestQmdPropertyList::largeFiles()
{
    const int count = 20000;
    QByteArray entries;
    for (int id = 1; id <= count; ++id)
        entries += "<key>" + QByteArray::number(id) + "</key><integer>" + QByteArray::number(-id)
            + "</integer>";
    QmdMemModel model;
    QVERIFY(readBytes(plist(intDict(entries)), &model));
    const QmdItemIdList ids = model.idList(QmdIndex());
    QCOMPARE(ids.size(), count);
    QCOMPARE(ids.last(), QmdItemId(count));
    QCOMPARE(model.data(model.index(QmdItemId(count), QmdIndex())), QVariant(-count));

    // Deep nesting that is no nesting of containers is only text.
    QmdMemModel deepText;
    QVERIFY(readBytes(plist(strDict("<key>a</key><string>" + QByteArray("<b>").repeated(5000) + "x"
                                    + QByteArray("</b>").repeated(5000) + "</string>")),
                      &deepText));
    QCOMPARE(dump(&deepText), QStringLiteral("{a=QString(x)}"));

    // A long text.
    const QString text(300000, QLatin1Char('t'));
    QmdMemModel longText(Qmd::StrDict);
    setValue(&longText, text);
    QmdMemModel longBack;
    QVERIFY(readBytes(writeModel(&longText), &longBack));
    QCOMPARE(longBack.data(childIndex(&longBack, "v")).toString(), text);
}

void TestQmdPropertyList::externalEntitiesAreNotRead()
{
    QTemporaryFile secret;
    QVERIFY(secret.open());
    secret.write("secret text");
    secret.flush();
    const QByteArray url = QUrl::fromLocalFile(secret.fileName()).toEncoded();
    const QByteArray file = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [<!ENTITY ext SYSTEM \"" + url
        + "\">]>\n<plist version=\"1.0\">" + strDict("<key>a</key><string>[&ext;]</string>")
        + "</plist>";
    QmdMemModel model;
    QVERIFY(readBytes(file, &model));
    QCOMPARE(dump(&model), QStringLiteral("{a=QString([])}"));

    // Nor is the external document type.
    QmdMemModel withType;
    QVERIFY(readBytes(head + strDict("<key>a</key><integer>1</integer>") + "</plist>", &withType));
    QCOMPARE(dump(&withType), QStringLiteral("{a=int(1)}"));
}

void TestQmdPropertyList::readerDevice()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface(&model).directSetData(QStringLiteral("Old"), 1, QmdIndex());

    QmdPropertyListImporter noDevice(&model, nullptr);
    QCOMPARE(noDevice.device(), nullptr);
    QTest::ignoreMessage(QtDebugMsg, parseError);
    QVERIFY(!noDevice.readDocument());

    QByteArray bytes = ::sampleFile;
    QBuffer closed(&bytes);
    QmdPropertyListImporter closedReader(&model, &closed);
    QCOMPARE(closedReader.device(), &closed);
    QTest::ignoreMessage(QtDebugMsg, parseError);
    QVERIFY(!closedReader.readDocument());

    QBuffer writeOnly(&bytes);
    writeOnly.open(QIODevice::WriteOnly);
    QmdPropertyListImporter writeOnlyReader(&model, &writeOnly);
    QTest::ignoreMessage(QtDebugMsg, parseError);
    QVERIFY(!writeOnlyReader.readDocument());

    FailingDevice failing(0);
    failing.open(QIODevice::ReadOnly);
    QmdPropertyListImporter failingReader(&model, &failing);
    QTest::ignoreMessage(QtDebugMsg, parseError);
    QVERIFY(!failingReader.readDocument());
    QCOMPARE(dump(&model), QStringLiteral("{Old=int(1)}"));

    // A device that is destroyed is no longer used.
    auto* gone = new QBuffer;
    QmdPropertyListImporter goneReader(&model, gone);
    delete gone;
    QCOMPARE(goneReader.device(), nullptr);
    QTest::ignoreMessage(QtDebugMsg, parseError);
    QVERIFY(!goneReader.readDocument());

    // The reader reads from where the device stands, and can be used again.
    QByteArray prefixed = "junk" + ::sampleFile;
    QBuffer buffer(&prefixed);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(4);
    QmdPropertyListImporter reader(&model, &buffer);
    QVERIFY(reader.readDocument());
    QCOMPARE(dump(&model), QStringLiteral("{Elements=[],Tempo=int(120)}"));
    buffer.seek(0);
    QTest::ignoreMessage(QtDebugMsg, parseError);
    QVERIFY(!reader.readDocument());
    buffer.seek(4);
    QVERIFY(reader.readDocument());
}

void TestQmdPropertyList::writerDevice()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface(&model).directSetData(QStringLiteral("Text"),
                                                  QString(5000, QLatin1Char('x')), QmdIndex());
    const QByteArray expected = writeModel(&model);

    QmdPropertyListExporter noDevice(&model, nullptr);
    QVERIFY(!noDevice.writeDocument());
    QVERIFY(noDevice.hasError());

    QBuffer closed;
    QmdPropertyListExporter closedWriter(&model, &closed);
    QVERIFY(!closedWriter.writeDocument());
    QVERIFY(closed.data().isEmpty());

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QmdPropertyListExporter readOnlyWriter(&model, &readOnly);
    QVERIFY(!readOnlyWriter.writeDocument());

    for (qint64 limit : {qint64(0), qint64(100), qint64(expected.size() - 1)}) {
        FailingDevice failing(limit);
        failing.open(QIODevice::WriteOnly);
        QmdPropertyListExporter failingWriter(&model, &failing);
        QVERIFY2(!failingWriter.writeDocument(), qPrintable(QString::number(limit)));
    }
    FailingDevice roomy(expected.size());
    roomy.open(QIODevice::WriteOnly);
    QmdPropertyListExporter roomyWriter(&model, &roomy);
    QVERIFY(roomyWriter.writeDocument());
    QVERIFY(!roomyWriter.hasError());

    // A device destroyed in the middle of a write fails it.
    {
        auto* vanishing = new QBuffer;
        vanishing->open(QIODevice::WriteOnly);
        QmdPropertyListExporter vanishingWriter(&model, vanishing);
        vanishingWriter.writeDocumentStart();
        delete vanishing;
        vanishingWriter.writeStrDict(model.children(QmdIndex()));
        vanishingWriter.writeDocumentEnd();
        QVERIFY(vanishingWriter.hasError());
    }

    // A full disk shows only when the file is flushed.
    QFile full(QStringLiteral("/dev/full"));
    if (full.open(QIODevice::WriteOnly)) {
        QmdPropertyListExporter fullWriter(&model, &full);
        QVERIFY(!fullWriter.writeDocument());
    }

    QTemporaryFile file;
    QVERIFY(file.open());
    QmdPropertyListExporter fileWriter(&model, &file);
    QVERIFY(fileWriter.writeDocument());
    file.seek(0);
    QCOMPARE(file.readAll(), expected);

    // The same writer can write again, and a failure does not stick.
    QBuffer again;
    again.open(QIODevice::WriteOnly);
    QmdPropertyListExporter reused(&model, &again);
    QVERIFY(reused.writeDocument());
    again.close();
    QVERIFY(!reused.writeDocument());
    again.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QVERIFY(reused.writeDocument());
    QCOMPARE(again.data(), expected);
}

void TestQmdPropertyList::fileInTextMode()
{
    QmdMemModel model(Qmd::StrDict);
    setValue(&model, QStringLiteral("a\r\nb\rc"));
    QTemporaryFile file;
    QVERIFY(file.open());
    QmdPropertyListExporter writer(&model, &file);
    QVERIFY(writer.writeDocument());
    file.close();

    QFile input(file.fileName());
    QVERIFY(input.open(QIODevice::ReadOnly | QIODevice::Text));
    QmdMemModel readBack;
    QmdPropertyListImporter reader(&readBack, &input);
    QVERIFY(reader.readDocument());
    QCOMPARE(readBack.data(childIndex(&readBack, "v")), QVariant(QStringLiteral("a\r\nb\rc")));
}

void TestQmdPropertyList::charactersXmlDoesNotAllow()
{
    const QChar high(0xD834);
    const QChar low(0xDD1E);
    QCOMPARE(QmdPropertyListExporter::xmlSafeText(QStringLiteral("a\tb\nc\rd")),
             QStringLiteral("a\tb\nc\rd"));
    QCOMPARE(QmdPropertyListExporter::xmlSafeText(QString(high) + low), QString(high) + low);
    QCOMPARE(QmdPropertyListExporter::xmlSafeText(QString(low) + high + high + low + high),
             QString(high) + low);
    QString controls;
    for (char16_t c = 0; c < 0x20; ++c)
        controls.append(QChar(c));
    QCOMPARE(QmdPropertyListExporter::xmlSafeText(controls), QStringLiteral("\t\n\r"));
    QCOMPARE(QmdPropertyListExporter::xmlSafeText(QStringLiteral("\u007f\u0085\ufffd\ufdd0")),
             QStringLiteral("\u007f\u0085\ufffd\ufdd0"));
    QCOMPARE(QmdPropertyListExporter::xmlSafeText(QString(QChar(0xFFFE)) + QChar(0xFFFF)),
             QString());

    // Keys lose them too; a key of nothing else is left out when read back.
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    d.directSetData(QStringLiteral("a\x01"
                                   "b"),
                    1, QmdIndex());
    d.directSetData(QStringLiteral("\x02\x03"), 2, QmdIndex());
    d.directSetData(QStringLiteral("c") + high, QStringLiteral("x\x1b[0m") + low, QmdIndex());
    bool ok = false;
    const QByteArray file = writeModel(&model, QmdIndex(), &ok);
    QVERIFY(ok);
    QmdMemModel readBack;
    QTest::ignoreMessage(QtDebugMsg, qPrintable(invalidKey));
    QVERIFY(readBytes(file, &readBack));
    QCOMPARE(dump(&readBack), QStringLiteral("{ab=int(1),c=QString(x[0m)}"));
}

void TestQmdPropertyList::excludedSet()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    d.directSetData(QStringLiteral("A"), 1, QmdIndex());
    d.directSetType(QStringLiteral("B"), Qmd::StrDict, QmdIndex());
    d.directSetData(QStringLiteral("x"), 2, d.directIndex(QStringLiteral("B"), QmdIndex()));
    d.directSetType(QStringLiteral("C"), Qmd::IntDict, QmdIndex());
    const QmdIndex c = d.directIndex(QStringLiteral("C"), QmdIndex());
    d.directSetData(QmdItemId(1), 3, c);
    d.directSetData(QmdItemId(2), 4, c);
    const QmdIndex b = d.directIndex(QStringLiteral("B"), QmdIndex());
    const QmdIndex c1 = d.directIndex(QmdItemId(1), c);

    QmdPropertyListExporter exporter(&model, nullptr);
    QVERIFY(exporter.excludedIndexes().isEmpty());
    exporter.addExcludedIndex(b);
    exporter.addExcludedIndexes({c1, b});
    QCOMPARE(exporter.excludedIndexes(), QSet<QmdIndex>({b, c1}));
    exporter.setExcludedIndexes({c1});
    QCOMPARE(exporter.excludedIndexes(), QSet<QmdIndex>({c1}));

    const auto readBackWithout = [&](const QSet<QmdIndex>& excluded) {
        bool ok = false;
        const QByteArray file = writeModel(&model, QmdIndex(), &ok, excluded);
        QmdMemModel readBack;
        return ok && readBytes(file, &readBack) ? dump(&readBack) : QStringLiteral("failed");
    };
    QCOMPARE(readBackWithout({}), QStringLiteral("{A=int(1),B={x=int(2)},C=[1=int(3),2=int(4)]}"));
    // An excluded container loses its key and everything below it.
    QCOMPARE(readBackWithout({b}), QStringLiteral("{A=int(1),C=[1=int(3),2=int(4)]}"));
    QVERIFY(!writeModel(&model, QmdIndex(), nullptr, {b}).contains("<key>B</key>"));
    QVERIFY(!writeModel(&model, QmdIndex(), nullptr, {b}).contains("<key>x</key>"));
    QCOMPARE(readBackWithout({c1, b}), QStringLiteral("{A=int(1),C=[2=int(4)]}"));
    // Equal ids in other containers are not excluded with it.
    QCOMPARE(readBackWithout({d.directIndex(QmdItemId(2), c)}),
             QStringLiteral("{A=int(1),B={x=int(2)},C=[1=int(3)]}"));

    // Excluding the item written leaves only the head and the end of "plist".
    bool ok = false;
    const QByteArray nothing = writeModel(&model, QmdIndex(), &ok, {QmdIndex()});
    QVERIFY(ok);
    QCOMPARE(nothing, declaration + documentType + "<plist version=\"1.0\"/>");
    QCOMPARE(writeModel(&model, b, &ok, {b}), nothing);
    QmdMemModel readBack(Qmd::StrDict);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(nothingToRead));
    QVERIFY(!readBytes(nothing, &readBack));
    QCOMPARE(dump(&readBack), QStringLiteral("{}"));
}

void TestQmdPropertyList::subtreesAndClipboard()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    d.directSetType(QStringLiteral("Elements"), Qmd::IntDict, QmdIndex());
    const QmdIndex elements = d.directIndex(QStringLiteral("Elements"), QmdIndex());
    for (int i = 0; i < 4; ++i) {
        const QmdItemId id = d.directAddType(Qmd::StrDict, elements);
        d.directSetData(QStringLiteral("Type"), i, d.directIndex(id, elements));
    }
    d.directSetData(QStringLiteral("Tempo"), 120, QmdIndex());

    // A subtree is written as a file of its own.
    QmdMemModel subtree;
    QVERIFY(readBytes(writeModel(&model, elements), &subtree));
    QCOMPARE(dump(&subtree), dump(&model, elements));
    const QByteArray value = writeModel(&model, d.directIndex(QStringLiteral("Tempo"), QmdIndex()));
    QCOMPARE(value, head + "    <integer>120</integer>\n</plist>");

    // Some elements, written as one IntDict by the steps of the writer.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QmdPropertyListExporter exporter(&model, &buffer);
    exporter.writeDocumentStart();
    exporter.writeIntDict(
        {d.directIndex(QmdItemId(2), elements), d.directIndex(QmdItemId(4), elements)});
    exporter.writeDocumentEnd();
    QVERIFY(!exporter.hasError());

    QmdMemModel pasted(Qmd::StrDict);
    QmdDirectModelInterface p(&pasted);
    p.directBeginRequest(0xFFFFFFFF, Qmd::NotUndoable, QString());
    p.directSetType(QStringLiteral("Elements"), Qmd::IntDict, QmdIndex());
    QVERIFY(
        readBytes(buffer.data(), &pasted, p.directIndex(QStringLiteral("Elements"), QmdIndex())));
    p.directEndRequest();
    QCOMPARE(dump(&pasted), QStringLiteral("{Elements=[2={Type=int(1)},4={Type=int(3)}]}"));
    QVERIFY(!pasted.canUndo());
}

void TestQmdPropertyList::readIntoTarget()
{
    const auto fresh = [](QmdMemModel* model) {
        QmdDirectModelInterface d(model);
        d.directSetData(QStringLiteral("Other"), 1, QmdIndex());
        d.directSetType(QStringLiteral("Target"), Qmd::IntDict, QmdIndex());
        d.directAddData(QVariant(5), d.directIndex(QStringLiteral("Target"), QmdIndex()));
        return d.directIndex(QStringLiteral("Target"), QmdIndex());
    };
    {
        QmdMemModel model(Qmd::StrDict);
        QVERIFY(readBytes(plist(intDict("<key>3</key><true/><key>9</key><false/>")), &model,
                          fresh(&model)));
        QCOMPARE(dump(&model),
                 QStringLiteral("{Other=int(1),Target=[3=bool(true),9=bool(false)]}"));
    }
    {
        QmdMemModel model(Qmd::StrDict);
        QVERIFY(readBytes(plist(strDict("<key>k</key><real>1.5</real>")), &model, fresh(&model)));
        QCOMPARE(dump(&model), QStringLiteral("{Other=int(1),Target={k=double(1.5)}}"));
    }
    {
        QmdMemModel model(Qmd::StrDict);
        QVERIFY(readBytes(plist("<integer>5</integer>"), &model, fresh(&model)));
        QCOMPARE(dump(&model), QStringLiteral("{Other=int(1),Target=int(5)}"));
    }
    {
        // A plist without an element, or with one that gives no value, is refused.
        QmdMemModel model(Qmd::StrDict);
        QTest::ignoreMessage(QtDebugMsg, qPrintable(nothingToRead));
        QVERIFY(!readBytes(plist("<data>x</data>"), &model, fresh(&model)));
        QTest::ignoreMessage(QtDebugMsg, qPrintable(nothingToRead));
        QVERIFY(!readBytes(plist(""), &model, fresh(&model)));
        QCOMPARE(dump(&model), QStringLiteral("{Other=int(1),Target=[1=int(5)]}"));
    }
    {
        QmdMemModel model;
        QVERIFY(readBytes(plist("<string>only</string>"), &model));
        QCOMPARE(dump(&model), QStringLiteral("QString(only)"));
        QmdMemModel back;
        QVERIFY(readBytes(writeModel(&model), &back));
        QCOMPARE(dump(&back), QStringLiteral("QString(only)"));
    }
}

void TestQmdPropertyList::readerSignals()
{
    const QByteArray file = plist(strDict(
        "<key>Tempo</key><integer>120</integer>"
        "<key>Name</key><string>n</string>"
        "<key>Elements</key>"
        + intDict("<key>4</key>" + strDict("<key>a</key><true/>") + "<key>2</key><real>1</real>")));
    const QString expected = QStringLiteral(
        "{Elements=[2=double(1),4={a=bool(true)}],Name=QString(n),Tempo=int(120)}");

    // Blocked signals stay blocked, and none is emitted.
    {
        QmdMemModel model;
        ModelSignalRecorder recorder(&model);
        model.blockSignals(true);
        QVERIFY(readBytes(file, &model));
        QVERIFY(model.signalsBlocked());
        QCOMPARE(recorder.lines, QStringList());
        QCOMPARE(dump(&model), expected);
    }
    // Otherwise changes are reported per container, never per item, with the request's id.
    {
        QmdMemModel model;
        QmdDirectModelInterface d(&model);
        ModelSignalRecorder recorder(&model);
        d.directBeginRequest(7, Qmd::NotUndoable, QStringLiteral("Load"));
        QVERIFY(readBytes(file, &model));
        d.directEndRequest();
        QVERIFY(!model.signalsBlocked());
        QCOMPARE(dump(&model), expected);
        QCOMPARE(
            recorder.lines,
            QStringList({"root rid=7", "changed Name,Tempo rid=7", "changed Elements rid=7",
                         "changed(Elements) 2 rid=7", "changed(Elements) 4 rid=7",
                         "changed(4) a rid=7", "changed(4) a rid=7", "changed(Elements) 2 rid=7",
                         "changed Name,Tempo rid=7", "finished 7 flags=1 status=0"}));
        QVERIFY(!model.canUndo());
    }
    // A refused file emits nothing.
    {
        QmdMemModel model(Qmd::StrDict);
        ModelSignalRecorder recorder(&model);
        QTest::ignoreMessage(QtDebugMsg, parseError);
        QVERIFY(!readBytes(file.left(file.size() - 1), &model));
        QTest::ignoreMessage(QtDebugMsg, "The file is not a plist file.");
        QVERIFY(!readBytes(strDict(""), &model));
        QCOMPARE(recorder.lines, QStringList());
    }
}

namespace {

// Reads strings under "Name" in upper case, and notes where every value and item stood.
class NotingImporter : public QmdPropertyListImporter
{
public:
    using QmdPropertyListImporter::QmdPropertyListImporter;

    QStringList values;
    QStringList items;

    QVariant readValue(const QDomElement& element, const QmdIndex& item) override
    {
        QStringList path;
        for (QmdIndex i = item; i.isValid(); i = directParent(i))
            path.prepend(i.toString());
        values.append(path.join('/') + ':' + element.tagName());
        if (item.key() == QLatin1String("Name"))
            return element.text().toUpper();
        return QmdPropertyListImporter::readValue(element, item);
    }

    void readItem(const QmdPropertyListElement& element, const QmdIndex& item) override
    {
        items.append(item.toString() + ':' + element.tagName());
        QmdPropertyListImporter::readItem(element, item);
    }
};

// Writes strings under "Name" backwards, in an element of its own.
class NotingExporter : public QmdPropertyListExporter
{
public:
    using QmdPropertyListExporter::QmdPropertyListExporter;

    void writeValue(const QmdIndex& item) override
    {
        if (item.key() != QLatin1String("Name")) {
            QmdPropertyListExporter::writeValue(item);
            return;
        }
        QString text = directData(item).toString();
        std::reverse(text.begin(), text.end());
        writeTextElement(QStringLiteral("name"), text + QChar(0x1));
    }
};

} // namespace

void TestQmdPropertyList::subclassHooks()
{
    QmdMemModel model;
    QByteArray file = plist(strDict("<key>Name</key><string>top</string>"
                                    "<key>Elements</key>"
                                    + intDict("<key>3</key>"
                                              + strDict("<key>Name</key><string>n</string>"
                                                        "<key>Type</key><integer>2</integer>"
                                                        "<key>Odd</key><date/>"))));
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    NotingImporter importer(&model, &buffer);
    QVERIFY(importer.readDocument());
    QCOMPARE(
        dump(&model),
        QStringLiteral("{Elements=[3={Name=QString(N),Odd=-,Type=int(2)}],Name=QString(TOP)}"));
    QCOMPARE(importer.values,
             QStringList({"Name:string", "Elements/3/Name:string", "Elements/3/Type:integer",
                          "Elements/3/Odd:date"}));
    QCOMPARE(importer.items,
             QStringList({":dict", "Name:string", "Elements:dict", "3:dict", "Name:string",
                          "Type:integer", "Odd:date"}));

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    NotingExporter exporter(&model, &out);
    QVERIFY(exporter.writeDocument());
    QVERIFY(out.data().contains("\n                <key>Name</key>\n"
                                "                <name>N</name>\n"));
    QVERIFY(out.data().contains("\n        <key>Name</key>\n        <name>POT</name>\n"));
    QVERIFY(out.data().contains("<key>Odd</key>\n                <string></string>\n"));
}

QTEST_GUILESS_MAIN(TestQmdPropertyList)
#include "tst_qmdpropertylist.moc"
