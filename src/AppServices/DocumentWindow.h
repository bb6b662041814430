#ifndef DOCUMENTWINDOW_H
#define DOCUMENTWINDOW_H

#include "QmdGlobal.h"
#include "QmdKelvoTypes.h"

#include <QMainWindow>

class QmdKelvoController;

// The window of one document as the network editor and the inspector see it. The view calls
// the edit slots and setPasteTickPoint by name on its action target.
class DocumentWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit DocumentWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~DocumentWindow() override;

    // The window's document controller.
    virtual QmdKelvoController* controller() const = 0;
    // The ids of the elements selected in the window's network scene.
    virtual QmdItemIdSet selectedElementIds() const = 0;
    // Stores the centre of the next paste and marks it as set (a press in the view).
    Q_INVOKABLE virtual void setPasteTickPoint(QmdKelvo::TickPoint point) = 0;

public slots:
    virtual void cut() = 0;
    virtual void copy() = 0;
    virtual void paste() = 0;
    // Removes the selected elements.
    virtual void del() = 0;
    virtual void selectAll() = 0;

signals:
    // The selection of the window's scene changed.
    void elementSelectionChanged();
    // Emitted before every save and before the close prompt looks at the document, so that
    // an edit in progress is committed first.
    void saveRequested();
};

#endif // DOCUMENTWINDOW_H
