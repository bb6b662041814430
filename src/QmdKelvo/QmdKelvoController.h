#ifndef QMDKELVOCONTROLLER_H
#define QMDKELVOCONTROLLER_H

#include "FeedbackMsg.h"
#include "InstrumentMsg.h"
#include "KelvoNotesTree.h"
#include "QmdElementDocController.h"
#include "QmdKelvoTypes.h"
#include "QmdSyncronizedController.h"
#include "ScaleMode.h"
#include "SortedPipe.h"

#include <QBitArray>
#include <QColor>
#include <QHash>
#include <QMutex>
#include <QReadWriteLock>
#include <QVariant>

#include <atomic>

class AbstractSync;
class MidiInstrument;
class ScaleKeysModel;
class ScaleModesModel;

// The document controller of a network.
class QmdKelvoController : public QmdSyncronizedController<QmdElementDocController>
{
    Q_OBJECT

public:
    // The kind of a list in a notes token map.
    typedef KelvoNotes::NotesToken NotesToken;
    static constexpr NotesToken PitchListToken = KelvoNotes::PitchListToken;
    static constexpr NotesToken VelocityListToken = KelvoNotes::VelocityListToken;
    static constexpr NotesToken DurationListToken = KelvoNotes::DurationListToken;
    typedef KelvoNotes::NotesTokenMap NotesTokenMap;

    explicit QmdKelvoController(QObject* parent = nullptr);
    ~QmdKelvoController() override;

    // The fixed places of the document tree, looked up afresh under the model lock. An id that
    // does not exist gives an index that is not valid.
    QmdItemIdList instruments() const;
    QmdIndex instrumentIndex(QmdItemId id) const;
    QmdIndex scaleModeIndex(QmdItemId id) const;
    QmdItemIdList scaleModes() const;
    // "ElementStates" and "NodeNotesTrees" under "Temp".
    QmdIndex elementStatesRoot() const;
    QmdIndex nodeNotesTreesRoot() const;
    bool isElementState(const QmdIndex& index) const;
    // The marker of an out-edge in its from-node's "ArcIdentifiers"; 0 when there is none.
    int edgeMarker(QmdItemId nodeId, QmdItemId edgeId) const;

    // The document's built-in "Chromatic" scale mode; 0 while the document has none.
    QmdItemId chromaticScaleModeId() const;

    ScaleKeysModel* scaleKeysModel() const { return m_scaleKeysModel; }
    ScaleModesModel* scaleModesModel() const { return m_scaleModesModel; }

    // The built-in scale modes, loaded from the bundle once per process, and the chromatic
    // mode that every document holds.
    static const QList<ScaleMode>& builtInScaleModeList();
    static const QSet<ScaleMode>& builtInScaleModeSet();
    static const ScaleMode& chromaticScaleMode();

    // Style presets: named sets of the eight style colours.
    static QStringList stylePresetNames();

    // Note names of MIDI pitches: 60 is C3, 0 is C-2 and 127 is G8.
    static QString noteLetterName(uchar pitch);
    static int noteOctave(uchar pitch);
    static QString noteName(uchar pitch);
    static uchar pitchFromNoteName(const QString& letters, int octave);
    static uchar parseNoteName(const QString& name);

    // Notes texts
    static bool parseNotes(const QString& notes, const KelvoNotes::NotesParseCallback& callback);
    Q_INVOKABLE static bool validateNotes(const QString& str,
                                          QmdKelvoController::NotesTokenMap& map);
    static void collectNoteListSpans(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree,
                                     NotesTokenMap* map);
    static void noteListSpan(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* noteTree,
                             NotesTokenMap* map);
    static QString listText(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* list,
                            const QString& separator);
    Q_INVOKABLE static bool unitTestNotes(const QString& str, bool expectedResult);

    // The following take no lock and open no request: they run inside the caller's request.

    // Storing a parsed notes text as a node's notes tree.
    void onNotesParsed(bool ok, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree,
                       QmdItemId nodeId);
    void storeNotesTreeNode(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree,
                            const QmdIndex& item);
    void storeNoteLists(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* note,
                        const QmdIndex& item);
    // Removes a node's notes tree, and builds it from the node's "Notes".
    void removeNodeNotesTree(QmdItemId nodeId);
    void buildNodeNotesTree(QmdItemId nodeId);

    // Adds an element, hidden when flags ask for it. Returns its id, 0 when none was added.
    using QmdElementDocController::directAddElement;
    QmdItemId directAddElement(uint type, const QHash<QString, QVariant>& data,
                               const QHash<QString, Qmd::ContainerType>& types,
                               QmdKelvo::CreationFlags flags);
    // Gives an existing node or edge its run-time state, and sets a state back to its
    // initial values. Elements that do not exist get nothing.
    void addElementState(uint elementId);
    void resetElementState(const QmdIndex& state);

    using QmdElementDocController::requestAddElement;
    QmdRequestId requestAddElement(uint type, const QHash<QString, QVariant>& data,
                                   const QHash<QString, Qmd::ContainerType>& types,
                                   QmdKelvo::CreationFlags flags, const QmdRequestOptions& options,
                                   QmdItemId* newId = nullptr);

public slots:
    QmdRequestId requestLoadStylePreset(const QString& presetName);
    QmdRequestId requestRebuildNotesTree(QmdItemId nodeId);

    QmdRequestId requestAddNode(QmdKelvo::TickPoint pos,
                                QmdKelvo::CreationFlags flags = QmdKelvo::NoCreationFlags,
                                const QmdRequestOptions& options = QmdRequestOptions(tr("Node")),
                                QmdItemId* newNodeId = nullptr);
    QmdRequestId requestAddEdge(const QmdIndex& fromNode = QmdIndex(),
                                const QmdIndex& toNode = QmdIndex(),
                                QmdKelvo::EdgePath path = QmdKelvo::CityBlock,
                                QmdKelvo::CreationFlags flags = QmdKelvo::NoCreationFlags,
                                const QmdRequestOptions& options = QmdRequestOptions(tr("Edge")),
                                QmdItemId* newEdgeId = nullptr);
    QmdRequestId requestAddVoiceGroup(const QmdIndex& toNode,
                                      QmdKelvo::CreationFlags flags = QmdKelvo::NoCreationFlags,
                                      const QmdRequestOptions& options
                                      = QmdRequestOptions(tr("Voice Group")));
    QmdRequestId requestAddTextBox(QmdKelvo::TickPoint pos,
                                   const QString& text = tr("<html><body>Text</body></html>"),
                                   QmdKelvo::CreationFlags flags = QmdKelvo::NoCreationFlags,
                                   const QmdRequestOptions& options
                                   = QmdRequestOptions(tr("Text Box")));
    QmdRequestId
    requestAddInstrument(const QString& label, const QColor& color, const QBitArray& channels,
                         const QmdRequestOptions& options = QmdRequestOptions(tr("Instrument")));
    QmdRequestId requestAddInstrument(const QmdRequestOptions& options
                                      = QmdRequestOptions(tr("Instrument")));
    QmdRequestId requestAddControllerToEdge(const QmdIndex& edge,
                                            QmdKelvo::ControllerCurveType curveType, short msbCode,
                                            short lsbCode,
                                            const QmdRequestOptions& options
                                            = QmdRequestOptions(tr("Controller")));

signals:
    void scaleModesAdded(const QmdItemIdList& idList, QmdRequestId rid);
    void scaleModesRemoved(const QmdItemIdList& idList, QmdRequestId rid);
    void scaleModeDataEffected(QmdItemId id, const QStringList& keys, QmdRequestId rid);

protected:
    void Reset() override;

protected slots:
    void receivedItemsChanged(const QmdIndex& parent, const QmdItemIdList& idList,
                              QmdRequestId rid) override;
    void receivedItemsChanged(const QmdIndex& parent, const QStringList& keys,
                              QmdRequestId rid) override;
    void receivedItemsRemoved(const QmdIndex& parent, const QmdItemIdList& idList,
                              QmdRequestId rid) override;
    void receivedItemsRemoved(const QmdIndex& parent, const QStringList& keys,
                              QmdRequestId rid) override;

private:
    // The style presets, by name: each a hash of the eight style keys to their colours.
    static const QHash<QString, QHash<QString, QVariant>>& stylePresets();

    // Fills in the document's defaults and rebuilds the run-time part "Temp".
    void ensureDefaults();
    // Reacts to keys of an item that were set or removed.
    void handleItemDataEffected(const QmdIndex& item, const QStringList& keys, QmdRequestId rid);

    // The index of an existing element, given by an index that addresses it; not valid for
    // anything else (an index left over from a removed element, say).
    QmdIndex directExistingElement(const QmdIndex& index) const;

    ScaleKeysModel* m_scaleKeysModel = nullptr;
    ScaleModesModel* m_scaleModesModel = nullptr;
    QmdItemId m_chromaticScaleModeId = 0;

    QmdIndex tempRoot;
    QmdIndex elementStatesRootIndex;
    QmdIndex nodeNotesTreesRootIndex;
    QmdIndex instrumentsRootIndex;
    QmdIndex scaleModesRootIndex;
    QmdIndex syncMidiInputsRootIndex;
    QmdIndex syncMidiOutputsRootIndex;
    // ---------------------------------------------------------------------------------------
    // Playback: what the voice groups use of the controller. Any thread may call these.
public:
    // The document's transport clock; null before the first one is made.
    AbstractSync* sync() const { return clock.load(); }
    // Queues a message in an instrument's pipe; false, and the message dropped, when there is
    // no such instrument or its pipe is full. The pair form queues both messages or neither.
    bool tryWriteToInstrument(QmdItemId instrument, const InstrumentMsg& msg);
    bool tryWriteToInstrument(QmdItemId instrument, const InstrumentMsg& first,
                              const InstrumentMsg& second);
    // The travel length of an edge between its nodes' "TickPos": |dx| + |dy| for the city
    // block paths, the rounded straight distance for the direct one, 0 for any other path.
    // ok is false (and 0 returned) when the edge or one of its nodes is missing.
    QmdKelvo::Ticks edgeLength(QmdItemId edge, bool* ok) const;
    QmdKelvo::Ticks edgeLength(const QmdIndex& fromNode, const QmdIndex& toNode,
                               QmdKelvo::EdgePath path, bool* ok) const;
    static QmdKelvo::Ticks pathLength(QmdKelvo::TickPoint from, QmdKelvo::TickPoint to,
                                      QmdKelvo::EdgePath path);
    // Runs `read` with the model lock held, so that several lookups and the validity checks
    // of their indexes see one state of the document. Requests may be made inside it.
    template<class Read>
    auto lockedRead(Read&& read) const -> decltype(read())
    {
        const ReadLocker locker(this);
        return read();
    }

    // Makes the clock anew from the root "SyncType" and hands it to the instruments.
    void recreateSync();
    // Makes, starts and records the output threads of the given instruments.
    void createInstruments(const QmdItemIdList& ids);
    QHash<QmdItemId, MidiInstrument*> instrumentsCopy() const;
    // Stops, awaits and deletes every instrument thread.
    void deleteInstruments();

    // Display feedback of the voice groups, read by the editor.
    SortedPipe<FeedbackMsg> feedbackPipe {1000};
    // Held by a voice group while it handles one arrival at a node, so that the arrivals of
    // all voices of the document never interleave.
    QMutex voiceStepMutex;

private:
    std::atomic<AbstractSync*> clock {nullptr};
    QHash<QmdItemId, MidiInstrument*> instrumentTable;
    mutable QReadWriteLock instrumentTableLock;
    // ---------------------------------------------------------------------------------------
};

Q_DECLARE_METATYPE(QmdKelvoController::NotesTokenMap)

#endif // QMDKELVOCONTROLLER_H
