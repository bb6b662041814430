#ifndef TESTDOCUMENTWINDOW_H
#define TESTDOCUMENTWINDOW_H

#include "DocumentWindow.h"

#include <QList>
#include <QStringList>

class QmdMemModel;

// A document window for tests of the editor and the inspector: it holds a real controller (its
// own over an in-memory model, or one the test gives it), shows what the test puts in it, and
// records the edit commands called on it instead of carrying them out.
class TestDocumentWindow : public DocumentWindow
{
    Q_OBJECT

public:
    // A window over a new, empty document of its own.
    TestDocumentWindow();
    // A window over the test's controller, which it does not own.
    explicit TestDocumentWindow(QmdKelvoController* controller);
    ~TestDocumentWindow() override;

    QmdKelvoController* controller() const override { return m_controller; }
    QmdItemIdSet selectedElementIds() const override { return m_selection; }
    Q_INVOKABLE void setPasteTickPoint(QmdKelvo::TickPoint point) override;

    // Sets what selectedElementIds() gives and emits elementSelectionChanged().
    void setSelectedElementIds(const QmdItemIdSet& ids);
    void emitSaveRequested() { emit saveRequested(); }

    // The commands called, in order: "cut", "copy", "paste", "del", "selectAll" and
    // "setPasteTickPoint"; the points given to setPasteTickPoint.
    QStringList calls;
    QList<QmdKelvo::TickPoint> pasteTickPoints;

public slots:
    void cut() override { calls << QStringLiteral("cut"); }
    void copy() override { calls << QStringLiteral("copy"); }
    void paste() override { calls << QStringLiteral("paste"); }
    void del() override { calls << QStringLiteral("del"); }
    void selectAll() override { calls << QStringLiteral("selectAll"); }

private:
    QmdMemModel* m_model = nullptr;
    QmdKelvoController* m_controller = nullptr;
    bool m_ownsController = false;
    QmdItemIdSet m_selection;
};

#endif // TESTDOCUMENTWINDOW_H
