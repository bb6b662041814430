#include "QmdKelvoController.h"
#include "QmdKelvoUnits.h"

#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace QmdKelvo;

class TestKelvoUnits : public QObject
{
    Q_OBJECT

private slots:
    void tickGeometry();
    void ticksPerDivision();
    void palettes();
    void typeAndNoteNames();
    void noteNames_data();
    void noteNames();
};

// An image that reports the given logical resolution.
static QImage imageAtDpi(int dpiX, int dpiY)
{
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setDotsPerMeterX(qRound(dpiX / 0.0254));
    image.setDotsPerMeterY(qRound(dpiY / 0.0254));
    return image;
}

void TestKelvoUnits::tickGeometry()
{
    QImage at72 = imageAtDpi(72, 72);
    initTickGeometry(&at72);
    QCOMPARE(dpiScaleX, 1.0);
    QCOMPARE(ticksPerPixelX, 5544.0);
    QCOMPARE(pixelsPerTickX, 1.0 / 5544);
    QCOMPARE(pixelsPerTickY * TicksPerPrincipal, 120.0);

    // One principal is 160 scene units on a usual 96-dpi screen; x and y follow their own
    // resolutions.
    QImage mixed = imageAtDpi(96, 144);
    initTickGeometry(&mixed);
    QCOMPARE(ticksPerPixelX, 4158.0);
    QCOMPARE(pixelsPerTickX * TicksPerPrincipal, 160.0);
    QCOMPARE(dpiScaleY, 2.0);
    QCOMPARE(ticksPerPixelY, 2772.0);
}

void TestKelvoUnits::ticksPerDivision()
{
    QCOMPARE(QmdKelvo::ticksPerDivision(4), Ticks(166320));
    QCOMPARE(QmdKelvo::ticksPerDivision(0), Ticks(665280));
    QCOMPARE(QmdKelvo::ticksPerDivision(-3), Ticks(665280));
    QCOMPARE(QmdKelvo::ticksPerDivision(665281), Ticks(1));
    QCOMPARE(QmdKelvo::ticksPerDivision(std::numeric_limits<qint64>::max()), Ticks(1));
}

void TestKelvoUnits::palettes()
{
    const QList<ColoredLabel> standard = makeColorPalette(false);
    QCOMPARE(standard.size(), 72);
    QCOMPARE(standard.at(0).label, QStringLiteral("Tangerine"));
    QCOMPARE(standard.at(0).color, QColor(255, 128, 0));
    QCOMPARE(standard.at(8).label, QStringLiteral("Tangerine 2"));
    QCOMPARE(standard.at(8).color, standard.at(0).color);
    QCOMPARE(standard.at(71).label, QStringLiteral("Nickel 9"));
    QCOMPARE(standard.at(71).color, QColor(128, 128, 128));

    // The process's palette follows the preference as it is at the first use.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings().setValue(QStringLiteral("AlternateColorPalette"), true);
    QCOMPARE(colorPalettes().size(), 63);
    QCOMPARE(paletteColorName(7), QStringLiteral("Orange 2"));
    QCOMPARE(paletteColor(7), QColor(230, 159, 0));
    QCOMPARE(paletteColorName(62), QStringLiteral("Reddish Purple 9"));
    QCOMPARE(paletteColor(62).alpha(), 255);
    for (int outside : {63, -1}) {
        QCOMPARE(paletteColor(outside), QColor(Qt::black));
        QVERIFY(paletteColorName(outside).isNull());
    }
    QSettings().setValue(QStringLiteral("AlternateColorPalette"), false);
    QCOMPARE(colorPalettes().size(), 63);
}

void TestKelvoUnits::typeAndNoteNames()
{
    QCOMPARE(QmdKelvoController::noteName(0), QStringLiteral("C-2"));
    QCOMPARE(QmdKelvoController::noteName(61), QStringLiteral("C#3"));
    QCOMPARE(QmdKelvoController::noteName(127), QStringLiteral("G8"));

    QCOMPARE(elementTypeName(TextBoxElement), QStringLiteral("Text Box"));
    QCOMPARE(elementTypeName(VoiceGroupElement), QStringLiteral("Voice Group"));
    QVERIFY(elementTypeName(ElementType(5)).isNull());
    QVERIFY(elementTypeName(ElementType(-1)).isNull());
}

void TestKelvoUnits::noteNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pitch");
    QTest::newRow("C3") << "C3" << 60;
    QTest::newRow("C#3") << "C#3" << 61;
    QTest::newRow("c3") << "c3" << 60;
    QTest::newRow("lower-case g3") << "g3" << 67;
    QTest::newRow("lower-case a#2") << "a#2" << 58;
    QTest::newRow("C-1") << "C-1" << 12;
    QTest::newRow("C-2") << "C-2" << 0;
    QTest::newRow("C#-1") << "C#-1" << 13;
    QTest::newRow("G8") << "G8" << 127;
    QTest::newRow("flat ignored") << "Db3" << 62;
    QTest::newRow("no octave") << "A" << 0;
    QTest::newRow("match at start") << "3" << 0;
    QTest::newRow("9 is no octave digit") << "C9" << 0;
    // Names beyond the MIDI range give its nearest end, never a wrapped value.
    QTest::newRow("G#8") << "G#8" << 127;
    QTest::newRow("B8") << "B8" << 127;
    QTest::newRow("far above") << "C80" << 127;
    QTest::newRow("far below") << "C-30" << 0;
}

void TestKelvoUnits::noteNames()
{
    QFETCH(QString, name);
    QFETCH(int, pitch);
    QCOMPARE(int(QmdKelvoController::parseNoteName(name)), pitch);
}

QTEST_GUILESS_MAIN(TestKelvoUnits)
#include "tst_kelvounits.moc"
