#ifndef INSTRUMENTSVIEW_H
#define INSTRUMENTSVIEW_H

#include "QmdObserver.h"

#include <QListView>

class QmdKelvoController;

// The instrument page's list of instruments, over the controller's instruments model. Delete
// or Backspace removes the selected instruments from the document in one undo step.
class InstrumentsView : public QListView, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    explicit InstrumentsView(QWidget* parent = nullptr);
    ~InstrumentsView() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

#endif // INSTRUMENTSVIEW_H
