#ifndef INSPECTOR_H
#define INSPECTOR_H

#include "QmdObserver.h"

#include <QPointer>
#include <QWidget>

class DocumentWindow;
class QmdKelvoController;

// The floating tool window that shows and edits the properties of the focus document and of
// what is selected in it. One per application; it follows the application's focus window.
class Inspector : public QWidget, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    // The inspector's fixed width.
    static constexpr int FixedWidth = 290;

    Inspector();
    ~Inspector() override;

    void setController(QmdKelvoController* controller) override;
    DocumentWindow* kelvoWindow() const;

public slots:
    // Follows another document window; null when no document has the focus.
    void setKelvoWindow(DocumentWindow* window);

signals:
    // Emitted after every show and every hide.
    void visibilityToggled();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<DocumentWindow> m_window;
};

#endif // INSPECTOR_H
