#ifndef TESTAPPSERVICES_H
#define TESTAPPSERVICES_H

#include "AppServices.h"
#include "DocumentWindow.h"

#include <QList>
#include <QPointer>

class SharedDialogs;

// The application's services for tests of the editor and the inspector: preferences in a
// file of the test's own below the build tree, real shared font and colour dialogs (never
// native) whose visibility a test sets, port lists that a test sets, and no MIDI and no
// synthesizer. Making one makes it AppServices::instance().
class TestAppServices : public AppServices
{
    Q_OBJECT

public:
    explicit TestAppServices(QObject* parent = nullptr);
    ~TestAppServices() override;

    // The test's own settings: set the focus window (emits focusWindowChanged when it
    // changes) and the port names present (emit the port signals when they change).
    void setFocusWindow(DocumentWindow* window);
    void setMidiInputPorts(const QSet<QString>& names);
    void setMidiOutputPorts(const QSet<QString>& names);
    // Shows or hides a shared dialog.
    void setAppFontDialogVisible(bool visible);
    void setAppColorDialogVisible(bool visible);
    SharedDialogs* sharedDialogs() const { return m_dialogs; }
    // Every setSynthDialogOpen call, in order.
    const QList<bool>& synthDialogRequests() const { return m_synthDialogRequests; }

    QSettings* settings() const override { return m_settings; }
    DocumentWindow* focusWindow() const override;
    const QSet<QString>& midiInputPortSet() const override { return m_inputPortSet; }
    const QSet<QString>& midiOutputPortSet() const override { return m_outputPortSet; }
    const QStringList& midiInputPorts() const override { return m_inputPorts; }
    const QStringList& midiOutputPorts() const override { return m_outputPorts; }
    void connectAppFontDialog(QObject* receiver, const char* member) override;
    void connectAppColorDialog(QObject* receiver, const char* member) override;
    bool isAppFontDialogVisible() const override;
    bool isAppColorDialogVisible() const override;
    QObject* appFontDialogReceiver() const override;
    QObject* appColorDialogReceiver() const override;

public slots:
    void showAppFontDialog() override;
    void disconnectAppFontDialog() override;
    void updateAppFontDialog(const QFont& font) override;
    void showAppColorDialog() override;
    void disconnectAppColorDialog() override;
    void updateAppColorDialog(const QColor& color) override;
    void setSynthDialogOpen(bool open) override;

private:
    QSettings* m_settings;
    SharedDialogs* m_dialogs;
    QPointer<DocumentWindow> m_focusWindow;
    QSet<QString> m_inputPortSet;
    QSet<QString> m_outputPortSet;
    QStringList m_inputPorts;
    QStringList m_outputPorts;
    QList<bool> m_synthDialogRequests;
};

#endif // TESTAPPSERVICES_H
