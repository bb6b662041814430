#ifndef QMDKELVOCONTROLLER_H
#define QMDKELVOCONTROLLER_H

#include "KelvoNotesTree.h"
#include "QmdElementDocController.h"
#include "QmdSyncronizedController.h"

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

    // "NodeNotesTrees" under "Temp": the notes tree of every node, by node id.
    QmdIndex nodeNotesTreesRoot() const;

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

    // Storing a parsed notes text as a node's notes tree. These take no lock and open no
    // request: they run inside the caller's request.
    void onNotesParsed(bool ok, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree,
                       QmdItemId nodeId);
    void storeNotesTreeNode(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree,
                            const QmdIndex& item);
    void storeNoteLists(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* note,
                        const QmdIndex& item);

protected:
    void Reset() override;

private:
    // Empties the run-time part "Temp" and makes its containers again.
    void ensureRunTimePart();

    QmdIndex tempRoot;
    QmdIndex nodeNotesTreesRootIndex;
};

Q_DECLARE_METATYPE(QmdKelvoController::NotesTokenMap)

#endif // QMDKELVOCONTROLLER_H
