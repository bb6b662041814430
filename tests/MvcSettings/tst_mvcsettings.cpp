#include "AbstractSettingsView.h"
#include "SettingsController.h"
#include "SettingsEvents.h"
#include "SettingsModel.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QtTest>

static void deliver()
{
    for (int i = 0; i < 8; ++i)
        QCoreApplication::sendPostedEvents();
}

// A settings view that records the changes it hears, as "key=value".
class Recorder : public QObject, public AbstractSettingsView
{
public:
    Recorder()
        : AbstractSettingsView(this)
    { }
    void settingsValueChangedEvent(VSettingsValueChangedEvent* e) override
    {
        heard << e->key() + "=" + e->value().toString();
    }
    void settingsResetEvent(VEvent*) override { ++resets; }

    QStringList heard;
    int resets = 0;

protected:
    void customEvent(QEvent* e) override
    {
        if (auto* v = dynamic_cast<VEvent*>(e))
            mvcEvent(v);
    }
};

// The program's start-up: the model over the default store, its controller and one view.
struct Settings
{
    Settings()
        : model(new SettingsModel)
        , controller(new SettingsController(model))
    {
        controller->attachView(&view);
        deliver();
    }
    ~Settings()
    {
        delete controller;
        delete model;
    }
    SettingsModel* model;
    SettingsController* controller;
    Recorder view;
};

class TestMvcSettings : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_store;

    QString storeFile() const
    {
        return m_store->path() + "/" + QCoreApplication::organizationName() + "/"
            + QCoreApplication::applicationName() + ".conf";
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName("KelvoTests");
        QCoreApplication::setApplicationName("tst_mvcsettings");
    }

    // Every test starts from an empty store of its own.
    void init()
    {
        m_store = std::make_unique<QTemporaryDir>();
        QVERIFY(m_store->isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_store->path());
    }

    void boundWidgetsFollowAndPersist()
    {
        auto s = std::make_unique<Settings>();
        QCOMPARE(s->view.settingsController(), s->controller);
        QCOMPARE(s->view.settingsModel(), s->model);
        QCOMPARE(s->view.resets, 1);

        QSpinBox a, b;
        auto* c = new QSpinBox;
        for (QSpinBox* box : {&a, &b, c})
            s->controller->bind(box, "value", SIGNAL(valueChanged(int)), "Count");
        a.setValue(7);
        deliver();
        QCOMPARE(b.value(), 7);
        QCOMPARE(c->value(), 7);
        QCOMPARE(s->model->value("Count"), QVariant(7));
        // The widgets that followed posted no change of their own.
        QCOMPARE(s->view.heard, QStringList({"Count=7"}));

        delete c;
        b.setValue(8);
        deliver();
        QCOMPARE(a.value(), 8);

        // A new store over the same file, and a widget bound there.
        s.reset();
        QFile file(storeFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("Count=8"));
        Settings again;
        QSpinBox d;
        again.controller->bind(&d, "value", SIGNAL(valueChanged(int)), "Count");
        QCOMPARE(d.value(), 8);
    }

    void storedTextTakesTheBoundType()
    {
        QVERIFY(QDir().mkpath(QFileInfo(storeFile()).path()));
        QFile file(storeFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nFlag=true\nCount=12\nBad=abc\n");
        file.close();

        Settings s;
        QCheckBox flag;
        QSpinBox count, bad, unset;
        bad.setValue(5);
        unset.setValue(6);
        s.controller->bind(&flag, "checked", SIGNAL(toggled(bool)), "Flag");
        s.controller->bind(&count, "value", SIGNAL(valueChanged(int)), "Count");
        s.controller->bind(&bad, "value", SIGNAL(valueChanged(int)), "Bad");
        s.controller->bind(&unset, "value", SIGNAL(valueChanged(int)), "Unset");
        QVERIFY(flag.isChecked());
        QCOMPARE(count.value(), 12);
        QCOMPARE(bad.value(), 5);
        QCOMPARE(unset.value(), 6);
        QCOMPARE(s.model->value("Flag", false), QVariant(true));
        QCOMPARE(s.model->value("Count", 0), QVariant(12));
        QCOMPARE(s.model->value("Bad", 3), QVariant(3));
    }

    void dontUpdateSenderSkipsOnlyTheSender()
    {
        Settings s;
        Recorder other;
        s.controller->attachView(&other);
        QLineEdit edit;
        s.controller->bind(&edit, "text", SIGNAL(textChanged(QString)), "Port");
        deliver();

        s.view.postToSettingsController(
            new CSettingsChangeValueEvent("Port", "A", &s.view, CEvent::DontUpdateSender));
        deliver();
        QCOMPARE(s.view.heard, QStringList());
        QCOMPARE(other.heard, QStringList({"Port=A"}));
        QCOMPARE(edit.text(), "A");

        s.view.postToSettingsController(new CSettingsChangeValueEvent("Port", "B", &s.view));
        deliver();
        QCOMPARE(s.view.heard, QStringList({"Port=B"}));
        QCOMPARE(s.model->value("Port"), QVariant("B"));
    }

    void unbindingOneBindingKeepsTheOthers()
    {
        Settings s;
        QSpinBox shared, other;
        s.controller->bind(&shared, "value", SIGNAL(valueChanged(int)), "A");
        s.controller->bind(&shared, "maximum", SIGNAL(valueChanged(int)), "Max");
        s.controller->bind(&other, "value", SIGNAL(valueChanged(int)), "A");

        // One signal, two keys: one change per key, each with its own property.
        shared.setValue(5);
        deliver();
        s.view.heard.sort();
        QCOMPARE(s.view.heard, QStringList({"A=5", "Max=99"}));
        QCOMPARE(other.value(), 5);

        s.view.heard.clear();
        s.controller->unbind(&shared, "A");
        shared.setValue(6);
        deliver();
        QCOMPARE(s.view.heard, QStringList({"Max=99"}));
        QCOMPARE(other.value(), 5);

        s.view.heard.clear();
        other.setValue(9);
        deliver();
        QCOMPARE(s.view.heard, QStringList({"A=9"}));
        QCOMPARE(shared.value(), 6);
    }
};

QTEST_MAIN(TestMvcSettings)
#include "tst_mvcsettings.moc"
