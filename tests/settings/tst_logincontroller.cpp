#include "AutostartFolder.h"

#include "platform/login/XdgAutostartService.h"
#include "settings/NetKeyloft_LoginController.h"
#include "settings/NetKeyloft_LoginItemsAE.h"

#include <QtTest>

using namespace NetKeyloft_LoginItemsAE;

namespace {

QDateTime minutesAgo(int minutes)
{
    return QDateTime::currentDateTimeUtc().addSecs(-60 * minutes);
}

} // namespace

class TestLoginController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void switchingOnAndOff_data()
    {
        QTest::addColumn<QStringList>("ourPrograms"); // "@" stands for this program
        QTest::newRow("none yet") << QStringList{};
        QTest::newRow("this program") << QStringList{QStringLiteral("@")};
        QTest::newRow("a program that moved away")
            << QStringList{QStringLiteral("/usr/bin/Keyloft")};
        QTest::newRow("several, by file name") << QStringList{
            QStringLiteral("/Applications/Keyloft"), QStringLiteral("/opt/KeyloftSync"),
            QStringLiteral("/opt/Keyloft.AppImage")};
    }

    // The first-launch sequence of the application, then start at login switched off.
    void switchingOnAndOff()
    {
        QFETCH(QStringList, ourPrograms);
        AutostartFolder folder;
        const QString app = folder.makeProgram(QStringLiteral("Keyloft"));
        // Other programs' entries, interleaved in list order with ours: names that
        // merely resemble ours, and an entry that starts nothing.
        const QStringList others{QStringLiteral("/usr/bin/keyloft"),
                                 QStringLiteral("/usr/bin/MyKeyloft"),
                                 QStringLiteral("/opt/Keyloft/bin/run")};
        for (qsizetype i = 0; i < others.size(); ++i) {
            folder.writeEntryFor(QStringLiteral("other%1.desktop").arg(i), others[i],
                                 minutesAgo(50 - 10 * int(i)));
        }
        folder.writeEntry(QStringLiteral("override.desktop"), "[Desktop Entry]\nHidden=true\n",
                          minutesAgo(20));
        const QStringList othersBefore = folder.snapshot();
        for (qsizetype i = 0; i < ourPrograms.size(); ++i) {
            folder.writeEntryFor(QStringLiteral("ours%1.desktop").arg(i),
                                 ourPrograms[i] == QStringLiteral("@") ? app : ourPrograms[i],
                                 minutesAgo(55 - 10 * int(i)));
        }
        XdgAutostartService service(folder.autostart());
        NetKeyloft_LoginController controller(service, app);

        QCOMPARE(controller.appExistsInLoginItems(), !ourPrograms.isEmpty());
        if (controller.appExistsInLoginItems()) {
            controller.loadAppAtStartup(false);
        }
        controller.loadAppAtStartup(true);
        QCOMPARE(folder.listedPrograms(), others + QStringList{app});
        QVERIFY(controller.appExistsInLoginItems());

        controller.loadAppAtStartup(false);
        QCOMPARE(folder.snapshot(), othersBefore);
        QVERIFY(!controller.appExistsInLoginItems());
    }

    void defaultControllerUsesUserAutostartFolder()
    {
        AutostartFolder folder; // sets XDG_CONFIG_HOME
        NetKeyloft_LoginController controller;
        const QString self = QCoreApplication::applicationFilePath();
        QCOMPARE(controller.pathForAppSelf(), self);
        QVERIFY(!controller.appExistsInLoginItems());
        // Entries that run this program are ours, whatever it is called.
        folder.writeEntryFor(QStringLiteral("x.desktop"), self, minutesAgo(2));
        folder.writeEntryFor(QStringLiteral("y.desktop"), self, minutesAgo(1));
        folder.writeEntryFor(QStringLiteral("other.desktop"), QStringLiteral("/usr/bin/other"));
        QVERIFY(controller.appExistsInLoginItems());
        controller.loadAppAtStartup(false);
        QCOMPARE(folder.entryFileNames(), QStringList{QStringLiteral("other.desktop")});
    }

    void foreignEntriesThatStartNothingAreSkipped_data()
    {
        QTest::addColumn<QByteArray>("foreign");
        QTest::newRow("empty Exec") << QByteArray("[Desktop Entry]\nExec=\nHidden=true\n");
        QTest::newRow("quoted empty program") << QByteArray("[Desktop Entry]\nExec=\"\" --flag\n");
    }

    void foreignEntriesThatStartNothingAreSkipped()
    {
        QFETCH(QByteArray, foreign);
        AutostartFolder folder;
        folder.writeEntry(QStringLiteral("foreign.desktop"), foreign, minutesAgo(5));
        const QString app = folder.makeProgram(QStringLiteral("Keyloft"));
        XdgAutostartService service(folder.autostart());
        NetKeyloft_LoginController controller(service, app);
        for (int cycle = 0; cycle < 3; ++cycle) {
            controller.loadAppAtStartup(false);
            QVERIFY(!controller.appExistsInLoginItems());
            controller.loadAppAtStartup(true);
            QVERIFY(controller.appExistsInLoginItems());
        }
        QCOMPARE(folder.listedPrograms(), QStringList{app});
        QCOMPARE(folder.entryFileNames(), (QStringList{QStringLiteral("Keyloft.desktop"),
                                                       QStringLiteral("foreign.desktop")}));
        QCOMPARE(folder.readEntry(QStringLiteral("foreign.desktop")), foreign);
    }

    void appendForUrl_data()
    {
        QTest::addColumn<QString>("url"); // "@" stands for the program's path
        QTest::addColumn<qint32>("status");
        QTest::newRow("existing program") << QStringLiteral("file://@") << LoginItemsStatus::noErr;
        QTest::newRow("no file there")
            << QStringLiteral("file://@-gone") << LoginItemsStatus::fnfErr;
        QTest::newRow("not a file URL")
            << QStringLiteral("https://example.org/Keyloft") << LoginItemsStatus::fnfErr;
    }

    void appendForUrl()
    {
        QFETCH(QString, url);
        QFETCH(qint32, status);
        AutostartFolder folder;
        const QString program = folder.makeProgram(QStringLiteral("Keyloft"));
        folder.writeEntryFor(QStringLiteral("other.desktop"), QStringLiteral("/usr/bin/other"),
                             minutesAgo(1));
        XdgAutostartService service(folder.autostart());
        const QUrl item(url.replace(QLatin1Char('@'), program));

        QCOMPARE(appendLoginItemForURL(service, &item, true), status);

        std::optional<LoginItemList> items;
        QCOMPARE(copyLoginItemList(service, &items), LoginItemsStatus::noErr);
        QCOMPARE(items->size(), status == LoginItemsStatus::noErr ? 2 : 1);
        if (status != LoginItemsStatus::noErr) {
            return;
        }
        QCOMPARE(items->last().url, QUrl::fromLocalFile(program));
        // The hidden flag is our own key; the other entry carries none.
        QCOMPARE(items->last().hidden, true);
        QCOMPARE(items->first().hidden, false);
    }
};

QTEST_GUILESS_MAIN(TestLoginController)
#include "tst_logincontroller.moc"
