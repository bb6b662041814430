#ifndef KELVOAPPSERVICES_H
#define KELVOAPPSERVICES_H

#include "AppServices.h"

class KelvoApplication;

// The application's services for the editor and the inspector: every call goes to the
// application object, and its signals come from the application's.
class KelvoAppServices : public AppServices
{
    Q_OBJECT

public:
    explicit KelvoAppServices(KelvoApplication* app);

    QSettings* settings() const override;
    DocumentWindow* focusWindow() const override;
    const QSet<QString>& midiInputPortSet() const override;
    const QSet<QString>& midiOutputPortSet() const override;
    const QStringList& midiInputPorts() const override;
    const QStringList& midiOutputPorts() const override;
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
    KelvoApplication* app;
};

#endif // KELVOAPPSERVICES_H
