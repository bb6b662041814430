#include "Inspector.h"
#include "InspectorTestDocument.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "TestAppServices.h"
#include "TestDocumentWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QStackedWidget>
#include <QTest>
#include <QTimeLine>

#include <memory>

namespace K = QmdKelvoKeys;
using InspectorTestDocument::settle;

namespace {

// Every value of every element, as the document holds it.
QMap<QString, QVariant> elementValues(QmdKelvoController* c)
{
    QMap<QString, QVariant> values;
    for (const QmdItemId id : c->elements()) {
        const QmdIndex element = c->elementIndex(id);
        for (const QString& key : c->keys(element))
            values.insert(QStringLiteral("%1/%2").arg(id).arg(key), c->data(key, element));
    }
    return values;
}

bool isTextBlock(const QWidget* widget)
{
    return qobject_cast<const QPlainTextEdit*>(widget) != nullptr;
}

} // namespace

// Editing through the inspector with the keyboard and the mouse, as the user does: fields
// write what the user changed and nothing else.
class TestInspectorEditing : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestAppServices> services;
    std::unique_ptr<TestDocumentWindow> window;
    QmdKelvoController* c = nullptr;
    InspectorTestDocument::Elements elements;
    std::unique_ptr<Inspector> inspector;

    void select(const QmdItemIdSet& ids)
    {
        window->setSelectedElementIds(ids);
        settle();
    }

    QmdIndex element(QmdItemId id) const { return c->elementIndex(id); }

    void setElementData(QmdItemId id, const QString& key, const QVariant& value)
    {
        c->requestSetData(key, value, element(id), QmdRequestOptions(QStringLiteral("Set")));
        settle();
    }

    QmdItemId addVoiceGroup(QmdItemId node)
    {
        const QmdItemIdList before = c->elements();
        c->requestAddVoiceGroup(element(node));
        settle();
        for (const QmdItemId id : c->elements())
            if (!before.contains(id))
                return id;
        return 0;
    }

    // A document that is clean, with a step to redo that any new request would drop.
    void makeClean()
    {
        c->requestAddTextBox(QmdKelvo::TickPoint {0, 0}, QStringLiteral("Text"),
                             QmdKelvo::NoCreationFlags, QmdRequestOptions(QStringLiteral("Redo")));
        c->requestUndo();
        c->requestMarkAsCleanState();
        settle();
    }

    [[nodiscard]] bool unchangedAndClean() const
    {
        return c->atCleanState() && c->canRedo() && c->redoText() == QStringLiteral("Redo");
    }

    [[nodiscard]] bool showPage(Inspector::Page page)
    {
        QTest::mouseClick(inspector->pageButton(page), Qt::LeftButton);
        auto* line = inspector->findChild<QTimeLine*>();
        return QTest::qWaitFor([&] {
            return line->state() == QTimeLine::NotRunning
                && inspector->pageStack()->currentIndex() == page;
        });
    }

    // Gives a field the focus with a click, as the user does.
    [[nodiscard]] static bool clickInto(QWidget* field)
    {
        QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, QPoint(4, field->height() / 2));
        return QTest::qWaitFor([field] { return field->hasFocus(); });
    }

    // Moves the focus on to the next or previous widget that takes it from the keyboard: Tab
    // and Shift+Tab, except in a text block, where Tab would type itself.
    static void tabOn(bool forward)
    {
        QWidget* from = QApplication::focusWidget();
        if (!from)
            return;
        if (!isTextBlock(from)) {
            QTest::keyClick(from, Qt::Key_Tab, forward ? Qt::NoModifier : Qt::ShiftModifier);
            return;
        }
        QWidget* next = from;
        do {
            next = forward ? next->nextInFocusChain() : next->previousInFocusChain();
        } while (
            next != from
            && (!(next->focusPolicy() & Qt::TabFocus) || !next->isVisible() || !next->isEnabled()));
        next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    }

private slots:
    void init()
    {
        services = std::make_unique<TestAppServices>();
        window = std::make_unique<TestDocumentWindow>();
        c = window->controller();
        elements = InspectorTestDocument::fill(c);
        inspector = std::make_unique<Inspector>();
        services->setFocusWindow(window.get());
        settle();
        inspector->show();
        inspector->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(inspector.get()));
    }

    void cleanup()
    {
        inspector.reset();
        window.reset();
        services.reset();
    }

    // Two voice groups whose pitch lists differ, and two nodes whose message lists differ:
    // the empty field that stands for them is passed through with Tab, Return and a click
    // elsewhere, and both keep their lists; typing into the field writes to both.
    void differingListsSurviveLeavingTheField()
    {
        const QmdItemId first = elements.voiceGroups.at(0);
        const QmdItemId second = addVoiceGroup(elements.nodes.at(1));
        setElementData(first, K::TriggeringMidiPitchList, QStringLiteral("C3"));
        setElementData(second, K::TriggeringMidiPitchList, QStringLiteral("D3,F3"));
        makeClean();
        select({first, second});
        QVERIFY(showPage(Inspector::VoiceGroupPage));
        QLineEdit* pitches = inspector->voiceGroupForm().midiPitchListEdit;
        QCOMPARE(pitches->text(), QString());

        QVERIFY(clickInto(pitches));
        QTest::keyClick(pitches, Qt::Key_Tab);
        QVERIFY(clickInto(pitches));
        QTest::keyClick(pitches, Qt::Key_Return);
        QVERIFY(clickInto(inspector->voiceGroupForm().pitchEdit));
        settle();
        QCOMPARE(c->data(K::TriggeringMidiPitchList, element(first)).toString(),
                 QStringLiteral("C3"));
        QCOMPARE(c->data(K::TriggeringMidiPitchList, element(second)).toString(),
                 QStringLiteral("D3,F3"));
        QVERIFY(unchangedAndClean());

        // The same for the nodes' message lists.
        const QmdItemId a = elements.nodes.at(0);
        const QmdItemId b = elements.nodes.at(1);
        setElementData(a, K::UserMidiMessageList, QStringLiteral("0x90 0x3c 0x7f"));
        setElementData(b, K::UserMidiMessageList, QStringLiteral("0xc0 0x5"));
        makeClean();
        select({a, b});
        QVERIFY(showPage(Inspector::NodePage));
        QLineEdit* messages = inspector->nodeForm().userMidiMessageListEdit;
        QCOMPARE(messages->text(), QString());
        QVERIFY(clickInto(messages));
        QTest::keyClick(messages, Qt::Key_Return);
        QTest::keyClick(messages, Qt::Key_Tab);
        settle();
        QCOMPARE(c->data(K::UserMidiMessageList, element(a)).toString(),
                 QStringLiteral("0x90 0x3c 0x7f"));
        QCOMPARE(c->data(K::UserMidiMessageList, element(b)).toString(),
                 QStringLiteral("0xc0 0x5"));
        QVERIFY(unchangedAndClean());

        // Typed into, the field writes to both, as one step.
        select({first, second});
        QVERIFY(showPage(Inspector::VoiceGroupPage));
        QVERIFY(clickInto(pitches));
        QTest::keyClicks(pitches, QStringLiteral("e3"));
        QTest::keyClick(pitches, Qt::Key_Return);
        settle();
        QCOMPARE(c->data(K::TriggeringMidiPitchList, element(first)).toString(),
                 QStringLiteral("E3"));
        QCOMPARE(c->data(K::TriggeringMidiPitchList, element(second)).toString(),
                 QStringLiteral("E3"));
        QCOMPARE(c->undoText(), QStringLiteral("MIDI Pitch List"));
        c->requestUndo();
        settle();
        QCOMPARE(c->data(K::TriggeringMidiPitchList, element(second)).toString(),
                 QStringLiteral("D3,F3"));
        QCOMPARE(pitches->text(), QString());
    }

    // The focus passing through fields that show one value adds no step and leaves the
    // document unmodified.
    void passingThroughFieldsChangesNothing()
    {
        makeClean();
        select({elements.voiceGroups.at(0)});
        QVERIFY(showPage(Inspector::VoiceGroupPage));
        const Ui_InspectVoiceGroupForm& group = inspector->voiceGroupForm();
        for (QLineEdit* field :
             std::initializer_list<QLineEdit*> {group.pitchEdit, group.velocityEdit,
                                                group.durationEdit, group.midiPitchListEdit}) {
            QVERIFY(clickInto(field));
            QTest::keyClick(field, Qt::Key_Return);
            QTest::keyClick(field, Qt::Key_Tab);
            settle();
        }
        QVERIFY(unchangedAndClean());

        QVERIFY(showPage(Inspector::DocumentPage));
        const Ui_InspectDocForm& document = inspector->documentForm();
        document.tabWidget->setCurrentWidget(document.infoTab);
        for (QWidget* field :
             {static_cast<QWidget*>(document.authorEdit), static_cast<QWidget*>(document.titleEdit),
              static_cast<QWidget*>(document.commentsEdit),
              static_cast<QWidget*>(document.authorEdit)})
            QVERIFY(clickInto(field));
        settle();
        QVERIFY(unchangedAndClean());

        // A changed field writes.
        QTest::keyClicks(document.authorEdit, QStringLiteral("Ann"));
        QTest::keyClick(document.authorEdit, Qt::Key_Tab);
        settle();
        QCOMPARE(c->data(K::Author, QmdIndex()).toString(), QStringLiteral("Ann"));
        QCOMPARE(c->undoText(), QStringLiteral("Author"));
    }

    // Undoing an element's first value for a key takes the value out of the field too.
    void undoneFirstValueLeavesTheField()
    {
        const QmdItemId edge = elements.edges.at(0);
        QVERIFY(!c->index(K::IsWormhole, element(edge)).isValid());
        select({edge});
        QVERIFY(showPage(Inspector::EdgePage));
        QCheckBox* wormhole = inspector->edgeForm().wormholeCheckBox;
        QVERIFY(!wormhole->isChecked());
        QTest::mouseClick(wormhole, Qt::LeftButton);
        settle();
        QCOMPARE(c->data(K::IsWormhole, element(edge)), QVariant(true));
        c->requestUndo();
        settle();
        QVERIFY(!c->index(K::IsWormhole, element(edge)).isValid());
        QVERIFY(!wormhole->isChecked());

        const QmdItemId node = elements.nodes.at(2);
        QVERIFY(!c->index(K::UserMidiMessageList, element(node)).isValid());
        select({node});
        QVERIFY(showPage(Inspector::NodePage));
        QLineEdit* messages = inspector->nodeForm().userMidiMessageListEdit;
        QVERIFY(clickInto(messages));
        QTest::keyClicks(messages, QStringLiteral("0x90"));
        QTest::keyClick(messages, Qt::Key_Return);
        settle();
        QCOMPARE(c->data(K::UserMidiMessageList, element(node)).toString(), QStringLiteral("0x90"));
        c->requestUndo();
        settle();
        QCOMPARE(messages->text(), QString());
    }

    // A duration left unfinished is not stored, and the field shows the stored one again.
    void unfinishedDurationTakesBackTheStoredText()
    {
        const QmdItemId group = elements.voiceGroups.at(0);
        const QString stored = c->data(K::InitialDuration, element(group)).toString();
        QVERIFY(!stored.isEmpty());
        makeClean();
        select({group});
        QVERIFY(showPage(Inspector::VoiceGroupPage));
        QLineEdit* duration = inspector->voiceGroupForm().durationEdit;
        QVERIFY(clickInto(duration));
        duration->selectAll();
        QTest::keyClicks(duration, QStringLiteral("2."));
        QCOMPARE(duration->text(), QStringLiteral("2."));
        QTest::keyClick(duration, Qt::Key_Tab);
        QTRY_COMPARE(duration->text(), stored);
        QVERIFY(unchangedAndClean());

        // A finished one is stored.
        QVERIFY(clickInto(duration));
        duration->selectAll();
        QTest::keyClicks(duration, QStringLiteral("2.5"));
        QTest::keyClick(duration, Qt::Key_Tab);
        settle();
        QCOMPARE(c->data(K::InitialDuration, element(group)).toString(), QStringLiteral("2.5"));
        QCOMPARE(duration->text(), QStringLiteral("2.5"));
    }

    // A page without a selection shows nothing of the document that the inspector switched
    // to, nor of the one it left.
    void disabledPagesShowNoValuesAfterSwitchingDocuments()
    {
        select({elements.nodes.at(0), elements.voiceGroups.at(0)});
        const Ui_InspectNodeForm& node = inspector->nodeForm();
        const Ui_InspectVoiceGroupForm& group = inspector->voiceGroupForm();
        QVERIFY(!node.noteListEdit->toPlainText().isEmpty());

        TestDocumentWindow other;
        InspectorTestDocument::fill(other.controller());
        QVERIFY(!other.controller()->instruments().isEmpty());
        services->setFocusWindow(&other);
        settle();
        QVERIFY(!inspector->pageStack()->widget(Inspector::NodePage)->isEnabled());
        for (const QComboBox* box : {static_cast<const QComboBox*>(node.instrumentComboBox),
                                     static_cast<const QComboBox*>(group.instrumentComboBox)}) {
            QCOMPARE(box->currentIndex(), -1);
            QCOMPARE(box->currentText(), QString());
        }
        QCOMPARE(node.noteListEdit->toPlainText(), QString());
        QCOMPARE(group.pitchEdit->text(), QString());

        // And back: the first document's pages as they were.
        services->setFocusWindow(window.get());
        settle();
        QVERIFY(inspector->pageStack()->widget(Inspector::NodePage)->isEnabled());
        services->setFocusWindow(nullptr);
        settle();
    }

    // Many elements of each kind with differing values, and two instruments: whatever path the
    // focus takes through every page, forward, backward, by clicks and with Return in the text
    // fields, nothing changes and the document stays clean.
    void focusPathsThroughEveryPageChangeNothing()
    {
        // Four more nodes, each with its own values, and a voice group on each.
        QmdItemIdSet all;
        for (int i = 0; i < 4; ++i) {
            addVoiceGroup(InspectorTestDocument::addNode(c, 3 + i));
        }
        int n = 0;
        for (const QmdItemId id : c->elements()) {
            ++n;
            all.insert(id);
            switch (c->elementType(id)) {
            case QmdKelvo::NodeElement:
                setElementData(id, K::SignallingMethod, n % 3);
                setElementData(id, K::Notes, QStringLiteral("C%1").arg(n % 5));
                setElementData(id, K::DontPlayNote, n % 2 == 0);
                setElementData(id, K::UserMidiMessageList, QStringLiteral("0x%1").arg(n));
                break;
            case QmdKelvo::EdgeElement:
                setElementData(id, K::Path, n % 3);
                setElementData(id, K::IsWormhole, n % 2 == 0);
                break;
            case QmdKelvo::VoiceGroupElement:
                setElementData(id, K::TriggeringMidiPitchList, QStringLiteral("C%1").arg(n % 5));
                setElementData(id, K::InitialPitch, QStringLiteral("D%1").arg(n % 5));
                setElementData(id, K::InitialVelocity, QString::number(n));
                setElementData(id, K::InitialDuration, QStringLiteral("%1.5").arg(n));
                setElementData(id, K::UseScale, n % 2 == 0);
                break;
            default:
                break;
            }
        }
        makeClean();
        const QMap<QString, QVariant> before = elementValues(c);
        select(all);
        // Both instruments, whose labels differ.
        QAbstractItemView* instruments = inspector->instrumentForm().listView;
        instruments->selectAll();
        settle();

        QRandomGenerator random(4711);
        for (const Inspector::Page page :
             {Inspector::EdgePage, Inspector::NodePage, Inspector::VoiceGroupPage,
              Inspector::InstrumentPage, Inspector::DocumentPage}) {
            QVERIFY(showPage(page));
            QWidget* shown = inspector->pageStack()->widget(page);
            QList<QWidget*> fields;
            const QList<QWidget*> children = shown->findChildren<QWidget*>();
            for (QWidget* child : children) {
                if ((child->focusPolicy() & Qt::ClickFocus) && child->isVisible()
                    && child->isEnabled() && !child->focusProxy())
                    fields.append(child);
            }
            QVERIFY(!fields.isEmpty());
            fields.first()->setFocus(Qt::TabFocusReason);
            // Around the page forward and back.
            for (int i = 0; i < 2 * fields.size(); ++i)
                tabOn(true);
            for (int i = 0; i < 2 * fields.size(); ++i)
                tabOn(false);
            // Text fields by clicks in a random order, some finished with Return.
            for (int round = 0; round < 3 * fields.size(); ++round) {
                QWidget* field = fields.at(random.bounded(int(fields.size())));
                if (qobject_cast<QLineEdit*>(field) || isTextBlock(field)) {
                    QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier,
                                      QPoint(4, field->height() / 2));
                    if (qobject_cast<QLineEdit*>(field) && random.bounded(2) == 0)
                        QTest::keyClick(field, Qt::Key_Return);
                } else {
                    field->setFocus(Qt::MouseFocusReason);
                }
                if (random.bounded(3) == 0)
                    tabOn(random.bounded(2) == 0);
            }
            settle();
            QVERIFY2(unchangedAndClean(), qPrintable(c->undoText()));
        }
        // And away from the inspector altogether.
        inspector->pageButton(Inspector::EdgePage)->setFocus(Qt::TabFocusReason);
        settle();
        QVERIFY2(unchangedAndClean(), qPrintable(c->undoText()));
        QCOMPARE(elementValues(c), before);
    }
};

QTEST_MAIN(TestInspectorEditing)
#include "tst_inspectorediting.moc"
