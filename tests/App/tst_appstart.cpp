#include "AppTestMain.h"
#include "Inspector.h"
#include "KelvoWindow.h"
#include "QmdKelvoController.h"

#include <QSplashScreen>

// Start-up without arguments.
class TestAppStart : public QObject
{
    Q_OBJECT

private slots:
    void startsWithOneUntitledWindow()
    {
        KelvoApplication* app = KelvoApplication::instance();
        QCOMPARE(app->windows().size(), 1);
        KelvoWindow* window = app->windows().first();
        QCOMPARE(app->replaceableWindow(), window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Untitled[*]"));
        QVERIFY(window->isVisible());
        QVERIFY(window->controller()->fileName().isEmpty());
        QVERIFY(app->inspector()->isVisible());
        QCOMPARE(app->inspector()->width(), Inspector::FixedWidth);
        QTRY_VERIFY(!app->splash()->isVisible());
        QVERIFY(app->settings());
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Kelvo"));
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Kelvo"));
    }
};

KELVO_APP_TEST_MAIN(TestAppStart)
#include "tst_appstart.moc"
