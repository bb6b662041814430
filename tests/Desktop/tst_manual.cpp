#include "BundleResources.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>
#include <QtTest>

// The user manual as the build tree holds it: well-formed XHTML pages with one style sheet,
// no scripts and nothing remote, whose every link leads somewhere, with the pictures that the
// build takes of the program; and the README's copy of the window's picture.
class TestManual : public QObject
{
    Q_OBJECT

private:
    struct Page
    {
        QSet<QString> ids;
        QStringList links; // href and src values, in order
        QStringList elements;
        QString error;
    };

    QDir m_folder;
    QHash<QString, Page> m_pages;

    // The pictures that the build takes of the program's windows.
    static QStringList pictures()
    {
        return {"window.png",         "inspector-document.png", "inspector-instrument.png",
                "inspector-edge.png", "inspector-node.png",     "inspector-voice-group.png",
                "display-time.png",   "display-principals.png", "display-beats.png",
                "playing.png",        "synthesizer.png",        "preferences.png"};
    }

    // Why an image is not a picture of a window: missing, tiny, or (nearly) one colour.
    static QString blankness(const QImage& image)
    {
        if (image.isNull())
            return QStringLiteral("missing or unreadable");
        if (image.width() < 16 || image.height() < 16)
            return QStringLiteral("too small");
        QHash<QRgb, int> counts;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                ++counts[image.pixel(x, y)];
        }
        int most = 0;
        for (const int count : std::as_const(counts))
            most = std::max(most, count);
        if (counts.size() <= 8 || most > image.width() * image.height() * 97 / 100)
            return QStringLiteral("blank: %1 colours").arg(counts.size());
        return {};
    }

    static Page read(const QString& fileName)
    {
        Page page;
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            page.error = file.errorString();
            return page;
        }
        QXmlStreamReader xml(&file);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            page.elements << xml.name().toString();
            const QXmlStreamAttributes attributes = xml.attributes();
            if (attributes.hasAttribute("id"))
                page.ids.insert(attributes.value("id").toString());
            for (const char* name : {"href", "src"}) {
                if (attributes.hasAttribute(name))
                    page.links << attributes.value(name).toString();
            }
        }
        if (xml.hasError())
            page.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
        return page;
    }

private slots:
    void initTestCase()
    {
        m_folder = QDir(Platform::manualPath());
        QVERIFY2(m_folder.exists("index.html"), qPrintable(m_folder.path()));
        for (const QString& name : m_folder.entryList({"*.html"}, QDir::Files))
            m_pages.insert(name, read(m_folder.filePath(name)));
        QVERIFY(m_pages.size() >= 5);
    }

    // The tests find the build tree's copy through KELVO_DOC; without it, as installed, the
    // manual is beside the program's folder.
    void folderOfTheManual()
    {
        QVERIFY(qEnvironmentVariableIsSet("KELVO_DOC"));
        QCOMPARE(m_folder.path(), QDir::cleanPath(qEnvironmentVariable("KELVO_DOC")));
        QVERIFY(m_folder.path().endsWith("/share/doc/kelvo"));
        const QByteArray doc = qgetenv("KELVO_DOC");
        qputenv("KELVO_DOC", "");
        const QString beside = Platform::manualPath();
        qputenv("KELVO_DOC", doc);
        QCOMPARE(beside,
                 QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/doc/kelvo"));
    }

    void pagesAreWellFormed()
    {
        for (auto it = m_pages.cbegin(); it != m_pages.cend(); ++it) {
            QVERIFY2(it->error.isEmpty(), qPrintable(it.key() + ": " + it->error));
            QCOMPARE(it->elements.value(0), QStringLiteral("html"));
            QVERIFY2(!it->elements.contains("script"), qPrintable(it.key()));
            QVERIFY2(it->elements.contains("h1"), qPrintable(it.key()));
        }
    }

    void everyLinkLeadsSomewhere()
    {
        QSet<QString> linkedPages = {"index.html"};
        const QStringList styleSheets = m_folder.entryList({"*.css"}, QDir::Files);
        QCOMPARE(styleSheets, QStringList({"manual.css"}));
        for (auto it = m_pages.cbegin(); it != m_pages.cend(); ++it) {
            QVERIFY2(it->links.contains("manual.css"), qPrintable(it.key()));
            for (const QString& link : it->links) {
                const QUrl url(link);
                const QString where = it.key() + ": " + link;
                QVERIFY2(url.isRelative() && url.host().isEmpty(), qPrintable(where));
                const QString target = url.path().isEmpty() ? it.key() : url.path();
                QVERIFY2(m_folder.exists(target), qPrintable(where));
                if (url.hasFragment())
                    QVERIFY2(m_pages.value(target).ids.contains(url.fragment()), qPrintable(where));
                linkedPages.insert(target);
            }
        }
        // No page stands alone.
        for (const QString& page : m_pages.keys())
            QVERIFY2(linkedPages.contains(page), qPrintable(page));
    }

    // Every picture is taken, shows something, and is shown on a page.
    void picturesOfTheProgram()
    {
        QSet<QString> shown;
        for (const Page& page : std::as_const(m_pages)) {
            for (const QString& link : page.links)
                shown.insert(link);
        }
        for (const QString& name : pictures()) {
            const QString path = "images/" + name;
            const QString why = blankness(QImage(m_folder.filePath(path)));
            QVERIFY2(why.isEmpty(), qPrintable(path + ": " + why));
            QVERIFY2(shown.contains(path), qPrintable(path + " is on no page"));
        }
    }

    // The README, read where no build exists, shows a committed copy of the window's picture:
    // present, not blank, and of the size the build takes.
    void readmePicture()
    {
        const QDir source(QStringLiteral(KELVO_SOURCE_DIR));
        const QString copy = QStringLiteral("doc/images/kelvo-window.png");
        QFile readme(source.filePath("README.md"));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        QVERIFY(readme.readAll().contains("(" + copy.toUtf8() + ")"));
        const QImage committed(source.filePath(copy));
        const QString why = blankness(committed);
        QVERIFY2(why.isEmpty(), qPrintable(copy + ": " + why));
        const QImage built(m_folder.filePath("images/window.png"));
        QVERIFY(!built.isNull());
        QCOMPARE(committed.size(), built.size());
    }

    // The README and the developer's pages under doc/ link each other, and every file they
    // link to is there.
    void readmeLinks()
    {
        const QDir source(QStringLiteral(KELVO_SOURCE_DIR));
        QStringList documents = {"README.md"};
        for (const QString& name : QDir(source.filePath("doc")).entryList({"*.md"}, QDir::Files))
            documents << "doc/" + name;
        QVERIFY(documents.contains("doc/developing.md"));
        QSet<QString> linked;
        const QRegularExpression link(QStringLiteral("\\]\\(([^)#]*)(#[^)]*)?\\)"));
        for (const QString& document : std::as_const(documents)) {
            QFile file(source.filePath(document));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            const QDir folder = QFileInfo(file).dir();
            for (auto it = link.globalMatch(text); it.hasNext();) {
                const QString target = it.next().captured(1);
                if (target.isEmpty() || target.contains(QLatin1String("://")))
                    continue;
                const QString path = source.relativeFilePath(folder.filePath(target));
                QVERIFY2(source.exists(path), qPrintable(document + ": " + target));
                linked.insert(QDir::cleanPath(path));
            }
        }
        for (const QString& document : std::as_const(documents)) {
            if (document != "README.md")
                QVERIFY2(linked.contains(document), qPrintable(document + " is linked nowhere"));
        }
    }
};

QTEST_GUILESS_MAIN(TestManual)
#include "tst_manual.moc"
