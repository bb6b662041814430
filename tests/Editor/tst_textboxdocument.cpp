#include "GraphicsTextBoxEdit.h"
#include "GraphicsTextBoxItem.h"
#include "TextBoxDocument.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QGraphicsScene>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

namespace {

const QColor Red(255, 0, 0);

QByteArray redPng(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The number of red pixels in a document drawn on black.
int redPixels(QTextDocument* document)
{
    const QSize size = document->size().toSize().expandedTo(QSize(1, 1));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    document->drawContents(&painter);
    painter.end();
    int red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            red += pixel.red() > 200 && pixel.green() < 60 && pixel.blue() < 60 ? 1 : 0;
        }
    }
    return red;
}

} // namespace

// A text box's document serves the resources that its HTML names from the program and from
// the text itself, and reads nothing else.
class TestTextBoxDocument : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString redFile;
    QString redStyleSheet;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        redFile = dir.filePath(QStringLiteral("red.png"));
        QFile png(redFile);
        QVERIFY(png.open(QIODevice::WriteOnly));
        png.write(redPng(8));
        png.close();
        redStyleSheet = dir.filePath(QStringLiteral("red.css"));
        QFile css(redStyleSheet);
        QVERIFY(css.open(QIODevice::WriteOnly));
        css.write("p { color: #FF0000; background-color: #FF0000 }");
    }

    void namesOutsideTheProgramLoadNothing_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("device") << QStringLiteral("/dev/zero");
        QTest::newRow("file path") << redFile;
        QTest::newRow("file URL") << QUrl::fromLocalFile(redFile).toString();
        QTest::newRow("relative path") << QStringLiteral("red.png");
        QTest::newRow("http URL") << QStringLiteral("http://127.0.0.1:9/red.png");
        QTest::newRow("qrc missing") << QStringLiteral("qrc:/images/none.png");
        QTest::newRow("data not an image") << QStringLiteral("data:text/plain,red");
    }

    void namesOutsideTheProgramLoadNothing()
    {
        QFETCH(QString, source);
        QGraphicsScene scene;
        GraphicsTextBoxItem item(&scene);
        // Relative names resolve against the document's base, here the folder of the file.
        item.document()->setBaseUrl(QUrl::fromLocalFile(dir.path() + QLatin1Char('/')));
        item.setHtml(QStringLiteral("<p>Look: <img src=\"%1\" width=\"8\" height=\"8\"></p>")
                         .arg(source.toHtmlEscaped()));
        QCOMPARE(redPixels(item.document()), 0);
        const QVariant served
            = item.document()->resource(QTextDocument::ImageResource, QUrl(source));
        QCOMPARE(served.value<QImage>().size(), QSize(1, 1));
        QCOMPARE(served.value<QImage>().pixelColor(0, 0).alpha(), 0);
    }

    void styleSheetsAreNotReadFromFiles()
    {
        QGraphicsScene scene;
        GraphicsTextBoxItem item(&scene);
        item.setHtml(QStringLiteral("<html><head><link rel=\"stylesheet\" type=\"text/css\" "
                                    "href=\"%1\"></head><body><p>Styled</p></body></html>")
                         .arg(QUrl::fromLocalFile(redStyleSheet).toString()));
        QCOMPARE(item.toPlainText(), QStringLiteral("Styled"));
        QCOMPARE(redPixels(item.document()), 0);

        // From the text itself it applies.
        item.setHtml(
            QStringLiteral("<html><head><link rel=\"stylesheet\" type=\"text/css\" "
                           "href=\"data:text/css,p%20%7B%20background-color%3A%20%23FF0000%20%7D\">"
                           "</head><body><p>Styled</p></body></html>"));
        QVERIFY(redPixels(item.document()) > 20);
    }

    void programAndTextImagesShow()
    {
        QGraphicsScene scene;
        GraphicsTextBoxItem item(&scene);
        const QString inline8
            = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(redPng(8).toBase64());
        item.setHtml(QStringLiteral("<p><img src=\"%1\"></p>").arg(inline8));
        QCOMPARE(redPixels(item.document()), 64);

        const QString cursor = QStringLiteral(":/images/Cursors/ZoomIn.png");
        const QImage expected(cursor);
        QVERIFY(!expected.isNull());
        item.setHtml(QStringLiteral("<p><img src=\"qrc%1\"></p>").arg(cursor));
        const QVariant served
            = item.document()->resource(QTextDocument::ImageResource, QUrl("qrc" + cursor));
        QCOMPARE(served.value<QImage>().size(), expected.size());
        QVERIFY(item.boundingRect().width() >= expected.width());
    }

    void pastedHtmlMeetsTheSameRule()
    {
        QGraphicsScene scene;
        GraphicsTextBoxItem item(&scene);
        item.setHtml(QStringLiteral("<p>Paste here</p>"));
        item.openEditor(QPointF(0, 0));
        QVERIFY(item.editor());
        auto* mime = new QMimeData;
        mime->setHtml(QStringLiteral("<p>Pasted <img src=\"%1\" width=\"8\" height=\"8\"> "
                                     "<img src=\"/dev/zero\"></p>")
                          .arg(redFile));
        QApplication::clipboard()->setMimeData(mime);
        item.editor()->textEdit()->paste();
        QVERIFY(item.toPlainText().contains(QStringLiteral("Pasted")));
        QCOMPARE(redPixels(item.document()), 0);
        QApplication::clipboard()->clear();
    }

    void documentItselfRefusesOtherNames()
    {
        TextBoxDocument document;
        QVERIFY(
            document.resource(QTextDocument::StyleSheetResource, QUrl::fromLocalFile(redStyleSheet))
                .isNull());
        QCOMPARE(document
                     .resource(QTextDocument::StyleSheetResource,
                               QUrl(QStringLiteral("data:text/css;base64,")
                                    + QString::fromLatin1(QByteArray("p {}").toBase64())))
                     .toByteArray(),
                 QByteArray("p {}"));
    }
};

QTEST_MAIN(TestTextBoxDocument)
#include "tst_textboxdocument.moc"
