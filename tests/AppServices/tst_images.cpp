#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The compiled-in images: present at their sizes and pixel ratios, and painted to the same
// bytes by every run of the generator.
class TestImages : public QObject
{
    Q_OBJECT

private:
    // Paints every compiled-in image into `dir` with the generator; true when it succeeded.
    static bool paintAll(const QString& dir, const QStringList& paths)
    {
        QProcess generator;
        generator.start(QStringLiteral(KELVO_IMAGEGEN), QStringList {dir} + paths);
        return generator.waitForFinished(60000) && generator.exitStatus() == QProcess::NormalExit
            && generator.exitCode() == 0;
    }

    static QStringList resourcePaths()
    {
        QStringList paths;
        QDirIterator it(QStringLiteral(":/images"), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            paths << it.next().mid(QStringLiteral(":/images/").size());
        paths.sort();
        return paths;
    }

private slots:
    void sizes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("prompt icon") << "Kelvo64.png" << QSize(64, 64) << 1.0;
        QTest::newRow("about") << "AboutKelvoBeta.png" << QSize(600, 360) << 1.0;
        for (const char* tool :
             {"SelectionTool", "ZoomTool", "NodeAndEdgeTool", "VoiceGroupTool", "TextBoxTool"})
            QTest::newRow(tool) << QStringLiteral("Tools/%1@2x.png").arg(tool) << QSize(28, 32)
                                << 2.0;
        for (const char* cursor : {"ZoomIn", "ZoomOut", "ZoomNone", "Crosshair"})
            QTest::newRow(cursor) << QStringLiteral("Cursors/%1.png").arg(cursor) << QSize(16, 16)
                                  << 1.0;
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            QTest::addRow("icon %d", size)
                << QStringLiteral("AppIcon/kelvo-%1.png").arg(size) << QSize(size, size) << 1.0;

        // The inspector's.
        for (const char* face : {"Normal", "Pressed", "Selected", "Separator_workaround"})
            QTest::addRow("page button %s", face)
                << QStringLiteral("Inspector/InspectPageButton%1.png").arg(face) << QSize(8, 24)
                << 1.0;
        for (const char* icon :
             {"Inspector/InspectDocument", "Inspector/InspectInstrument", "Inspector/InspectEdge",
              "Inspector/InspectNode", "Inspector/InspectVoiceGroup", "Inspector/EdgePathCityBlock",
              "Inspector/EdgePathCityBlockFlipped", "Inspector/EdgePathDirect"}) {
            QTest::newRow(icon) << QStringLiteral("%1.png").arg(icon) << QSize(16, 16) << 1.0;
            QTest::addRow("%s@2x", icon)
                << QStringLiteral("%1@2x.png").arg(icon) << QSize(32, 32) << 2.0;
        }
        for (const char* look : {"Normal", "Hover", "Selected"})
            for (const char* position : {"First", "Mid", "Last"})
                QTest::addRow("chooser tab %s %s", look, position)
                    << QStringLiteral("ChooserSmall%1%2.png").arg(look, position) << QSize(12, 20)
                    << 1.0;
        for (const char* face : {"Normal", "Pressed"}) {
            QTest::addRow("flat button %s", face)
                << QStringLiteral("FlatButton30%1.png").arg(face) << QSize(30, 22) << 1.0;
            QTest::addRow("list add %s", face)
                << QStringLiteral("Inspector/ListAdd%1.png").arg(face) << QSize(32, 24) << 1.0;
        }
        QTest::newRow("list strip") << "Inspector/ListButtonsSpacer.png" << QSize(8, 24) << 1.0;
        QTest::newRow("alpha pixel") << "AlphaPixel.png" << QSize(1, 1) << 1.0;
        QTest::newRow("add drop-down") << "AddDropDownSymbol.png" << QSize(17, 9) << 1.0;
        QTest::newRow("shuffle") << "ShuffleSymbol.png" << QSize(16, 16) << 1.0;

        // The document window's tool bar.
        for (const char* strip : {"LCDSolidChars@2x.png", "LCDDimChars@2x.png"})
            QTest::newRow(strip) << strip << QSize(20, 13 * 36) << 2.0;
        for (const char* face : {"Normal", "Pressed"}) {
            QTest::addRow("go to start %s", face)
                << QStringLiteral("MasterControls/GotoStart%1.png").arg(face) << QSize(35, 35)
                << 1.0;
            for (const char* button : {"Play", "Pause"})
                QTest::addRow("%s %s", button, face)
                    << QStringLiteral("MasterControls/%1%2.png").arg(button, face) << QSize(45, 45)
                    << 1.0;
            for (const char* button : {"TriggeringOff", "TriggeringOn"})
                QTest::addRow("%s %s", button, face)
                    << QStringLiteral("MasterControls/%1%2.png").arg(button, face) << QSize(31, 31)
                    << 1.0;
        }
        QTest::newRow("transport plate")
            << "MasterControls/PlayAndTriggeringBackground.png" << QSize(80, 49) << 1.0;
        QTest::newRow("LCD panel") << "LCDNormal.png" << QSize(40, 40) << 1.0;
        QTest::newRow("drop-down") << "DropDownSymbol.png" << QSize(9, 6) << 1.0;
        for (const char* mode : {"Time", "Principals", "Beats"})
            QTest::addRow("mode %s", mode)
                << QStringLiteral("LCD%1Icon.png").arg(mode) << QSize(32, 32) << 1.0;
        for (const char* position : {"Left", "Middle", "Right"})
            for (const char* look : {"Normal", "Hover", "Pressed"})
                QTest::addRow("tool button %s %s", position, look)
                    << QStringLiteral("Chooser/%1%2.png").arg(position, look) << QSize(40, 24)
                    << 1.0;
    }

    void sizes()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QFETCH(qreal, ratio);
        const QImage image(QStringLiteral(":/images/") + path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), size);
        QCOMPARE(image.devicePixelRatio(), ratio);
        QVERIFY(image.hasAlphaChannel());
    }

    void imagesAreNotBlank()
    {
        for (const QString& path : resourcePaths()) {
            // The one image meant to be invisible.
            if (path == QLatin1String("AlphaPixel.png"))
                continue;
            const QImage image
                = QImage(QStringLiteral(":/images/") + path).convertToFormat(QImage::Format_ARGB32);
            int painted = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    painted += qAlpha(image.pixel(x, y)) > 0;
            QVERIFY2(painted > image.width() * image.height() / 20, qPrintable(path));
        }
        QCOMPARE(QImage(QStringLiteral(":/images/AlphaPixel.png")).pixel(0, 0), 0u);
    }

    // The separator between page buttons: two translucent dark columns at the left edge, so
    // that it draws right when the style sheet slices it as a two-pixel border.
    void pageButtonSeparatorIsTwoColumnsWide()
    {
        const QImage image
            = QImage(QStringLiteral(":/images/Inspector/InspectPageButtonSeparator_workaround.png"))
                  .convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                QCOMPARE(image.pixelColor(x, y),
                         x < 2 ? QColor(0, 0, 0, 70) : QColor(Qt::transparent));
        }
    }

    void paintedBytesAreStable()
    {
        const QStringList paths = resourcePaths();
        QVERIFY(paths.size() >= 14);
        QTemporaryDir first;
        QTemporaryDir second;
        QVERIFY(paintAll(first.path(), paths));
        QVERIFY(paintAll(second.path(), paths));
        for (const QString& path : paths) {
            QFile a(first.filePath(path));
            QFile b(second.filePath(path));
            QFile compiled(QStringLiteral(":/images/") + path);
            QVERIFY(a.open(QIODevice::ReadOnly));
            QVERIFY(b.open(QIODevice::ReadOnly));
            QVERIFY(compiled.open(QIODevice::ReadOnly));
            const QByteArray bytes = a.readAll();
            QVERIFY2(bytes == b.readAll(), qPrintable(path));
            QVERIFY2(bytes == compiled.readAll(), qPrintable(path));
        }
    }

    void generatorRefusesUnknownAndMissingNames()
    {
        QTemporaryDir dir;
        QStringList paths = resourcePaths();
        QVERIFY(!paintAll(dir.path(), paths + QStringList {QStringLiteral("NoSuch.png")}));
        paths.removeFirst();
        QVERIFY(!paintAll(dir.path(), paths));
    }
};

QTEST_MAIN(TestImages)
#include "tst_images.moc"
