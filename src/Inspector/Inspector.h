#ifndef INSPECTOR_H
#define INSPECTOR_H

#include "QmdKelvoTypes.h"
#include "QmdObserver.h"
#include "ui_InspectDocForm.h"
#include "ui_InspectEdgeForm.h"
#include "ui_InspectInstrumentForm.h"
#include "ui_InspectNodeForm.h"
#include "ui_InspectVoiceGroupForm.h"

#include <QMap>
#include <QObjectList>
#include <QPointer>
#include <QWidget>

#include <functional>

class DocumentWindow;
class QAbstractButton;
class QButtonGroup;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QStackedWidget;
class QStandardItemModel;
class QTimeLine;
class QmdKelvoController;

// The floating tool window that shows and edits the properties of the focus document and of
// what is selected in it. One per application; it follows the application's focus window and
// works on that window's controller. Five pages, each built from a form, are chosen by a row of
// buttons above them; changing pages animates the window's height. Without a focus window
// every field is cleared and the pages are disabled.
class Inspector : public QWidget, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    // The inspector's fixed width.
    static constexpr int FixedWidth = 290;
    // How long a page change takes, and the interval of its steps.
    static constexpr int TransformMs = 250;
    static constexpr int TransformStepMs = 10;

    // The pages, by their index in the page stack, which is also their button's id.
    enum Page { DocumentPage = 0, InstrumentPage, EdgePage, NodePage, VoiceGroupPage };

    // What the inspector keeps of one element type: its page and page button (null for text
    // boxes, which have none), its count on the document page, the ids of all elements of the
    // type in the document and those of the selected ones.
    struct ElementTypeInfo
    {
        QWidget* page = nullptr;
        QPushButton* button = nullptr;
        QLabel* countLabel = nullptr;
        QmdItemIdSet ids;
        QmdItemIdSet selectedIds;
    };

    Inspector();
    ~Inspector() override;

    void setController(QmdKelvoController* controller) override;
    DocumentWindow* kelvoWindow() const;

    // The point size of the inspector's text: two points below the application's, at least 7.
    static int fontPointSize();

    // The forms of the pages.
    const Ui_InspectDocForm& documentForm() const { return m_documentForm; }
    const Ui_InspectInstrumentForm& instrumentForm() const { return m_instrumentForm; }
    const Ui_InspectEdgeForm& edgeForm() const { return m_edgeForm; }
    const Ui_InspectNodeForm& nodeForm() const { return m_nodeForm; }
    const Ui_InspectVoiceGroupForm& voiceGroupForm() const { return m_voiceGroupForm; }

    QStackedWidget* pageStack() const { return m_pageStack; }
    QAbstractButton* pageButton(int index) const;
    // The instruments selected in the instrument page's list.
    const QmdItemIdSet& selectedInstruments() const { return m_selectedInstruments; }
    // The model that the lists and combo boxes of the document show while there is none.
    QStandardItemModel* emptyModel() const { return m_emptyModel; }
    const QMap<QmdKelvo::ElementType, ElementTypeInfo>& elementTypes() const
    {
        return m_elementTypes;
    }

public slots:
    // Fills every page afresh from the controller, or clears every field without one.
    void reset();
    // Follows another document window; null when no document has the focus.
    void setKelvoWindow(DocumentWindow* window);
    void setFixedHeightSlot(int height);
    // Brings the page at index to the front, growing or shrinking the window to it; unless
    // forced, nothing happens when the page is in front already. The pages are hidden while
    // the window changes height when hideDuringTransform is set.
    void transformToPage(int index, bool force = false, bool hideDuringTransform = true);
    void transformFinished();
    void onElementsAdded(const QmdItemIdList& ids);
    void onElementsRemoved(const QmdItemIdList& ids);
    // Takes the focus window's selection once the event loop's pass ends, so that a selection
    // reported item by item is bound once.
    void onElementSelectionChanged();
    void documentRescanMidiInputs();
    void documentRescanMidiOutputs();
    void onInstrumentsAddedOrRemoved();
    void onInstrumentSelectionChanged();
    void instrumentRescanMidiOutputs();
    void shuffleNodeNotesInSelection();

signals:
    // Emitted after every show and every hide.
    void visibilityToggled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // One property of a page's widget bound to a document key: the value shown when the key
    // holds no value or the bound items differ, and the undo text of its changes. A binding
    // without a change signal only follows the document.
    struct PageBinding
    {
        QObject* widget;
        const char* property;
        const char* signal;
        QString key;
        QVariant absentValue;
        QString intent;
    };

    void buildPages();
    // Adds an empty page and its button; returns the page.
    QWidget* addPage(const QString& iconPath, const QString& toolTip);
    // Adds the page of an element type and its entry in the element-type table; returns the
    // page.
    QWidget* addElementTypePage(QmdKelvo::ElementType type, const QString& iconPath,
                                QLabel* countLabel);
    void setUpDocumentPage();
    void setUpInstrumentPage();
    void setUpEdgePage();
    void setUpNodePage();
    void setUpVoiceGroupPage();
    QString styleSheetText() const;
    // The inspector's height with the page in front.
    int pageHeight(const QWidget* page) const;
    void flattenButtonsAndLines();
    // Shows every count of the element-type table.
    void showElementCounts();
    // Gives the lists and combo boxes that show the document's models the empty model.
    void showEmptyModels();
    // Empties every field of every page by its kind.
    void clearFields();
    // Enables the fields that a check box steers exactly while their box is checked: the
    // instrument of a node under "Instrument Change", the key and mode of a voice group under
    // "Use Scale". Their boxes steer them only when toggled, so a box set with its signals
    // blocked (an unbinding does so) needs this call.
    void updateSteeredFields();

    // The bindings of the edge, node and voice group pages, and of the instrument page.
    QList<PageBinding> elementPageBindings(QmdKelvo::ElementType type) const;
    QList<PageBinding> instrumentPageBindings() const;
    static QObjectList boundWidgets(const QList<PageBinding>& bindings);
    // Puts the widgets of unbound bindings at their values for absent keys, quietly: a page
    // without a selection shows nothing of any document.
    static void showAbsentValues(const QList<PageBinding>& bindings);
    // Puts back the document's text into a bound field left holding text that was never
    // finished (and so never stored).
    void restoreUnfinishedText(QLineEdit* edit);
    // The items of one binding over several elements or instruments: each one's index with
    // the key.
    QHash<QmdIndex, QSet<QString>> collectElementKeys(const QmdItemIdSet& ids,
                                                      const QString& key) const;
    QHash<QmdIndex, QSet<QString>> collectInstrumentKeys(const QmdItemIdSet& ids,
                                                         const QString& key) const;
    // Binds each of `bindings` over the items that `collect` gives for its key.
    void bindAll(const QList<PageBinding>& bindings,
                 const std::function<QHash<QmdIndex, QSet<QString>>(const QString&)>& collect);
    // Takes the focus window's selection: binds the element pages to it and brings the page
    // of what was newly selected to the front.
    void applySelection();
    // Runs the selection change that onElementSelectionChanged() put off, unless a reset has
    // taken the selection since.
    void applyPendingSelection();
    void bindElementPage(QmdKelvo::ElementType type, const QmdItemIdSet& ids);
    void bindDocumentPage();
    // Lists the MIDI sync ports of one direction: the present ones and the absent ones that
    // the document still syncs to, each with its check box bound to the document's entry.
    void rescanSyncPorts(bool inputs);
    // Lists the present output ports with the built-in synthesizer and, marked offline, the
    // absent ports that the selected instruments play to.
    void fillMidiPortsComboBox();

    // The window whose selection is shown; null when there is none.
    QPointer<DocumentWindow> m_window;
    QMetaObject::Connection m_selectionConnection;

    Ui_InspectDocForm m_documentForm;
    Ui_InspectInstrumentForm m_instrumentForm;
    Ui_InspectEdgeForm m_edgeForm;
    Ui_InspectNodeForm m_nodeForm;
    Ui_InspectVoiceGroupForm m_voiceGroupForm;

    QTimeLine* m_timeLine = nullptr;
    // The page being switched to; null while no switch is under way.
    QPointer<QWidget> m_transformTarget;
    QHBoxLayout* m_buttonRow = nullptr;
    QButtonGroup* m_buttonGroup = nullptr;
    QStackedWidget* m_pageStack = nullptr;
    QMap<QmdKelvo::ElementType, ElementTypeInfo> m_elementTypes;
    QWidget* m_documentPage = nullptr;
    QPushButton* m_documentButton = nullptr;
    QWidget* m_instrumentPage = nullptr;
    QStandardItemModel* m_emptyModel = nullptr;
    // The element ids last taken from the focus window's selection.
    QmdItemIdSet m_selection;
    // A selection change waits for the end of the event loop's pass.
    bool m_selectionPending = false;
    QmdItemIdSet m_selectedInstruments;
};

#endif // INSPECTOR_H
