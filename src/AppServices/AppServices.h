#ifndef APPSERVICES_H
#define APPSERVICES_H

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class DocumentWindow;
class QColor;
class QFont;
class QSettings;

// What the network editor and the inspector use of the application object, so that they need
// not link the application. The application provides it through an object of its own; tests
// provide their own implementation. Everything runs on the GUI thread.
class AppServices : public QObject
{
    Q_OBJECT

public:
    // The newest object becomes the instance; it stops being one when destroyed.
    explicit AppServices(QObject* parent = nullptr);
    ~AppServices() override;

    // The application's services; null while none exist.
    static AppServices* instance();

    // The application's preferences store.
    virtual QSettings* settings() const = 0;
    // The document window that last had the focus; null when there is none.
    virtual DocumentWindow* focusWindow() const = 0;

    // The MIDI port names present at the last poll, as sets and as lists sorted in natural
    // order.
    virtual const QSet<QString>& midiInputPortSet() const = 0;
    virtual const QSet<QString>& midiOutputPortSet() const = 0;
    virtual const QStringList& midiInputPorts() const = 0;
    virtual const QStringList& midiOutputPorts() const = 0;

    // The shared font and colour dialogs: one receiver at a time, whose `member` takes a
    // QFont (a QColor); the receiver's destruction drops it.
    virtual void connectAppFontDialog(QObject* receiver, const char* member) = 0;
    virtual void connectAppColorDialog(QObject* receiver, const char* member) = 0;
    virtual bool isAppFontDialogVisible() const = 0;
    virtual bool isAppColorDialogVisible() const = 0;
    virtual QObject* appFontDialogReceiver() const = 0;
    virtual QObject* appColorDialogReceiver() const = 0;

public slots:
    virtual void showAppFontDialog() = 0;
    virtual void disconnectAppFontDialog() = 0;
    // Sets the dialog's value without calling the receiver back.
    virtual void updateAppFontDialog(const QFont& font) = 0;
    virtual void showAppColorDialog() = 0;
    virtual void disconnectAppColorDialog() = 0;
    virtual void updateAppColorDialog(const QColor& color) = 0;
    // Opens (creating it when needed) and raises the synthesizer dialog, or closes it.
    virtual void setSynthDialogOpen(bool open) = 0;

signals:
    // The focus window changed; null when the focus window was destroyed.
    void focusWindowChanged(DocumentWindow* window);
    void midiInputPortsChanged();
    void midiOutputPortsChanged();
};

#endif // APPSERVICES_H
