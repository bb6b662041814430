#include "PreferencesDialog.h"

#include "AppServices.h"
#include "KelvoApplication.h"
#include "KelvoInfo.h"
#include "MidiPortNames.h"
#include "PreferenceKeys.h"
#include "SettingsController.h"
#include "SettingsEvents.h"
#include "SettingsModel.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>

PreferencesDialog::PreferencesDialog(SettingsController* controller, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                  | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint)
    , AbstractSettingsView(this)
    , m_controller(controller)
{
    ui.setupUi(this);
    layout()->setContentsMargins(24, 24, 24, 24);
    // As large as the contents need, and no larger or smaller.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    ui.templateFileComboBox->addItem(tr("None"), NoTemplate);
    ui.templateFileComboBox->insertSeparator(1);
    ui.templateFileComboBox->addItem(tr("Choose..."), ChooseTemplate);
    refreshTemplateFileComboBox();

    using namespace PreferenceKeys;
    const auto bind
        = [this](QObject* widget, const char* property, const char* signal, const QString& key) {
              if (m_controller)
                  m_controller->bind(widget, property, signal, key);
          };
    // Without an update server no check can happen: the automatic one is shown off, and
    // why, while the stored choice is kept for when a server is set.
    const SettingsModel* store = m_controller ? m_controller->settingsModel() : nullptr;
    if (!store || store->value(UpdateCheckUrl).toString().trimmed().isEmpty()) {
        ui.autoCheckForUpdateCheckBox->setChecked(false);
        ui.autoCheckForUpdateCheckBox->setEnabled(false);
        ui.noUpdateServerLabel->setVisible(true);
    } else {
        bind(ui.autoCheckForUpdateCheckBox, "checked", SIGNAL(toggled(bool)), AutoCheckForUpdate);
    }
    ui.versionLabel->setText(
        tr("You are running Kelvo version %1").arg(Kelvo::shortVersionString()));
    connect(ui.checkForUpdateNowPushButton, &QPushButton::clicked, this, [] {
        if (KelvoApplication* app = KelvoApplication::instance())
            app->checkForUpdate(false);
    });
    bind(ui.autoLsbCheckBox, "checked", SIGNAL(toggled(bool)), ControllersAutoLsb);
    bind(ui.smartResetCheckBox, "checked", SIGNAL(toggled(bool)), ControllersSmartReset);

    // The port lists are filled before the port preferences are bound to them.
    if (AppServices* services = AppServices::instance()) {
        connect(services, &AppServices::midiInputPortsChanged, this,
                &PreferencesDialog::rescanInputPorts);
        connect(services, &AppServices::midiOutputPortsChanged, this,
                &PreferencesDialog::rescanThruPorts);
    }
    rescanInputPorts();
    rescanThruPorts();
    bind(ui.midiInputCheckBox, "checked", SIGNAL(toggled(bool)), MidiInputEnabled);
    bind(ui.inputPortsComboBox, "currentKey", SIGNAL(activated(int)), MidiEntryPort);
    bind(ui.toggleTimeoutSpinBox, "value", SIGNAL(valueChanged(int)),
         MidiTriggeringMsecToggleTimeout);
    bind(ui.midiThruCheckBox, "checked", SIGNAL(toggled(bool)), MidiThruEnabled);
    bind(ui.thruPortsComboBox, "currentKey", SIGNAL(activated(int)), MidiThruPort);

    // The small print: smaller than the rest, greyed but still easy to read.
    QFont small = font();
    small.setPointSizeF(qMax(7.0, QApplication::font().pointSizeF() - 2));
    for (QWidget* label : {ui.versionLabel, ui.noteLabel1, ui.noteLabel2}) {
        label->setFont(small);
        QPalette palette = label->palette();
        QColor grey = palette.color(QPalette::Active, QPalette::WindowText);
        grey.setAlphaF(0.6);
        palette.setColor(QPalette::Disabled, QPalette::WindowText, grey);
        label->setPalette(palette);
    }

    // Told of the template when it is stored.
    if (m_controller)
        m_controller->attachView(this);
}

PreferencesDialog::~PreferencesDialog() = default;

void PreferencesDialog::customEvent(QEvent* event)
{
    if (auto* viewEvent = dynamic_cast<VEvent*>(event))
        mvcEvent(viewEvent);
}

void PreferencesDialog::settingsResetEvent(VEvent*)
{
    refreshTemplateFileComboBox();
}

void PreferencesDialog::settingsValueChangedEvent(VSettingsValueChangedEvent* event)
{
    if (event->key() == PreferenceKeys::TemplateFile)
        refreshTemplateFileComboBox();
}

QString PreferencesDialog::storedTemplate() const
{
    SettingsModel* model = m_controller ? m_controller->settingsModel() : nullptr;
    return model ? model->value(PreferenceKeys::TemplateFile).toString() : QString();
}

void PreferencesDialog::refreshTemplateFileComboBox()
{
    QComboBox* combo = ui.templateFileComboBox;
    const QString path = storedTemplate();
    const int custom = combo->findData(CustomTemplate);
    if (path.isEmpty()) {
        if (custom >= 0)
            combo->removeItem(custom);
    } else {
        const QFileInfo info(path);
        const QString text = info.fileName() + tr(" \u2014 ") + QDir(info.path()).dirName();
        if (custom >= 0)
            combo->setItemText(custom, text);
        else
            combo->insertItem(1, QIcon(), text, CustomTemplate);
    }
    combo->setCurrentIndex(qMax(0, combo->findData(CustomTemplate)));
}

void PreferencesDialog::on_templateFileComboBox_activated(int index)
{
    switch (ui.templateFileComboBox->itemData(index).toInt()) {
    case ChooseTemplate: {
        auto* dialog = new QFileDialog(this, tr("Open"), storedTemplate(), QStringLiteral("*.kvd"));
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
        // A cancel shows the template in use again instead of "Choose...".
        connect(dialog, &QDialog::rejected, this, &PreferencesDialog::refreshTemplateFileComboBox);
        connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
        dialog->open(this, SLOT(onTemplateFileChosen(QString)));
        break;
    }
    case NoTemplate:
        onTemplateFileChosen(QString());
        break;
    default:
        break;
    }
}

void PreferencesDialog::onTemplateFileChosen(const QString& file)
{
    if (!m_controller)
        return;
    // An empty name is stored as such: it means no template.
    CSettingsChangeValueEvent change(PreferenceKeys::TemplateFile, QVariant(file));
    QCoreApplication::sendEvent(m_controller, &change);
}

void PreferencesDialog::rescanInputPorts()
{
    AppServices* services = AppServices::instance();
    QStringList names = services ? services->midiInputPorts() : QStringList();
    // The synthesizer's port receives for the synthesizer alone.
    names.removeAll(MidiPortNames::synthesizerPortName());
    refillPortComboBox(ui.inputPortsComboBox, names);
}

void PreferencesDialog::rescanThruPorts()
{
    AppServices* services = AppServices::instance();
    refillPortComboBox(ui.thruPortsComboBox,
                       services ? services->midiOutputPorts() : QStringList());
}

void PreferencesDialog::refillPortComboBox(QwpComboBox* combo, const QStringList& names)
{
    const QString current = combo->currentText();
    combo->clear();
    combo->addItems(names);
    combo->setCurrentKey(current);
}
