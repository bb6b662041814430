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
#include <QFile>
#include <QHash>
#include <QVariant>

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

class AbstractSync;
class InstrumentsModel;
struct MidiInputMessage;
Q_MOC_INCLUDE("MidiInput.h")
class MidiInstrument;
class ScaleKeysModel;
class ScaleModesModel;
class VoiceGroup;

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
    // The container that key `key` of an element of type `elementType` holds when present: a
    // node's "ArcIdentifiers" and an edge's "ContinuousControllers" are IntDicts; every other
    // key of an element holds a plain value.
    static Qmd::ContainerType elementContainerType(int elementType, const QString& key);

    // The document's built-in "Chromatic" scale mode; 0 while the document has none.
    QmdItemId chromaticScaleModeId() const;

    ScaleKeysModel* scaleKeysModel() const { return m_scaleKeysModel; }
    ScaleModesModel* scaleModesModel() const { return m_scaleModesModel; }

    // ---- Run-time objects -------------------------------------------------------------------
    // The transport clock; null until the first reset.
    AbstractSync* sync() const;
    InstrumentsModel* instrumentsModel() const { return m_instrumentsModel; }
    // Copies of the thread tables: the output thread of every instrument, by instrument id,
    // and the thread of every voice group, by element id. For the controller's own thread, on
    // which the objects are deleted: they stay valid there until it handles the next change.
    QHash<QmdItemId, MidiInstrument*> instrumentsCopy() const;
    QHash<QmdItemId, VoiceGroup*> voiceGroupsCopy() const;
    // The from-node of every edge, by edge id.
    QHash<QmdItemId, QmdItemId> edgeFromNodesCopy() const;

    // Queues a message in an instrument's pipe; false, and the message dropped, when there is
    // no such instrument or its pipe is full. The pair form queues both messages or neither.
    // Any thread may call these.
    bool tryWriteToInstrument(QmdItemId instrument, const InstrumentMsg& msg);
    bool tryWriteToInstrument(QmdItemId instrument, const InstrumentMsg& first,
                              const InstrumentMsg& second);
    // Sets run-time values (of element states and notes-tree nodes) in several string-keyed
    // containers in one request that is not undoable; a container that no longer exists is
    // left out. Any thread; a voice group makes it with the model lock held.
    typedef QList<QPair<QmdIndex, QHash<QString, QVariant>>> RunTimeValues;
    QmdRequestId requestSetRunTimeData(const RunTimeValues& values);
    // Moves on with every change of the model but those of requestSetRunTimeData: while it
    // stays the same, what a voice group read of the document, run-time values apart, holds.
    quint64 documentGeneration() const { return generation.load(std::memory_order_acquire); }
    void setModel(QmdModel* model) override;
    // Runs `read` with the model lock held, so that several lookups and the validity checks
    // of their indexes see one state of the document. Requests may be made inside it.
    template<class Read>
    auto lockedRead(Read&& read) const -> decltype(read())
    {
        const ReadLocker locker(this);
        return read();
    }

    // Display feedback of the voice groups, read by the editor; cleared by every reset.
    SortedPipe<FeedbackMsg> feedbackPipe {1000};
    // Held by a voice group while it handles one arrival at a node, so that the arrivals of
    // all voices of the document never interleave.
    std::mutex voiceStepMutex;

    // Replaces the clock by one of the document's "SyncType".
    void recreateSync();
    // Instruments whose stored port was missing open it if it is there now. For when the
    // system's ports have changed; it lists them, so never on a playback path.
    void reopenMissingPorts();
    // Creates and starts the threads of the given instruments and of the voice groups among
    // the given elements. An id that already has a thread keeps it.
    void createInstruments(const QmdItemIdList& ids);
    void createVoiceGroups(const QmdItemIdList& ids);

    // ---- Geometry ---------------------------------------------------------------------------
    // The travel length of an edge in ticks; ok is false, and the length 0, when the edge or
    // one of its nodes does not exist.
    QmdKelvo::Ticks edgeLength(QmdItemId edgeId, bool* ok = nullptr) const;
    QmdKelvo::Ticks edgeLength(const QmdIndex& fromNode, const QmdIndex& toNode,
                               QmdKelvo::EdgePath path, bool* ok = nullptr) const;
    static QmdKelvo::Ticks pathLength(QmdKelvo::TickPoint from, QmdKelvo::TickPoint to,
                                      QmdKelvo::EdgePath path);

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
    // Instruments were added (or replaced), removed, or had the listed keys set or removed.
    // Followed by the instruments' output threads and the instruments list model.
    void instrumentsAdded(const QmdItemIdList& idList, QmdRequestId rid);
    void instrumentsRemoved(const QmdItemIdList& idList, QmdRequestId rid);
    void instrumentDataEffected(QmdItemId id, const QStringList& keys, QmdRequestId rid);

protected:
    void Reset() override;
    QFile::FileError save(const QString& fileName, QmdRequestId rid) override;
    QFile::FileError load(const QString& fileName, QmdRequestId rid) override;

public:
    // The scale modes that a save leaves out: those that neither the document nor any voice
    // group names. Reads without a lock, inside the caller's request.
    QSet<QmdIndex> unusedScaleModes() const;

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
    // A node's instrument change names one of the document's instruments. A node whose change
    // is on and names none of them takes the first (the one a new voice group starts with);
    // in a document without instruments its change goes off. A node that a request switched on
    // or pasted is completed in that request's step.
    void completeInstrumentChange(QmdItemId node, QmdRequestId rid);
    // Whether the node's change is on and names none of `instruments`; reads without a lock.
    bool directLacksChangedInstrument(QmdItemId node, const QmdItemIdList& instruments) const;
    // Completes the node's change, inside the caller's request.
    void directCompleteInstrumentChange(QmdItemId node, const QmdItemIdList& instruments);

    // ---- Reset steps, inside the reset's request --------------------------------------------
    void convertLegacyNodes();
    void convertLegacyVoiceGroupOutputs();
    // Gives an element's container key that holds something else the empty container of its
    // type, and an edge's curve that is not a string dictionary an empty one.
    void repairElementContainers();
    void normaliseScaleModes();
    void repairScaleModeReferences();
    void repairInstrumentChanges();
    void rebuildEdgeFromNodes();

    // ---- Removal clean-up -------------------------------------------------------------------
    void removeElementStates(const QmdItemIdList& idList, QmdRequestId rid);
    void removeRefsToEdges(const QmdItemIdList& idList, QmdRequestId rid);
    void removeRefsToInstruments(const QmdItemIdList& idList, QmdRequestId rid, bool undoRedo);

    // ---- Threads ----------------------------------------------------------------------------
    // The run-time objects are shared: the tables hold them, and so does every request that
    // calls them, on whatever thread, until it is done. Such a request holds objectsInUseLock
    // for reading meanwhile; an object taken out of its table has its thread stopped at once,
    // and is deleted on the controller's thread once that lock is free, so always by its last
    // holder there.
    using InstrumentHandle = std::shared_ptr<MidiInstrument>;
    using VoiceGroupHandle = std::shared_ptr<VoiceGroup>;
    // Deep copies, which other threads may keep and walk: a copy of an implicitly shared table
    // would share its data with the table the controller changes.
    std::vector<InstrumentHandle> instrumentHandles() const;
    std::vector<VoiceGroupHandle> voiceGroupHandles() const;
    // Take entries out of the tables, under the model lock (voice groups) or the table's lock
    // (instruments); the threads are then stopped outside the model lock.
    QList<InstrumentHandle> takeInstruments(const QmdItemIdList& ids);
    QList<VoiceGroupHandle> takeVoiceGroups(const QmdItemIdList& ids);
    // Tell the threads to end, wait for each, and delete them once no request uses them.
    // Called without the model lock.
    void stopInstruments(QList<InstrumentHandle> instruments);
    void stopVoiceGroups(QList<VoiceGroupHandle> voiceGroups);
    // Empties the display feedback that voice groups left.
    void clearFeedback();
    // Takes back from every instrument what the given voice groups queued ahead; the notes of
    // theirs that sound end at once.
    void dropQueuedNotes(const QmdItemIdList& voiceGroups);
    // Attaches the instrument and scale-mode list models to this controller again.
    void attachListModels();

    // The index of an existing element, given by an index that addresses it; not valid for
    // anything else (an index left over from a removed element, say).
    QmdIndex directExistingElement(const QmdIndex& index) const;

    // ---- Run-time objects -------------------------------------------------------------------
    std::atomic<quint64> generation {0};
    // Set while requestSetRunTimeData writes, with the model lock held.
    std::atomic<bool> runTimeRequestOpen {false};
    // Read by any thread without the model lock: a voice group asks for it while it holds its
    // own mutex, which the GUI thread takes inside the model lock.
    std::atomic<AbstractSync*> clock {nullptr};
    // Guarded by instrumentTableLock, which is taken inside the model lock when both are held.
    // A standard lock, which the thread sanitizer sees, as the voice groups read the table.
    QHash<QmdItemId, InstrumentHandle> instrumentTable;
    mutable std::shared_mutex instrumentTableLock;
    // Guarded by the model lock.
    QHash<QmdItemId, VoiceGroupHandle> voiceGroupTable;
    // Held for reading by the transport requests while they call instruments and voice groups,
    // on any thread; for writing before objects that left the tables are deleted.
    mutable std::shared_mutex objectsInUseLock;
    QHash<QmdItemId, QmdItemId> edgeFromNodes;
    // The request of the latest reset, whose changes the handlers see after it.
    QmdRequestId resetRequestId = 0;
    InstrumentsModel* m_instrumentsModel = nullptr;

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

    // ==== Transport, voice-group triggering, copy and paste ===================================
    // (QmdKelvoControllerTransport.cpp and QmdKelvoControllerClipboard.cpp)
public:
    // What the transport requests return: no request id.
    static constexpr QmdRequestId NoRequestId = 0xFFFFFFFF;

    // Whether the voice group's thread is iterating; false when it has none.
    bool isVoiceGroupIterating(uint voiceGroupId) const;
    // Before the clock starts: the voice groups that a start runs (those without trigger
    // pitches) handle what is due at the clock's position, one after another on the calling
    // thread, so that the notes due as the clock starts are queued before it does. A start
    // and a go-to-start during playback do this first.
    void prepareVoiceGroupsToStart();
    // Whether the clipboard holds copied elements.
    static bool canPaste();

public slots:
    QmdRequestId requestPlay();
    QmdRequestId requestPause();
    QmdRequestId requestSetPlayback(bool play);
    QmdRequestId requestTogglePlayback();
    // Instruments and voice groups follow a change of the clock's state. Also called by the
    // clock from the MIDI input thread.
    QmdRequestId requestPrimePlaybackForSyncStateChange(bool newState);
    // Back to the start: positions, counters and the notes trees' places. Also called by the
    // clock from the MIDI input thread.
    QmdRequestId requestGotoStart();

    QmdRequestId requestToggleShowGrid();
    QmdRequestId requestToggleSnapToGrid();
    QmdRequestId requestToggleShowNodeCounters();
    QmdRequestId requestToggleShowNodeLastNotesSent();
    QmdRequestId requestToggleShowEdgeSignalling();
    QmdRequestId requestToggleMidiTriggering();

    QmdRequestId requestStartVoiceGroups(const QmdItemIdList& idList,
                                         QmdKelvo::Scale velocityScale = 1.0);
    QmdRequestId requestStopVoiceGroups(const QmdItemIdList& idList);
    QmdRequestId requestMidiTriggerVoiceGroups(const MidiInputMessage& msg, int msecToggleTimeout);
    QmdRequestId requestShuffleNodeNotes(const QmdItemIdSet& nodes);

    QmdRequestId requestCopy(const QmdItemIdSet& elements);
    QmdRequestId requestPaste(QmdKelvo::TickPoint center);

signals:
    void playbackStateChanged(bool isPlaying);
    void playbackJogged();

private:
    QmdRequestId requestToggle(const QString& key);
    void resetNotesTreePositions(const QmdIndex& index);
    // The start position of a triggered voice group for its "TriggeringQuantization".
    quint64 quantizedStart(int quantization, quint64 ticks, quint64 pulses,
                           quint64 divisionTicks) const;
    void copyItemTree(const QmdIndex& source, const QmdIndex& target);
    // Whether the notes tree of a pasted node was built by the paste of request rid; consumes
    // the record, so that the change of "Notes" that the paste made builds it no second time.
    bool takePastedNotesTree(QmdItemId nodeId, QmdRequestId rid);

    // By MIDI pitch, the arrival of the last trigger message (status 0x80 to 0x9F) in host
    // nanoseconds. Guarded by triggerTimesMutex.
    QHash<uchar, quint64> lastTriggerTimes;
    QMutex triggerTimesMutex;
    // Nodes whose notes trees a paste has built, by the paste's request id. GUI thread only.
    QHash<QmdRequestId, QmdItemIdSet> pastedNotesTrees;
};

Q_DECLARE_METATYPE(QmdKelvoController::NotesTokenMap)

#endif // QMDKELVOCONTROLLER_H
