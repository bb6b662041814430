#include "AppTestFiles.h"
#include "AppTestMain.h"
#include "DialogAnswerer.h"
#include "KelvoInfo.h"
#include "PreferenceKeys.h"
#include "PreferencesDialog.h"
#include "QwpComboBox.h"
#include "SettingsController.h"
#include "SettingsEvents.h"
#include "SettingsModel.h"
#include "TestAppServices.h"

#include <QDir>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>

#include <memory>

namespace {

QStringList itemTexts(const QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    return texts;
}

// Chooses an item as the user does.
void activate(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

} // namespace

// The preferences dialog over a preferences store of the test's own, with port lists that the
// test sets.
class TestPreferences : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    TestAppServices* m_services = nullptr;
    std::unique_ptr<SettingsModel> m_model;
    std::unique_ptr<SettingsController> m_controller;
    std::unique_ptr<PreferencesDialog> m_dialog;

    QVariant stored(const QString& key) const { return m_model->value(key); }

    // The dialog over the store as it is now.
    PreferencesDialog* dialog()
    {
        m_dialog = std::make_unique<PreferencesDialog>(m_controller.get());
        m_dialog->show();
        settle();
        return m_dialog.get();
    }

private slots:
    void initTestCase() { m_services = new TestAppServices(this); }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
        QFile::remove(m_dir.filePath(QStringLiteral("preferences.ini")));
        m_model = std::make_unique<SettingsModel>(m_dir.filePath(QStringLiteral("preferences.ini")),
                                                  QSettings::IniFormat);
        m_controller = std::make_unique<SettingsController>(m_model.get());
        m_services->setMidiInputPorts({QStringLiteral("Kelvo Input"),
                                       QStringLiteral("Kelvo Synthesizer"),
                                       QStringLiteral("Keys 10"), QStringLiteral("Keys 2")});
        m_services->setMidiOutputPorts(
            {QStringLiteral("Kelvo Synthesizer"), QStringLiteral("Synth 1")});
        settle();
    }

    void cleanup()
    {
        m_dialog.reset();
        m_controller.reset();
        m_model.reset();
        settle();
    }

    void theTemplateChooser()
    {
        const QComboBox* combo = dialog()->form().templateFileComboBox;
        QCOMPARE(itemTexts(combo), QStringList({"None", QString(), "Choose..."}));
        QCOMPARE(combo->itemData(0).toInt(), int(PreferencesDialog::NoTemplate));
        QCOMPARE(combo->itemData(2).toInt(), int(PreferencesDialog::ChooseTemplate));
        QCOMPARE(combo->currentIndex(), 0);

        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("a/b")));
        const QString file = writeNetwork(m_dir.filePath(QStringLiteral("a/b/t.kvd")));
        DialogAnswerer answerer;
        answerer.chooseFile(file);
        activate(m_dialog->form().templateFileComboBox, 2);
        QTRY_COMPARE(stored(PreferenceKeys::TemplateFile).toString(), file);
        QTRY_COMPARE(combo->count(), 4);
        QCOMPARE(combo->itemText(1), QStringLiteral("t.kvd \u2014 b"));
        QCOMPARE(combo->itemData(1).toInt(), int(PreferencesDialog::CustomTemplate));
        QCOMPARE(combo->currentIndex(), 1);

        // A cancelled choice keeps the template and shows it again.
        answerer.chooseFile(QString());
        activate(m_dialog->form().templateFileComboBox, 3);
        QTRY_COMPARE(answerer.answered(), 2);
        QTRY_COMPARE(combo->currentIndex(), 1);
        QCOMPARE(stored(PreferenceKeys::TemplateFile).toString(), file);

        // "None" stores an empty name and takes the template's item away.
        activate(m_dialog->form().templateFileComboBox, 0);
        QTRY_COMPARE(combo->count(), 3);
        QCOMPARE(combo->currentIndex(), 0);
        QVERIFY(m_model->settings()->contains(PreferenceKeys::TemplateFile));
        QCOMPARE(stored(PreferenceKeys::TemplateFile).toString(), QString());
    }

    void aStoredTemplateIsShown()
    {
        m_model->settings()->setValue(PreferenceKeys::TemplateFile,
                                      QStringLiteral("/x/songs/start.kvd"));
        const QComboBox* combo = dialog()->form().templateFileComboBox;
        QCOMPARE(combo->currentText(), QStringLiteral("start.kvd \u2014 songs"));
    }

    void disabledInputDisablesItsControls()
    {
        m_model->settings()->setValue(PreferenceKeys::MidiInputEnabled, false);
        const Ui_PreferencesDialogForm& form = dialog()->form();
        QVERIFY(!form.midiInputCheckBox->isChecked());
        QVERIFY(!form.inputPortsComboBox->isEnabled());
        QVERIFY(!form.toggleTimeoutSpinBox->isEnabled());
        QVERIFY(form.thruPortsComboBox->isEnabled());

        form.midiInputCheckBox->click();
        QVERIFY(form.inputPortsComboBox->isEnabled());
        QVERIFY(form.toggleTimeoutSpinBox->isEnabled());
        QTRY_COMPARE(stored(PreferenceKeys::MidiInputEnabled).toBool(), true);

        // A change from elsewhere reaches the dialog.
        QCoreApplication::postEvent(
            m_controller.get(),
            new CSettingsChangeValueEvent(PreferenceKeys::MidiThruEnabled, false));
        QTRY_VERIFY(!form.midiThruCheckBox->isChecked());
        QVERIFY(!form.thruPortsComboBox->isEnabled());
    }

    void theToggleTimeout()
    {
        m_model->settings()->setValue(PreferenceKeys::MidiTriggeringMsecToggleTimeout, 200);
        QSpinBox* spin = dialog()->form().toggleTimeoutSpinBox;
        QCOMPARE(spin->value(), 200);
        spin->setValue(0);
        QCOMPARE(spin->value(), 0);
        QTRY_COMPARE(stored(PreferenceKeys::MidiTriggeringMsecToggleTimeout).toInt(), 0);
        spin->stepUp();
        QCOMPARE(spin->value(), 10);
        spin->setValue(9990);
        spin->stepUp();
        QCOMPARE(spin->value(), 10000);
        spin->stepUp();
        QCOMPARE(spin->value(), 10000);
        QTRY_COMPARE(stored(PreferenceKeys::MidiTriggeringMsecToggleTimeout).toInt(), 10000);
    }

    void thePortLists()
    {
        m_model->settings()->setValue(PreferenceKeys::MidiEntryPort, QStringLiteral("Keys 2"));
        const Ui_PreferencesDialogForm& form = dialog()->form();
        QwpComboBox* inputs = form.inputPortsComboBox;
        // The synthesizer's own port is no input to choose.
        QCOMPARE(itemTexts(inputs), QStringList({"Kelvo Input", "Keys 2", "Keys 10"}));
        QCOMPARE(inputs->currentText(), QStringLiteral("Keys 2"));
        QCOMPARE(itemTexts(form.thruPortsComboBox), QStringList({"Kelvo Synthesizer", "Synth 1"}));
        // A stored port that is not present shows as no choice.
        QCOMPARE(form.thruPortsComboBox->currentIndex(), -1);

        activate(inputs, 2);
        QTRY_COMPARE(stored(PreferenceKeys::MidiEntryPort).toString(), QStringLiteral("Keys 10"));

        // Ports come and go: the choice stays while its port does, and nothing is written.
        m_model->settings()->setValue(PreferenceKeys::MidiEntryPort, QStringLiteral("untouched"));
        m_services->setMidiInputPorts(
            {QStringLiteral("Kelvo Input"), QStringLiteral("Keys 10"), QStringLiteral("Drums")});
        QCOMPARE(itemTexts(inputs), QStringList({"Drums", "Kelvo Input", "Keys 10"}));
        QCOMPARE(inputs->currentText(), QStringLiteral("Keys 10"));
        m_services->setMidiInputPorts({QStringLiteral("Kelvo Input"), QStringLiteral("Drums")});
        QCOMPARE(inputs->currentIndex(), -1);
        m_services->setMidiOutputPorts({QStringLiteral("Synth 2"), QStringLiteral("Synth 1")});
        QCOMPARE(itemTexts(form.thruPortsComboBox), QStringList({"Synth 1", "Synth 2"}));
        settle();
        QCOMPARE(stored(PreferenceKeys::MidiEntryPort).toString(), QStringLiteral("untouched"));
        QVERIFY(!m_model->settings()->contains(PreferenceKeys::MidiThruPort));
    }

    void theVersionLine()
    {
        QCOMPARE(
            dialog()->form().versionLabel->text(),
            QStringLiteral("You are running Kelvo version %1").arg(Kelvo::shortVersionString()));
    }

    // Without an update server the automatic check is shown off, and why, and the stored
    // choice is left as it is.
    void noAutomaticCheckWithoutAServer()
    {
        QSettings* store = m_model->settings();
        store->remove(PreferenceKeys::UpdateCheckUrl);
        store->setValue(PreferenceKeys::AutoCheckForUpdate, true);
        const Ui_PreferencesDialogForm& off = dialog()->form();
        QVERIFY(!off.autoCheckForUpdateCheckBox->isChecked());
        QVERIFY(!off.autoCheckForUpdateCheckBox->isEnabled());
        QVERIFY(off.noUpdateServerLabel->isVisible());
        QVERIFY(off.noUpdateServerLabel->text().contains(PreferenceKeys::UpdateCheckUrl));
        settle();
        QCOMPARE(stored(PreferenceKeys::AutoCheckForUpdate).toBool(), true);

        store->setValue(PreferenceKeys::UpdateCheckUrl, QStringLiteral("http://kelvo.invalid/"));
        const Ui_PreferencesDialogForm& on = dialog()->form();
        QTRY_VERIFY(on.autoCheckForUpdateCheckBox->isChecked());
        QVERIFY(on.autoCheckForUpdateCheckBox->isEnabled());
        QVERIFY(!on.noUpdateServerLabel->isVisible());
        store->remove(PreferenceKeys::UpdateCheckUrl);
    }

    void oneDialogAtATime()
    {
        KelvoApplication* app = KelvoApplication::instance();
        app->showAppPrefs();
        QPointer<PreferencesDialog> first = app->preferencesDialog();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        app->showAppPrefs();
        QCOMPARE(app->preferencesDialog(), first.data());
        int dialogs = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            dialogs += qobject_cast<PreferencesDialog*>(widget) ? 1 : 0;
        QCOMPARE(dialogs, 1);

        // Centred across the available area, above its middle.
        const QRect available = app->primaryScreen()->availableGeometry();
        QCOMPARE(first->x(), available.x() + available.width() / 2 - first->width() / 2);
        QVERIFY(first->y() < available.y() + (available.height() - first->height()) / 2);

        first->close();
        settle();
        QVERIFY(!first);
        app->showAppPrefs();
        QVERIFY(app->preferencesDialog());
        app->preferencesDialog()->close();
        settle();
    }
};

KELVO_APP_TEST_MAIN(TestPreferences)

#include "tst_preferences.moc"
