#include "AppTestMain.h"
#include "BundleResources.h"
#include "Inspector.h"
#include "KelvoMenuBar.h"
#include "KelvoWindow.h"
#include "MidiIO.h"
#include "MidiPortNames.h"
#include "QwpComboBox.h"
#include "SqueezedText.h"

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QRegularExpression>
#include <QScrollArea>
#include <QXmlStreamReader>

// What the user manual says that the program itself can confirm, read from the pages as the
// build holds them: the table of menu keys against the menus' shortcuts, Kelvo's own ports
// and which way they carry MIDI against the MIDI layer, and the ports an instrument may play
// to against the inspector's list; with the application started without a MIDI system.
class TestManualFacts : public QObject
{
    Q_OBJECT

private:
    struct Row
    {
        QStringList cells; // the text of each th or td
        QStringList keys; // the kbd texts of the first cell
    };

    struct Page
    {
        QHash<QString, QList<Row>> tables; // the first table after each h2, by its heading
        QHash<QString, QStringList> items; // the text of each li, by the h2 it follows
    };

    static Page read(const QString& name)
    {
        Page page;
        QFile file(QDir(Platform::manualPath()).filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return page;
        QXmlStreamReader xml(&file);
        QString heading;
        bool tableDone = false;
        // The text of the element being read, for each kind that is read as text.
        QHash<QString, QString> text;
        const QStringList textual = {"h2", "th", "td", "kbd", "li"};
        Row row;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            const QString element = xml.name().toString();
            if (token == QXmlStreamReader::Characters) {
                for (QString& open : text)
                    open += xml.text();
            } else if (token == QXmlStreamReader::StartElement) {
                if (textual.contains(element))
                    text.insert(element, QString());
                if (element == QLatin1String("tr"))
                    row = Row();
            } else if (token == QXmlStreamReader::EndElement) {
                const QString read = text.take(element).simplified();
                if (element == QLatin1String("h2")) {
                    heading = read;
                    tableDone = false;
                } else if (element == QLatin1String("kbd") && row.cells.isEmpty()) {
                    row.keys << read;
                } else if (element == QLatin1String("th") || element == QLatin1String("td")) {
                    row.cells << read;
                } else if (element == QLatin1String("tr") && !tableDone) {
                    page.tables[heading].append(row);
                } else if (element == QLatin1String("table")) {
                    tableDone = true;
                } else if (element == QLatin1String("li")) {
                    page.items[heading].append(read);
                }
            }
        }
        return page;
    }

    // The shortcut as the portable text of its key sequence ("Ctrl+Shift+P").
    static QString portable(const QString& text)
    {
        return QKeySequence(text).toString(QKeySequence::PortableText);
    }

    static KelvoWindow* focusWindow() { return KelvoApplication::instance()->focusWindow(); }

    // Kelvo's own port names that a text mentions.
    static QSet<QString> ownPortsIn(const QString& text)
    {
        QSet<QString> names;
        for (const QString& name : {MidiPortNames::inputPortName(), MidiPortNames::outputPortName(),
                                    MidiPortNames::synthesizerPortName()}) {
            if (text.contains(name))
                names.insert(name);
        }
        return names;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir(Platform::manualPath()).exists(QStringLiteral("keys.html")));
        QTRY_VERIFY(focusWindow());
    }

    // The Keys page's table of menu keys holds exactly the shortcuts of the menus: every key
    // it names is one a menu shows, and every shortcut a menu shows is in the table.
    void keysTableIsTheMenus()
    {
        const QList<Row> rows = read(QStringLiteral("keys.html")).tables.value("Menus");
        QVERIFY(rows.size() > 10);
        QSet<QString> documented;
        for (const Row& row : rows) {
            if (row.cells.value(0) == QLatin1String("Key"))
                continue; // the heading row
            QVERIFY2(!row.keys.isEmpty(), qPrintable(row.cells.join(" | ")));
            // "Ctrl+1 to Ctrl+5": every key of the range.
            if (row.keys.size() == 2 && row.cells.value(0).contains(QLatin1String(" to "))) {
                const QString first = row.keys.at(0);
                const QString last = row.keys.at(1);
                const QString prefix = first.chopped(1);
                QCOMPARE(last.chopped(1), prefix);
                for (QChar c = first.back(); c <= last.back(); c = QChar(c.unicode() + 1))
                    documented.insert(portable(prefix + c));
                continue;
            }
            for (const QString& key : row.keys)
                documented.insert(portable(key));
        }

        // The keys of each menu item: its shortcuts (a standard command answers to each key
        // that desktops give it), or a key the application handles itself, shown after a tab
        // in the item's text. Every item with keys has one of them on the page.
        QSet<QString> answered;
        for (QAction* action : focusWindow()->kelvoMenuBar()->findChildren<QAction*>()) {
            QSet<QString> keys;
            for (const QKeySequence& key : action->shortcuts())
                keys.insert(key.toString(QKeySequence::PortableText));
            const qsizetype tab = action->text().indexOf(QLatin1Char('\t'));
            if (tab >= 0)
                keys.insert(portable(action->text().mid(tab + 1)));
            if (!keys.isEmpty())
                QVERIFY2(keys.intersects(documented),
                         qPrintable(action->text() + " has keys not on the Keys page: "
                                    + QStringList(keys.cbegin(), keys.cend()).join(", ")));
            answered.unite(keys);
        }
        for (const QString& key : std::as_const(documented))
            QVERIFY2(answered.contains(key), qPrintable(key + " is on the Keys page, in no menu"));
    }

    // The table of Kelvo's own ports names the program's three ports, each with the way it
    // carries MIDI as the MIDI layer opens it: other programs send to the ports Kelvo receives
    // on and receive from the one it sends from; and the program lists them so.
    void ownPortsAreTheMidiLayers()
    {
        const QList<Row> rows = read(QStringLiteral("midi.html")).tables.value("Kelvo's own ports");
        QSet<QString> receiving;
        QSet<QString> sending;
        for (const Row& row : rows) {
            QCOMPARE(row.cells.size(), 2);
            if (row.cells.at(1).contains(QLatin1String("send to it")))
                receiving.insert(row.cells.at(0));
            else if (row.cells.at(1).contains(QLatin1String("receive from it")))
                sending.insert(row.cells.at(0));
            else
                QFAIL(qPrintable(row.cells.join(" | ")));
        }
        QCOMPARE(receiving, MidiIO<RtMidiIn>::macVirtualPorts());
        QCOMPARE(sending, MidiIO<RtMidiOut>::macVirtualPorts());
        const KelvoApplication* app = KelvoApplication::instance();
        for (const QString& name : std::as_const(receiving))
            QVERIFY2(app->midiInputPorts().contains(name), qPrintable(name));
        for (const QString& name : std::as_const(sending))
            QVERIFY2(app->midiOutputPorts().contains(name), qPrintable(name));
    }

    // An instrument's port, as the manual lists Kelvo's own among them, is what the
    // instrument page offers.
    void instrumentPortsAreOffered()
    {
        const QStringList items
            = read(QStringLiteral("midi.html")).items.value(QStringLiteral("Instruments"));
        const QStringList port = items.filter(QRegularExpression(QStringLiteral("^Port:")));
        QCOMPARE(port.size(), 1);
        const QSet<QString> documented = ownPortsIn(port.first().section(QLatin1Char('.'), 0, 0));

        Inspector* inspector = KelvoApplication::instance()->inspector();
        QTRY_VERIFY(inspector->instrumentForm().listView->model()->rowCount() > 0);
        inspector->instrumentForm().listView->setCurrentIndex(
            inspector->instrumentForm().listView->model()->index(0, 0));
        QTRY_VERIFY(!inspector->selectedInstruments().isEmpty());
        QSet<QString> offered;
        const QwpComboBox* combo = inspector->instrumentForm().midiPortsComboBox;
        for (int i = 0; i < combo->count(); ++i)
            offered.unite(ownPortsIn(combo->itemText(i)));
        QCOMPARE(documented, offered);
    }

    // The document page's sync lists, as the manual and its picture show them: the ports the
    // MIDI layer lists, Kelvo's own among them, without the synthesizer.
    void syncListsAreThePortLists()
    {
        const KelvoApplication* app = KelvoApplication::instance();
        const Ui_InspectDocForm& form = app->inspector()->documentForm();
        const auto listed = [](QScrollArea* area) {
            QStringList names;
            for (const SqueezedTextCheckBox* box :
                 area->widget()->findChildren<SqueezedTextCheckBox*>())
                names << box->fullText().trimmed();
            names.sort();
            return names;
        };
        QStringList inputs = app->midiInputPorts();
        QStringList outputs = app->midiOutputPorts();
        for (QStringList* names : {&inputs, &outputs}) {
            names->removeAll(MidiPortNames::synthesizerPortName());
            names->sort();
        }
        QTRY_COMPARE(listed(form.midiInputsBox), inputs);
        QCOMPARE(listed(form.midiOutputsBox), outputs);
        QCOMPARE(inputs, QStringList({MidiPortNames::inputPortName()}));
        QCOMPARE(outputs,
                 QStringList({MidiPortNames::inputPortName(), MidiPortNames::outputPortName()}));
    }
};

KELVO_APP_TEST_MAIN(TestManualFacts)
#include "tst_manualfacts.moc"
