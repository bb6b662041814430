#ifndef PREFERENCESDIALOG_H
#define PREFERENCESDIALOG_H

#include "AbstractSettingsView.h"
#include "ui_PreferencesDialogForm.h"

#include <QDialog>
#include <QPointer>

class QwpComboBox;
class SettingsController;

// The window of the application's preferences: the template of new documents, the update
// check, the options of continuous controllers, and the MIDI input and thru with their ports.
// Each control is bound to its preference, so a change is written at once; the dialog itself
// chooses the template file, keeps the port lists in step with the ports present and offers a
// manual update check.
class PreferencesDialog : public QDialog, public AbstractSettingsView
{
    Q_OBJECT

public:
    // The items of the template combo box carry these values (Qt::UserRole).
    enum TemplateItem { NoTemplate = 101, CustomTemplate = 102, ChooseTemplate = 103 };

    explicit PreferencesDialog(SettingsController* controller, QWidget* parent = nullptr);
    ~PreferencesDialog() override;

    // The form's widgets.
    const Ui_PreferencesDialogForm& form() const { return ui; }

    void settingsResetEvent(VEvent* event) override;
    void settingsValueChangedEvent(VSettingsValueChangedEvent* event) override;

public slots:
    void on_templateFileComboBox_activated(int index);
    // Stores `file` as the template of new documents (none when empty).
    void onTemplateFileChosen(const QString& file);
    // Shows the stored template and selects what is in use.
    void refreshTemplateFileComboBox();
    void rescanInputPorts();
    void rescanThruPorts();

protected:
    void customEvent(QEvent* event) override;

private:
    // Fills `combo` with `names`, keeping the port chosen when it is still among them; writes
    // no preference.
    static void refillPortComboBox(QwpComboBox* combo, const QStringList& names);
    QString storedTemplate() const;

    QPointer<SettingsController> m_controller;
    Ui_PreferencesDialogForm ui;
};

#endif // PREFERENCESDIALOG_H
