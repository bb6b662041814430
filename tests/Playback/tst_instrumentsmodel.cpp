#include "InstrumentsModel.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QPixmap>
#include <QSignalSpy>
#include <QtTest>

namespace K = QmdKelvoKeys;

class TestInstrumentsModel : public QObject
{
    Q_OBJECT

private slots:
    void followsTheController();
    void swatch_data();
    void swatch();
};

static QStringList labels(const InstrumentsModel& m)
{
    QStringList result;
    for (int row = 0; row < m.rowCount(); ++row)
        result << m.index(row, 0).data().toString();
    return result;
}

void TestInstrumentsModel::followsTheController()
{
    QmdMemModel model;
    QmdKelvoController controller;
    controller.setModel(&model);
    for (const char* label : {"Bass", "Lead", "Pads"})
        controller.requestAddInstrument(QString::fromLatin1(label), Qt::red, QBitArray(16));
    const QmdItemIdList ids = controller.instruments();
    QCOMPARE(ids.size(), 3);

    InstrumentsModel instruments;
    QCOMPARE(instruments.rowCount(), 0);
    QVERIFY(!instruments.index(0, 0).isValid());
    instruments.setController(&controller);
    QCOMPARE(labels(instruments), QStringList({"Bass", "Lead", "Pads"}));
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(instruments.index(row, 0).internalId(), quintptr(ids.at(row)));
        QCOMPARE(instruments.index(row, 0).data(Qt::UserRole).toUInt(), ids.at(row));
    }
    QCOMPARE(instruments.columnCount(), 1);
    QVERIFY(!instruments.index(0, 1).isValid());
    QVERIFY(!instruments.index(3, 0).isValid());
    QVERIFY(!instruments.index(0, 0, instruments.index(0, 0)).isValid());
    QCOMPARE(instruments.rowCount(instruments.index(0, 0)), 0);
    QVERIFY(!instruments.index(0, 0).data(Qt::ToolTipRole).isValid());

    QSignalSpy removed(&instruments, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&instruments, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&instruments, &QAbstractItemModel::dataChanged);

    emit controller.instrumentsRemoved({ids.at(1), 999}, 0);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(labels(instruments), QStringList({"Bass", "Pads"}));
    emit controller.instrumentsRemoved({999}, 0);
    QCOMPARE(removed.count(), 1);

    emit controller.instrumentsAdded({ids.at(1)}, 0);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 2);
    QCOMPARE(labels(instruments), QStringList({"Bass", "Pads", "Lead"}));

    // Labels are read from the document each time; only "Label" and "Color" notify.
    controller.requestSetData(K::Label, QStringLiteral("Drums"),
                              controller.instrumentIndex(ids.at(2)));
    emit controller.instrumentDataEffected(ids.at(2), {K::MidiProgram}, 0);
    QCOMPARE(changed.count(), 0);
    emit controller.instrumentDataEffected(ids.at(2), {K::Label}, 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
    QCOMPARE(labels(instruments), QStringList({"Bass", "Drums", "Lead"}));

    // A reset lists the controller's instruments in its order again.
    emit controller.modelReset();
    QCOMPARE(labels(instruments), QStringList({"Bass", "Lead", "Drums"}));

    instruments.setController(nullptr);
    QCOMPARE(instruments.rowCount(), 0);
}

void TestInstrumentsModel::swatch_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<double>("fillAlpha");
    QTest::newRow("opaque") << QColor(0, 0, 255) << 0.6;
    QTest::newRow("half") << QColor(0, 0, 255, 128) << 0.3;
}

void TestInstrumentsModel::swatch()
{
    QFETCH(QColor, color);
    QFETCH(double, fillAlpha);
    QmdMemModel model;
    QmdKelvoController controller;
    controller.setModel(&model);
    controller.requestAddInstrument(QStringLiteral("X"), color, QBitArray(16));
    InstrumentsModel instruments;
    instruments.setController(&controller);
    const QImage image
        = instruments.index(0, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
    QCOMPARE(image.size(), QSize(10, 10));
    // The outline covers the edge of the swatch at full opacity; the fill lies inside.
    QCOMPARE(image.pixelColor(0, 0), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(9, 9), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(8, 8), image.pixelColor(1, 1));
    const QColor fill = image.pixelColor(4, 4);
    QCOMPARE(fill.blue(), 255);
    QVERIFY(qAbs(fill.red() - 255 * (1 - fillAlpha)) <= 2);
}

QTEST_MAIN(TestInstrumentsModel)
#include "tst_instrumentsmodel.moc"
