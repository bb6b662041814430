#include "SingleInstance.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// A fresh installation of the build tree into a prefix (made by the test kelvo_install): every
// file at its place, a desktop entry and a file type that the desktop's tools accept, and an
// installed program that runs from there.
class TestInstall : public QObject
{
    Q_OBJECT

private:
    const QDir m_prefix {QStringLiteral(KELVO_INSTALL_PREFIX)};
    const QDir m_source {QStringLiteral(KELVO_SOURCE_DIR)};

    QString installed(const QString& path) const { return m_prefix.filePath(path); }

    // The files of a source folder, by their paths below it.
    static QStringList filesBelow(const QDir& folder)
    {
        QStringList files;
        QDirIterator it(folder.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << folder.relativeFilePath(it.next());
        files.sort();
        return files;
    }

    static int run(const QString& program, const QStringList& arguments, QString* output = nullptr)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        if (output)
            *output = QString::fromLocal8Bit(process.readAll());
        return process.exitCode();
    }

    // The installed program in a process of its own: without MIDI, with a home and a runtime
    // folder of its own, and none of the build tree's resources.
    struct Launch
    {
        QProcess process;
        Launch(const QString& program, const QStringList& arguments, const QTemporaryDir& home,
               const QString& runtime)
        {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("KELVO_RESOURCES");
            env.remove("KELVO_DOC");
            env.insert("KELVO_MIDI_API", "jack");
            env.insert("JACK_DEFAULT_SERVER", "kelvo-no-such-server");
            env.insert("HOME", home.path());
            env.insert("XDG_CONFIG_HOME", home.filePath("config"));
            env.insert("XDG_RUNTIME_DIR", runtime);
            process.setProcessEnvironment(env);
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process.start(program, arguments);
        }

        int exitCode()
        {
            if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
                return -1;
            return process.exitCode();
        }
    };

private slots:
    void initTestCase()
    {
        QVERIFY2(m_prefix.exists("bin/kelvo"), qPrintable(m_prefix.path()));
        // The file type database is read once, on first use, from these folders.
        qputenv("XDG_DATA_DIRS", QFile::encodeName(installed("share")) + ":/usr/share");
    }

    void filesAtTheirPlaces()
    {
        QVERIFY(QFileInfo(installed("bin/kelvo")).isExecutable());
        const QDir bundle(m_source.filePath("resources/bundle"));
        QVERIFY(filesBelow(bundle).contains("template.kvd"));
        QVERIFY(filesBelow(bundle).filter(QRegularExpression("^Examples/.+\\.kvd$")).size() >= 4);
        QCOMPARE(filesBelow(QDir(installed("share/kelvo"))), filesBelow(bundle));
        // The manual as the build tree holds it: its pages and the pictures the build took.
        const QStringList manual = filesBelow(QDir(installed("share/doc/kelvo")));
        QCOMPARE(manual, filesBelow(QDir(qEnvironmentVariable("KELVO_DOC"))));
        for (const QString& page : filesBelow(QDir(m_source.filePath("doc/manual"))))
            QVERIFY2(manual.contains(page), qPrintable(page));
        QVERIFY(manual.contains("images/window.png"));
        QVERIFY(QFileInfo::exists(installed("share/doc/kelvo/index.html")));
        QVERIFY(QFileInfo::exists(installed("share/applications/kelvo.desktop")));
        QVERIFY(QFileInfo::exists(installed("share/mime/packages/kelvo.xml")));
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QString theme = QStringLiteral("share/icons/hicolor/%1x%1/").arg(size);
            for (const QString& icon :
                 {theme + "apps/kelvo.png", theme + "mimetypes/application-x-kelvo-network.png"}) {
                const QImage image(installed(icon));
                QVERIFY2(!image.isNull(), qPrintable(icon));
                QCOMPARE(image.size(), QSize(size, size));
            }
        }
    }

    void desktopEntryIsValid()
    {
        const QString entry = installed("share/applications/kelvo.desktop");
        QString output;
        QCOMPARE(run("desktop-file-validate", {entry}, &output), 0);
        QVERIFY2(output.trimmed().isEmpty(), qPrintable(output));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        for (const char* line :
             {"Name=Kelvo", "Exec=kelvo %F", "Icon=kelvo", "MimeType=application/x-kelvo-network;"})
            QVERIFY2(lines.contains(QLatin1String(line)), line);
    }

    void networkFilesHaveTheirType()
    {
        QString output;
        QCOMPARE(run("update-mime-database", {installed("share/mime")}, &output), 0);
        const QMimeDatabase database;
        const QMimeType type = database.mimeTypeForFile("a.kvd", QMimeDatabase::MatchExtension);
        QCOMPARE(type.name(), QStringLiteral("application/x-kelvo-network"));
        QVERIFY(type.inherits("application/xml"));
        QCOMPARE(type.comment(), QStringLiteral("Kelvo network"));
        QCOMPARE(type.iconName(), QStringLiteral("application-x-kelvo-network"));
        const QString example
            = QDir(installed("share/kelvo/Examples")).entryInfoList({"*.kvd"}).value(0).filePath();
        QCOMPARE(database.mimeTypeForFile(example).name(), type.name());
    }

    // Started from the prefix, the program finds its resources there, takes an example that a
    // second launch hands over and ends cleanly on SIGTERM.
    void installedProgramRuns()
    {
        QTemporaryDir home;
        const QString runtime = home.filePath("run");
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString program = installed("bin/kelvo");
        const QString socket = runtime + "/kelvo-instance";

        Launch instance(program, {}, home, runtime);
        QVERIFY(QTest::qWaitFor(
            [&] {
                return SingleInstance::forward({}, socket, 2000)
                    == SingleInstance::Forwarding::Forwarded;
            },
            40000));
        const QString example
            = QDir(installed("share/kelvo/Examples")).entryInfoList({"*.kvd"}).value(0).filePath();
        Launch second(program, {example}, home, runtime);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(instance.process.state(), QProcess::Running);
        instance.process.terminate();
        QCOMPARE(instance.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
