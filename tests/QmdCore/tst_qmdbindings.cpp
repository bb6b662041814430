#include "ModelSignalRecorder.h"
#include "QmdController.h"
#include "QmdMemModel.h"

#include <QtTest>

typedef QHash<QString, QVariant> StrValues;

// An object with typed and untyped properties, each with its own change signal, and a pair of
// properties that share one signal.
class Probe : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int number READ number WRITE setNumber NOTIFY numberChanged)
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(QVariant value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(int left READ left WRITE setLeft NOTIFY pairChanged)
    Q_PROPERTY(int right READ right WRITE setRight NOTIFY pairChanged)

public:
    int number() const { return m_number; }
    void setNumber(int v) { set(m_number, v, &Probe::numberChanged); }
    QString text() const { return m_text; }
    void setText(const QString& v) { set(m_text, v, &Probe::textChanged); }
    QVariant value() const { return m_value; }
    void setValue(const QVariant& v)
    {
        m_value = v;
        ++valueWrites;
        emit valueChanged();
    }
    int left() const { return m_left; }
    void setLeft(int v) { m_left = v; }
    int right() const { return m_right; }
    void setRight(int v) { m_right = v; }
    void changePair(int l, int r)
    {
        m_left = l;
        m_right = r;
        emit pairChanged();
    }

    int signalsEmitted = 0;
    int valueWrites = 0;

signals:
    void numberChanged(int number);
    void textChanged();
    void valueChanged();
    void pairChanged();

private:
    template<class T, class S>
    void set(T& field, const T& v, S signal)
    {
        if (field == v)
            return;
        field = v;
        ++signalsEmitted;
        emit(this->*signal)(v);
    }
    void set(QString& field, const QString& v, void (Probe::*signal)())
    {
        if (field == v)
            return;
        field = v;
        ++signalsEmitted;
        emit(this->*signal)();
    }

    int m_number = 0;
    QString m_text;
    QVariant m_value;
    int m_left = 0;
    int m_right = 0;
};

// A document with two element containers, as the inspector sees them.
struct Document
{
    QmdMemModel model {Qmd::StrDict};
    QmdController controller;
    QmdIndex a;
    QmdIndex b;

    Document()
    {
        controller.setModel(&model);
        QmdRequestOptions setup(Qmd::NotUndoable, QStringLiteral("Setup"));
        controller.requestSetTypes(
            QHash<QString, Qmd::ContainerType> {{"A", Qmd::StrDict}, {"B", Qmd::StrDict}},
            QmdIndex(), setup);
        a = controller.index(QStringLiteral("A"), QmdIndex());
        b = controller.index(QStringLiteral("B"), QmdIndex());
        controller.requestSetData(StrValues {{"Velocity", 64}, {"Name", "one"}}, a, setup);
        controller.requestSetData(StrValues {{"Velocity", 64}, {"Name", "two"}}, b, setup);
        deliverRelays();
    }

    QHash<QmdIndex, QSet<QString>> both(const QString& key) const
    {
        return {{a, {key}}, {b, {key}}};
    }
};

class TestQmdBindings : public QObject
{
    Q_OBJECT

private slots:
    void bindTakesTheModelValue();
    void oneWayBinding();
    void commonAndMixedValues();
    void writeBackIsOneStep();
    void containersAndAbsentKeys();
    void undoneFirstValueShowsTheValueWhenAbsent();
    void unchangedPropertyWritesNothing();
    void undoRefreshesWithoutRequest();
    void sharedSignalSharesOneId();
    void onlyTheFiredSignalWritesBack();
    void refreshOnlyForWatchedKeys();
    void destroyedObjectIsForgotten();
    void unbindRestoresDefaultSilently();
    void removingOneBindingKeepsTheOthers();
    void resetRefreshesEveryBinding();
};

void TestQmdBindings::bindTakesTheModelValue()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "number", SIGNAL(numberChanged(int)), QStringLiteral("Velocity"), d.a,
                      1, -1, QStringLiteral("Velocity"));
    QCOMPARE(probe.number(), 64);
    QCOMPARE(d.controller.bindings(&probe).size(), 1);

    // Binding the property again replaces the first binding, after resetting the property to
    // the old default.
    QList<int> seen;
    connect(&probe, &Probe::numberChanged, this, [&](int v) { seen.append(v); });
    d.controller.bind(&probe, "number", SIGNAL(numberChanged(int)), QStringLiteral("Missing"), d.a,
                      7, -1, QStringLiteral("Velocity"));
    QCOMPARE(d.controller.bindings(&probe).size(), 1);
    QCOMPARE(d.controller.bindings(&probe).first().signal, QByteArray("2numberChanged(int)"));
    // Reset to the old default with the object's signals blocked, then the new binding's
    // value when absent.
    QCOMPARE(probe.number(), 7);
    QCOMPARE(seen, QList<int> {7});
}

void TestQmdBindings::oneWayBinding()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "text", nullptr, QStringLiteral("Name"), d.a, QString(), QString(),
                      QString());
    QCOMPARE(probe.text(), QStringLiteral("one"));
    const int history = d.model.currentHistoryCount();
    probe.setText(QStringLiteral("changed by hand"));
    QCOMPARE(d.model.currentHistoryCount(), history);
    d.controller.requestSetData(QStringLiteral("Name"), QStringLiteral("three"), d.a);
    deliverRelays();
    QCOMPARE(probe.text(), QStringLiteral("three"));
}

void TestQmdBindings::commonAndMixedValues()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "number", SIGNAL(numberChanged(int)), d.both("Velocity"), 0, -1,
                      QStringLiteral("Velocity"));
    QCOMPARE(probe.number(), 64);
    d.controller.requestSetData(QStringLiteral("Velocity"), 90, d.b);
    deliverRelays();
    QCOMPARE(probe.number(), -1);

    // A number and its text are the same value; other text is not.
    d.controller.requestSetData(QStringLiteral("Velocity"), QStringLiteral("64"), d.b);
    deliverRelays();
    QCOMPARE(probe.number(), 64);
    d.controller.requestSetData(QStringLiteral("Velocity"), QStringLiteral("loud"), d.b);
    deliverRelays();
    QCOMPARE(probe.number(), -1);
    QVERIFY(QmdController::sameValue(QVariant(QStringLiteral("1")), QVariant(1)));
    QVERIFY(QmdController::sameValue(QVariant(1.5), QVariant(QStringLiteral("1.5"))));
    QVERIFY(!QmdController::sameValue(QVariant(0), QVariant(QStringLiteral("abc"))));
    QVERIFY(!QmdController::sameValue(QVariant(1), QVariant()));
}

void TestQmdBindings::writeBackIsOneStep()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "number", SIGNAL(numberChanged(int)), d.both("Velocity"), 0, -1,
                      QStringLiteral("Velocity"));
    const int history = d.model.currentHistoryCount();
    probe.setNumber(100);
    QCOMPARE(d.controller.data(QStringLiteral("Velocity"), d.a), QVariant(100));
    QCOMPARE(d.controller.data(QStringLiteral("Velocity"), d.b), QVariant(100));
    QCOMPARE(d.model.currentHistoryCount(), history + 1);
    QCOMPARE(d.controller.undoText(), QStringLiteral("Velocity"));
    const int emitted = probe.signalsEmitted;
    deliverRelays();
    // The refresh finds the property showing the value already: no second write.
    QCOMPARE(probe.signalsEmitted, emitted);
    QCOMPARE(d.model.currentHistoryCount(), history + 1);
}

void TestQmdBindings::containersAndAbsentKeys()
{
    Document d;
    Probe probe;
    probe.setNumber(33);
    d.controller.bind(&probe, "number", SIGNAL(numberChanged(int)), QStringLiteral("B"), QmdIndex(),
                      12, -1, QStringLiteral("Container"));
    QCOMPARE(probe.number(), 12);
    // An absent key shows the value when absent, in typed and variant properties alike.
    probe.setNumber(33);
    d.controller.bind(&probe, "number", SIGNAL(numberChanged(int)), QStringLiteral("Nothing"), d.a,
                      12, -1, QStringLiteral("Absent"));
    QCOMPARE(probe.number(), 12);
    probe.setValue(5);
    d.controller.bind(&probe, "value", SIGNAL(valueChanged()), QStringLiteral("Nothing"), d.a, 12,
                      -1, QStringLiteral("Absent"));
    QCOMPARE(probe.value(), QVariant(12));
    // Writing an invalid value back writes nothing.
    const int history = d.model.currentHistoryCount();
    probe.setValue(QVariant());
    QCOMPARE(d.model.currentHistoryCount(), history);
    // Nor does writing the value when absent: the key stays absent.
    probe.setValue(12);
    QCOMPARE(d.model.currentHistoryCount(), history);
    QVERIFY(!d.controller.index(QStringLiteral("Nothing"), d.a).isValid());
}

// Undoing the first value of a key removes the key; the property goes back to the value when
// absent, not to the undone value. An absent key and one holding that value agree.
void TestQmdBindings::undoneFirstValueShowsTheValueWhenAbsent()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "number", SIGNAL(numberChanged(int)), d.both("Channel"), 3, -1,
                      QStringLiteral("Channel"));
    QCOMPARE(probe.number(), 3);
    probe.setNumber(9);
    deliverRelays();
    QCOMPARE(d.controller.data(QStringLiteral("Channel"), d.b), QVariant(9));
    d.controller.requestUndo();
    deliverRelays();
    QVERIFY(!d.controller.index(QStringLiteral("Channel"), d.a).isValid());
    QCOMPARE(probe.number(), 3);

    d.controller.requestSetData(QStringLiteral("Channel"), 3, d.b);
    deliverRelays();
    QCOMPARE(probe.number(), 3);
    d.controller.requestSetData(QStringLiteral("Channel"), 4, d.b);
    deliverRelays();
    QCOMPARE(probe.number(), -1);
}

// A signal that leaves the property at what the binding shows writes nothing: neither the
// unchanged value nor the value shown for differing items. A changed value is written to the
// items that do not hold it yet, as one step.
void TestQmdBindings::unchangedPropertyWritesNothing()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "left", SIGNAL(pairChanged()), d.both("Velocity"), 0, -1,
                      QStringLiteral("Velocity"));
    QCOMPARE(probe.left(), 64);
    QSignalSpy finished(&d.controller, &QmdController::requestFinished);
    int history = d.model.currentHistoryCount();
    probe.changePair(64, 0);
    deliverRelays();
    QCOMPARE(finished.size(), 0);
    QCOMPARE(d.model.currentHistoryCount(), history);

    d.controller.requestSetData(QStringLiteral("Velocity"), 90, d.b);
    deliverRelays();
    QCOMPARE(probe.left(), -1);
    finished.clear();
    history = d.model.currentHistoryCount();
    probe.changePair(-1, 0);
    deliverRelays();
    QCOMPARE(finished.size(), 0);
    QCOMPARE(d.model.currentHistoryCount(), history);
    QCOMPARE(d.controller.data(QStringLiteral("Velocity"), d.a), QVariant(64));
    QCOMPARE(d.controller.data(QStringLiteral("Velocity"), d.b), QVariant(90));

    QSignalSpy changed(
        &d.controller,
        qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(&QmdController::itemsChanged));
    probe.changePair(90, 0);
    deliverRelays();
    QCOMPARE(d.model.currentHistoryCount(), history + 1);
    QCOMPARE(d.controller.data(QStringLiteral("Velocity"), d.a), QVariant(90));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().at(0).value<QmdIndex>(), d.a);
    QCOMPARE(probe.left(), 90);
    d.controller.requestUndo();
    deliverRelays();
    QCOMPARE(probe.left(), -1);
}

void TestQmdBindings::undoRefreshesWithoutRequest()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "number", SIGNAL(numberChanged(int)), QStringLiteral("Velocity"), d.a,
                      0, -1, QStringLiteral("Velocity"));
    probe.setNumber(80);
    deliverRelays();
    const int history = d.model.currentHistoryCount();
    d.controller.requestUndo();
    QCOMPARE(probe.number(), 80);
    deliverRelays();
    QCOMPARE(probe.number(), 64);
    QCOMPARE(d.model.currentHistoryCount(), history);
    QVERIFY(d.controller.canRedo());
}

void TestQmdBindings::sharedSignalSharesOneId()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "left", SIGNAL(pairChanged()), QStringLiteral("Left"), d.a, 0, -1,
                      QStringLiteral("Pair"));
    d.controller.bind(&probe, "right", SIGNAL(pairChanged()), QStringLiteral("Right"), d.a, 0, -1,
                      QStringLiteral("Pair"));
    deliverRelays();
    QList<QmdRequestId> finished;
    connect(&d.controller, &QmdController::requestFinished, this,
            [&](QmdRequestId rid, int) { finished.append(rid); });
    const int history = d.model.currentHistoryCount();
    probe.changePair(3, 4);
    deliverRelays();
    QCOMPARE(d.controller.data(QStringLiteral("Left"), d.a), QVariant(3));
    QCOMPARE(d.controller.data(QStringLiteral("Right"), d.a), QVariant(4));
    QCOMPARE(finished.size(), 2);
    QCOMPARE(finished.at(0), finished.at(1));
    QCOMPARE(d.model.currentHistoryCount(), history + 1);
}

void TestQmdBindings::onlyTheFiredSignalWritesBack()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "number", SIGNAL(numberChanged(int)), QStringLiteral("Velocity"), d.a,
                      0, -1, QStringLiteral("Velocity"));
    d.controller.bind(&probe, "text", SIGNAL(textChanged()), QStringLiteral("Name"), d.a, QString(),
                      QString(), QStringLiteral("Name"));
    d.controller.bind(&probe, "value", nullptr, QStringLiteral("Other"), d.a, QVariant(),
                      QVariant(), QStringLiteral("Other"));
    probe.setValue(QStringLiteral("never written"));
    // Another change of the object's properties that did not go through the signal.
    probe.blockSignals(true);
    probe.setNumber(1);
    probe.blockSignals(false);
    probe.setText(QStringLiteral("renamed"));
    QCOMPARE(d.controller.data(QStringLiteral("Name"), d.a), QVariant(QStringLiteral("renamed")));
    QCOMPARE(d.controller.data(QStringLiteral("Velocity"), d.a), QVariant(64));
    QVERIFY(!d.controller.data(QStringLiteral("Other"), d.a).isValid());
    QCOMPARE(d.controller.undoText(), QStringLiteral("Name"));
}

void TestQmdBindings::refreshOnlyForWatchedKeys()
{
    // A one-way binding whose property was changed by hand shows every refresh.
    Document d;
    Probe probe;
    d.controller.bind(&probe, "value", nullptr, QStringLiteral("Velocity"), d.a, QVariant(),
                      QVariant(), QStringLiteral("Velocity"));
    probe.setValue(99);
    d.controller.requestSetType(QStringLiteral("Ids"), Qmd::IntDict, d.a);
    deliverRelays();
    const QmdIndex ids = d.controller.index(QStringLiteral("Ids"), d.a);
    d.controller.requestAddData(1, ids);
    d.controller.requestSetData(QStringLiteral("Name"), QStringLiteral("x"), d.a);
    d.controller.requestSetData(QStringLiteral("Velocity"), 1, d.b);
    deliverRelays();
    QCOMPARE(probe.value(), QVariant(99));
    d.controller.requestRemove(QStringLiteral("Velocity"), d.a);
    deliverRelays();
    QVERIFY(!probe.value().isValid());
}

void TestQmdBindings::destroyedObjectIsForgotten()
{
    Document d;
    auto* probe = new Probe;
    d.controller.bind(probe, "number", SIGNAL(numberChanged(int)), QStringLiteral("Velocity"), d.a,
                      0, -1, QStringLiteral("Velocity"));
    d.controller.requestSetData(QStringLiteral("Velocity"), 3, d.a);
    delete probe; // its refresh is still queued
    deliverRelays();
    QVERIFY(d.controller.bindings().isEmpty());
    d.controller.requestSetData(QStringLiteral("Velocity"), 4, d.a);
    deliverRelays();
    QCOMPARE(d.controller.data(QStringLiteral("Velocity"), d.a), QVariant(4));

    // Disconnecting its signals keeps the bindings, and so the hook that forgets them.
    probe = new Probe;
    d.controller.bind(probe, "number", SIGNAL(numberChanged(int)), QStringLiteral("Velocity"), d.a,
                      0, -1, QStringLiteral("Velocity"));
    d.controller.unbind(probe, nullptr, QmdController::DisconnectSignals);
    QCOMPARE(d.controller.bindings(probe).size(), 1);
    delete probe;
    QVERIFY(d.controller.bindings().isEmpty());
    d.controller.reset();
}

void TestQmdBindings::unbindRestoresDefaultSilently()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "number", SIGNAL(numberChanged(int)), QStringLiteral("Velocity"), d.a,
                      5, -1, QStringLiteral("Velocity"));
    QCOMPARE(probe.number(), 64);
    QSignalSpy spy(&probe, &Probe::numberChanged);
    d.controller.unbind(&probe);
    QCOMPARE(probe.number(), 5);
    QCOMPARE(spy.size(), 0);
    QVERIFY(d.controller.bindings(&probe).isEmpty());
    const int history = d.model.currentHistoryCount();
    probe.setNumber(9);
    QCOMPARE(d.model.currentHistoryCount(), history);
}

void TestQmdBindings::removingOneBindingKeepsTheOthers()
{
    Document d;
    Probe probe;
    d.controller.bind(&probe, "left", SIGNAL(pairChanged()), QStringLiteral("Left"), d.a, 0, -1,
                      QStringLiteral("Pair"));
    d.controller.bind(&probe, "right", SIGNAL(pairChanged()), QStringLiteral("Right"), d.a, 0, -1,
                      QStringLiteral("Pair"));
    d.controller.unbind(&probe, "left");
    QCOMPARE(d.controller.bindings(&probe).size(), 1);

    // The remaining binding still writes back on the shared signal...
    probe.changePair(1, 2);
    QCOMPARE(d.controller.data(QStringLiteral("Right"), d.a), QVariant(2));
    QVERIFY(!d.controller.data(QStringLiteral("Left"), d.a).isValid());
    deliverRelays();
    // ...and is still refreshed at request ends for its container.
    d.controller.requestSetData(QStringLiteral("Right"), 8, d.a);
    deliverRelays();
    QCOMPARE(probe.right(), 8);
}

void TestQmdBindings::resetRefreshesEveryBinding()
{
    Document d;
    Probe first;
    Probe second;
    d.controller.bind(&first, "number", SIGNAL(numberChanged(int)), QStringLiteral("Velocity"), d.a,
                      0, -1, QStringLiteral("Velocity"));
    d.controller.bind(&second, "text", SIGNAL(textChanged()), QStringLiteral("Name"), d.b,
                      QString(), QString(), QStringLiteral("Name"));
    // Changes made behind the controller's back show up at the next reset.
    QmdDirectModelInterface direct(&d.model);
    direct.directSetData(QStringLiteral("Velocity"), 11, d.a);
    direct.directSetData(QStringLiteral("Name"), QStringLiteral("quiet"), d.b);
    d.controller.reset();
    QCOMPARE(first.number(), 11);
    QCOMPARE(second.text(), QStringLiteral("quiet"));
}

QTEST_GUILESS_MAIN(TestQmdBindings)
#include "tst_qmdbindings.moc"
