#include "AppTestFiles.h"
#include "AppTestMain.h"
#include "QmdKelvoKeys.h"
#include "TestSync.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>

#include <thread>

namespace K = QmdKelvoKeys;

namespace {

const QStringList TimePage {"hr10s",  "hr1s",  "hrColon", "min10s", "min1s", "minColon",
                            "sec10s", "sec1s", "secDot",  "ms100s", "ms10s", "ms1s"};
const QStringList PrincipalsPage {"pal100000s", "pal10000s", "pal1000s", "pal1000sComma", "pal100s",
                                  "pal10s",     "pal1s",     "pal1sDot", "div10s",        "div1s"};
const QStringList BeatsPage {"beat100000s", "beat10000s", "beat1000s", "beat1000sComma",
                             "beat100s",    "beat10s",    "beat1s",    "beat1sDot",
                             "pulse100s",   "pulse10s",   "pulse1s"};

constexpr quint64 P = 665280;

} // namespace

// The transport bar: the position display in its three modes, the mode menu, the play,
// go-to-start and triggering buttons and the tempo field.
class TestTransportBar : public QObject
{
    Q_OBJECT

private:
    KelvoApplication* app() { return KelvoApplication::instance(); }
    KelvoWindow* window = nullptr;
    TestSync* clock = nullptr;

    QmdKelvoController* controller() { return window->controller(); }

    template<typename T>
    T* child(const QString& name)
    {
        T* widget = window->findChild<T*>(name);
        if (!widget)
            qFatal("no %s", qPrintable(name));
        return widget;
    }

    // What a page shows: each label's character, found by its pixmap among the glyphs, in
    // capitals where it is dim ('D' for a dim digit, ';' for a dim colon and so on), and '?'
    // where the label holds no glyph.
    QString reading(const QStringList& page)
    {
        QString text;
        for (const QString& name : page) {
            const qint64 key = child<QLabel>(name)->pixmap().cacheKey();
            QChar shown('?');
            for (auto it = window->solidGlyphs().cbegin(); it != window->solidGlyphs().cend();
                 ++it) {
                if (it.value().cacheKey() == key)
                    shown = it.key();
            }
            for (auto it = window->dimGlyphs().cbegin(); it != window->dimGlyphs().cend(); ++it) {
                if (it.value().cacheKey() == key)
                    shown = dimmed(it.key());
            }
            text += shown;
        }
        return text;
    }

    static QChar dimmed(QChar c)
    {
        if (c.isDigit())
            return QChar('D');
        return QChar(c == QLatin1Char(':') ? ';' : c == QLatin1Char('.') ? '_' : '~');
    }

    QString show(quint64 ticks)
    {
        clock->setTicksElapsed(ticks);
        window->updatePlaybackPosDisplayForCurrentMode();
        switch (window->playbackPosDisplayMode()) {
        case 1:
            return reading(TimePage);
        case 2:
            return reading(PrincipalsPage);
        default:
            return reading(BeatsPage);
        }
    }

    void setRootValue(const QString& key, const QVariant& value)
    {
        controller()->requestSetData(key, value, QmdIndex(),
                                     QmdRequestOptions(Qmd::NotUndoable, QString()));
        settle();
    }

    QAction* modeAction(const QString& text)
    {
        for (QAction* action : child<QToolButton>("displayModeButton")->menu()->actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }

private slots:
    void initTestCase() { TestSync::registerType(); }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
        window = app()->newDocument();
        setRootValue(K::SyncType, TestSync::staticTypeId());
        clock = qobject_cast<TestSync*>(controller()->sync());
        QVERIFY(clock);
    }

    void cleanup()
    {
        controller()->requestSetPlayback(false);
        deleteAllWindows();
    }

    void aDocumentWithoutAModeShowsPrincipals()
    {
        QVERIFY(!controller()->data(K::PlaybackPosDisplayMode, QmdIndex()).isValid());
        QCOMPARE(window->playbackPosDisplayMode(), 2);
        QCOMPARE(child<QStackedWidget>("displayStackedWidget")->currentIndex(), 1);
        QCOMPARE(child<QToolButton>("displayModeButton")->toolTip(), QStringLiteral("Principals"));
        QCOMPARE(reading(PrincipalsPage), QStringLiteral("DDD~001.01"));
        // Nothing is written for it.
        QVERIFY(!controller()->data(K::PlaybackPosDisplayMode, QmdIndex()).isValid());
        QVERIFY(!window->isWindowModified());
    }

    void timeDisplay()
    {
        window->setPlaybackPosDisplayMode(1);
        QCOMPARE(child<QStackedWidget>("displayStackedWidget")->currentIndex(), 0);
        // One second is 1,330,560 ticks at 120 beats a minute, an eighth of one 166,320.
        const quint64 second = clock->nanosToTicks(1000000000ULL);
        const quint64 eighth = second / 8;
        QCOMPARE(clock->ticksToNanos(61 * second + eighth), 61125000000ULL);
        QCOMPARE(show(0), QStringLiteral("DD;DD;00.000"));
        QCOMPARE(show(second * 61), QStringLiteral("DD;01:01.000"));
        QCOMPARE(show(second * 3600 + eighth), QStringLiteral("01:00:00.125"));
        QCOMPARE(show(second * 59 * 3600 + second * 3599 + eighth * 7),
                 QStringLiteral("59:59:59.875"));
        // After 60 hours the hours start again, solid.
        QCOMPARE(show(second * 60 * 3600), QStringLiteral("00:00:00.000"));
    }

    void principalsDisplay()
    {
        setRootValue(K::DivsPerPrincipal, 4);
        window->setPlaybackPosDisplayMode(2);
        QCOMPARE(child<QStackedWidget>("displayStackedWidget")->currentIndex(), 1);
        QCOMPARE(show(0), QStringLiteral("DDD~001.01"));
        QCOMPARE(show(P + P / 4), QStringLiteral("DDD~002.02"));
        QCOMPARE(show(P - 1), QStringLiteral("DDD~001.04"));
        QCOMPARE(show(998 * P), QStringLiteral("DDD~999.01"));
        QCOMPARE(show(999 * P), QStringLiteral("001,000.01"));
        QCOMPARE(show(123456 * P + P / 2), QStringLiteral("123,457.03"));
        // The places of the millions stay hidden.
        QVERIFY(child<QLabel>("pal1000000s")->isHidden());
        QVERIFY(child<QLabel>("pal1000000sComma")->isHidden());
    }

    void principalsWithDivisionsOutOfRange()
    {
        window->setPlaybackPosDisplayMode(2);
        // Counted as one division a principal.
        for (int divisions : {0, -1}) {
            setRootValue(K::DivsPerPrincipal, divisions);
            QCOMPARE(show(P + P / 2), QStringLiteral("DDD~002.01"));
        }
        // Counted as a division a tick.
        setRootValue(K::DivsPerPrincipal, 1000000);
        QCOMPARE(show(P + 1234), QStringLiteral("DDD~002.35"));
        // A count that does not divide a principal keeps its places from one to the next.
        setRootValue(K::DivsPerPrincipal, 13);
        QCOMPARE(show(20000 * P), QStringLiteral("020,001.01"));
        QCOMPARE(show(20001 * P - 1), QStringLiteral("020,001.13"));
    }

    void beatsDisplay()
    {
        window->setPlaybackPosDisplayMode(3);
        QCOMPARE(child<QStackedWidget>("displayStackedWidget")->currentIndex(), 2);
        // A pulse is a tick while a beat is one principal.
        QCOMPARE(show(0), QStringLiteral("DDD~001.001"));
        QCOMPARE(show(2772 * 239), QStringLiteral("DDD~001.240"));
        QCOMPARE(show(P), QStringLiteral("DDD~002.001"));
        QCOMPARE(show(999 * P + 2772), QStringLiteral("001,000.002"));
        QVERIFY(child<QLabel>("beat1000000s")->isHidden());
    }

    void glyphsShowAtHalfTheirSize()
    {
        const QPixmap glyph = window->solidGlyphs().value(QLatin1Char('7'));
        QCOMPARE(glyph.deviceIndependentSize(), QSizeF(10, 18));
        QCOMPARE(window->solidGlyphs().size(), 13);
        QCOMPARE(window->dimGlyphs().size(), 13);
        QVERIFY(glyph.cacheKey() != window->dimGlyphs().value(QLatin1Char('7')).cacheKey());
        QCOMPARE(child<QLabel>("ms1s")->size(), QSize(10, 24));
    }

    void modeMenu()
    {
        window->setPlaybackPosDisplayMode(1);
        settle();
        QCOMPARE(controller()->data(K::PlaybackPosDisplayMode, QmdIndex()).toInt(), 1);
        const bool couldUndo = controller()->canUndo();
        const QString undoText = controller()->undoText();
        QSignalSpy changes(window, &KelvoWindow::playbackPosDisplayModeChanged);

        QAction* beats = modeAction(QStringLiteral("Beats"));
        QVERIFY(beats);
        beats->trigger();
        settle();
        QCOMPARE(changes.count(), 1);
        QCOMPARE(window->playbackPosDisplayMode(), 3);
        QVERIFY(beats->isChecked());
        QCOMPARE(child<QStackedWidget>("displayStackedWidget")->currentIndex(), 2);
        auto* button = child<QToolButton>("displayModeButton");
        QCOMPARE(button->toolTip(), QStringLiteral("Beats"));
        QCOMPARE(button->icon().cacheKey(), beats->icon().cacheKey());
        QCOMPARE(controller()->data(K::PlaybackPosDisplayMode, QmdIndex()).toInt(), 3);
        QCOMPARE(controller()->canUndo(), couldUndo);
        QCOMPARE(controller()->undoText(), undoText);

        // The same mode again changes nothing.
        beats->trigger();
        settle();
        QCOMPARE(changes.count(), 1);

        // The document's value sets the mode.
        setRootValue(K::PlaybackPosDisplayMode, 2);
        QCOMPARE(window->playbackPosDisplayMode(), 2);
        QVERIFY(modeAction(QStringLiteral("Principals"))->isChecked());
        QCOMPARE(button->toolTip(), QStringLiteral("Principals"));

        // A mode that does not exist selects no action and shows no icon.
        window->setPlaybackPosDisplayMode(7);
        QVERIFY(button->icon().isNull());
        QCOMPARE(button->toolTip(), QString());
    }

    void playButtonFollowsTheTransport()
    {
        auto* play = child<QPushButton>("playPauseButton");
        QSignalSpy states(controller(), &QmdKelvoController::playbackStateChanged);
        QTest::mouseClick(play, Qt::LeftButton);
        QVERIFY(clock->isPlaying());
        QVERIFY(play->isChecked());
        QTest::mouseClick(play, Qt::LeftButton);
        QVERIFY(!clock->isPlaying());
        QVERIFY(!play->isChecked());
        QCOMPARE(states.count(), 2);

        // A start made elsewhere checks the button and is not asked for a second time.
        controller()->requestSetPlayback(true);
        settle();
        QVERIFY(play->isChecked());
        QCOMPARE(states.count(), 3);
        controller()->requestSetPlayback(false);
        settle();
        QVERIFY(!play->isChecked());
        QCOMPARE(states.count(), 4);

        // The transport's signal from another thread (MIDI clock) reaches the button on this
        // one.
        std::thread midi([this] { emit controller()->playbackStateChanged(true); });
        midi.join();
        QTRY_VERIFY(play->isChecked());
        QCOMPARE(states.count(), 5);
    }

    void playingRefreshesTheDisplay()
    {
        window->setPlaybackPosDisplayMode(2);
        QCOMPARE(show(0), QStringLiteral("DDD~001.01"));
        controller()->requestSetPlayback(true);
        clock->setTicksElapsed(3 * P);
        // The display's timer redraws while the transport plays.
        QTRY_COMPARE(reading(PrincipalsPage).left(7), QStringLiteral("DDD~004"));
        controller()->requestSetPlayback(false);
        settle();
        clock->setTicksElapsed(5 * P);
        QTest::qWait(100);
        QCOMPARE(reading(PrincipalsPage).left(7), QStringLiteral("DDD~004"));

        // Going to the start redraws at once.
        QTest::mouseClick(child<QPushButton>("gotoStartButton"), Qt::LeftButton);
        QCOMPARE(clock->ticksElapsed(), quint64(0));
        QCOMPARE(reading(PrincipalsPage), QStringLiteral("DDD~001.01"));
    }

    void tempoFieldMakesOneStepPerEntry()
    {
        auto* tempo = child<QSpinBox>("tempoSpinBox");
        QCOMPARE(tempo->minimum(), 1);
        QCOMPARE(tempo->maximum(), 999);
        const int before = controller()->data(K::Tempo, QmdIndex()).toInt();
        QCOMPARE(tempo->value(), before);

        tempo->selectAll();
        QTest::keyClicks(tempo, QStringLiteral("90"));
        QCOMPARE(controller()->data(K::Tempo, QmdIndex()).toInt(), before);
        QTest::keyClick(tempo, Qt::Key_Return);
        settle();
        QCOMPARE(controller()->data(K::Tempo, QmdIndex()).toInt(), 90);
        QCOMPARE(controller()->undoText(), QStringLiteral("Tempo"));
        controller()->requestUndo();
        settle();
        QCOMPARE(controller()->data(K::Tempo, QmdIndex()).toInt(), before);
        QCOMPARE(tempo->value(), before);

        // The field follows the document.
        setRootValue(K::Tempo, 999);
        QCOMPARE(tempo->value(), 999);
    }

    void triggeringButtonLeavesNoUndoStep()
    {
        auto* triggering = child<QPushButton>("midiTriggeringButton");
        const bool couldUndo = controller()->canUndo();
        QVERIFY(!triggering->isChecked());
        QTest::mouseClick(triggering, Qt::LeftButton);
        settle();
        QVERIFY(controller()->data(K::MidiTriggeringEnabled, QmdIndex()).toBool());
        QCOMPARE(controller()->canUndo(), couldUndo);
        setRootValue(K::MidiTriggeringEnabled, false);
        QVERIFY(!triggering->isChecked());
    }

    void toolChooserFollowsTheTool()
    {
        auto* zoom = child<QToolButton>("zoomTool");
        QCOMPARE(zoom->defaultAction(), window->findChild<QAction*>("actionZoomTool"));
        QTest::mouseClick(zoom, Qt::LeftButton);
        settle();
        QVERIFY(zoom->isChecked());
        QVERIFY(!child<QToolButton>("selectionTool")->isChecked());
    }
};

KELVO_APP_TEST_MAIN(TestTransportBar)
#include "tst_transportbar.moc"
