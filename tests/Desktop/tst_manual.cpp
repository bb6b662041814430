#include "BundleResources.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <QXmlStreamReader>
#include <QtTest>

// The user manual as the build tree holds it: well-formed XHTML pages with one style sheet,
// no scripts and nothing remote, whose every link leads somewhere.
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
};

QTEST_GUILESS_MAIN(TestManual)
#include "tst_manual.moc"
