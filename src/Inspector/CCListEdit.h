#ifndef CCLISTEDIT_H
#define CCLISTEDIT_H

#include "QmdIndex.h"
#include "QmdKelvoController.h"
#include "QmdObserver.h"
#include "ui_CCItemEditForm.h"

#include <QFrame>
#include <QHash>
#include <QScrollArea>

class CCItemEdit;
class CCListEdit;
class QBoxLayout;

// One row of the controller-curve list: the row form with its curve-type chooser, whose tab
// index is the curve type. The form connects the chooser to on_curveTypeChooser_currentChanged()
// by name while this base is built, so that the one connection reaches whichever override the
// finished row has.
class CCItem : public QFrame, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    // Takes the list's controller when it has one.
    explicit CCItem(CCListEdit* parent);
    ~CCItem() override;

    Ui_CCItemEditForm ui;

public slots:
    // Does nothing here.
    virtual void on_curveTypeChooser_currentChanged(int index);

protected:
    // A boolean preference of the application; the default while there is none.
    static bool preference(const QString& key, bool defaultValue);

    CCListEdit* const listEdit;
};

// The last row of the list: a curve-type chooser alone. Choosing a type adds a curve of that
// type to the shown edge and returns the chooser to "None".
class CCItemSpawner : public CCItem
{
    Q_OBJECT

public:
    explicit CCItemSpawner(CCListEdit* parent);

public slots:
    void on_curveTypeChooser_currentChanged(int index) override;
};

// The controller curves of one edge, one row each in the order of their ids, above the spawner
// row. The rows follow the document: they come and go with the curves, a curve whose type
// becomes "None" is removed, and a curve whose type changes gets its points completed for the
// new type, both in the request that changed the type.
class CCListEdit : public QFrame, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    explicit CCListEdit(QWidget* parent = nullptr);
    ~CCListEdit() override;

    // Drops the shown edge and every row, and follows another controller.
    void setController(QmdKelvoController* controller) override;
    // Shows the curves of an edge, giving it an empty container of curves when it has none. An
    // id that is not an edge shows nothing.
    void setEdge(QmdItemId edge);

    QmdKelvoController* documentController() const { return controller; }
    // The row of a curve; null when the curve has none.
    CCItemEdit* itemEdit(QmdItemId curveId) const { return itemEdits.value(curveId); }
    CCItemSpawner* itemSpawner() const { return spawner; }

public slots:
    // Builds every row again.
    void sync();
    void onIntDictItemsChangedOrRemoved(const QmdIndex& parent);
    void onStrDictItemsChanged(const QmdIndex& parent, const QStringList& keys,
                               QmdRequestId requestId);

private:
    friend class CCItemSpawner;

    void removeRow(QmdItemId curveId);
    void restripe();

    QmdIndex edgeIndex;
    QmdIndex controllersIndex;
    QHash<QmdItemId, CCItemEdit*> itemEdits;
    CCItemSpawner* spawner;
    QBoxLayout* layout;
};

// The scroll area of the list: it scrolls vertically only and keeps the list as wide as the
// room the scroll bar leaves.
class CCListEditScrollArea : public QScrollArea
{
    Q_OBJECT

public:
    explicit CCListEditScrollArea(QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;
};

#endif // CCLISTEDIT_H
