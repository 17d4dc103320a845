#include "AutostartFolder.h"
#include "TestFiles.h"

#include "platform/login/XdgAutostartService.h"
#include "settings/NetKeyloft_LoginController.h"
#include "settings/NetKeyloft_LoginItemsAE.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

using namespace NetKeyloft_LoginItemsAE;

namespace {

// The real service, counting the requests that reach it.
class CountingService : public LoginItemsService {
public:
    explicit CountingService(const QString& folder) : m_real(folder) {}

    int reads = 0;
    int appends = 0;
    int deletes = 0;

    bool isUsable() override { return m_real.isUsable(); }
    qint32 copyItems(QList<LoginItem>* items) override
    {
        ++reads;
        return m_real.copyItems(items);
    }
    qint32 appendItem(const LoginItem& item) override
    {
        ++appends;
        return m_real.appendItem(item);
    }
    qint32 deleteItemAt(qsizetype position) override
    {
        ++deletes;
        return m_real.deleteItemAt(position);
    }

private:
    XdgAutostartService m_real;
};

QDateTime minutesAgo(int minutes)
{
    return QDateTime::currentDateTimeUtc().addSecs(-60 * minutes);
}

// The entries of other programs that every scenario keeps beside ours.
void writeOtherEntries(const AutostartFolder& folder)
{
    folder.writeEntryFor(QStringLiteral("keyloft-lower.desktop"),
                         QStringLiteral("/usr/bin/keyloft"), minutesAgo(50));
    folder.writeEntryFor(QStringLiteral("mykeyloft.desktop"), QStringLiteral("/usr/bin/MyKeyloft"),
                         minutesAgo(40));
    folder.writeEntryFor(QStringLiteral("Keyloft-folder.desktop"),
                         QStringLiteral("/opt/Keyloft/bin/run"), minutesAgo(30));
    folder.writeEntry(QStringLiteral("override.desktop"), "[Desktop Entry]\nHidden=true\n",
                      minutesAgo(20));
}

QStringList snapshotWithout(const AutostartFolder& folder, const QString& prefix)
{
    QStringList lines = folder.snapshot();
    lines.removeIf([&](const QString& line) { return line.startsWith(prefix); });
    return lines;
}

} // namespace

class TestLoginController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstLaunchLeavesExactlyOneItemAtTheEnd_data()
    {
        QTest::addColumn<QStringList>("ourPrograms"); // existing items of ours, by program
        QTest::addColumn<bool>("existed");
        QTest::newRow("none yet") << QStringList{} << false;
        QTest::newRow("this program") << QStringList{QStringLiteral("bin/Keyloft")} << true;
        QTest::newRow("a program that moved away")
            << QStringList{QStringLiteral("/Applications/Keyloft")} << true;
    }

    void firstLaunchLeavesExactlyOneItemAtTheEnd()
    {
        QFETCH(QStringList, ourPrograms);
        QFETCH(bool, existed);
        AutostartFolder folder;
        QVERIFY(folder.isValid());
        writeOtherEntries(folder);
        const QString app = folder.makeProgram(QStringLiteral("Keyloft"));
        for (qsizetype i = 0; i < ourPrograms.size(); ++i) {
            const QString program = ourPrograms[i].startsWith(QLatin1Char('/'))
                                        ? ourPrograms[i]
                                        : folder.path(ourPrograms[i]);
            folder.writeEntryFor(QStringLiteral("Keyloft-old%1.desktop").arg(i), program,
                                 minutesAgo(45 - 10 * int(i)));
        }
        const QStringList others = snapshotWithout(folder, QStringLiteral("Keyloft-old"));

        // The first-launch sequence of the application.
        XdgAutostartService service(folder.autostart());
        NetKeyloft_LoginController controller(service, app);
        QCOMPARE(controller.appExistsInLoginItems(), existed);
        if (controller.appExistsInLoginItems()) {
            controller.loadAppAtStartup(false);
        }
        controller.loadAppAtStartup(true);

        const QStringList programs = folder.listedPrograms();
        QCOMPARE(programs.count(app), 1);
        QCOMPARE(programs.last(), app);
        QCOMPARE(programs.filter(QRegularExpression(QStringLiteral("/Keyloft[^/]*$"))),
                 QStringList{app});
        QCOMPARE(snapshotWithout(folder, QStringLiteral("Keyloft.desktop")), others);
        QVERIFY(controller.appExistsInLoginItems());
    }

    void removalTakesEveryItemOfOurs_data()
    {
        QTest::addColumn<QStringList>("ourPrograms");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("one") << QStringList{QStringLiteral("/usr/bin/Keyloft")};
        QTest::newRow("two") << QStringList{QStringLiteral("/usr/bin/Keyloft"),
                                            QStringLiteral("/opt/KeyloftBeta")};
        QTest::newRow("three, one of them gone")
            << QStringList{QStringLiteral("/usr/bin/Keyloft"), QStringLiteral("/gone/Keyloft"),
                           QStringLiteral("/opt/Keyloft.AppImage")};
    }

    void removalTakesEveryItemOfOurs()
    {
        QFETCH(QStringList, ourPrograms);
        AutostartFolder folder;
        writeOtherEntries(folder);
        for (qsizetype i = 0; i < ourPrograms.size(); ++i) {
            // Interleaved with the others' entries in list order.
            folder.writeEntryFor(QStringLiteral("ours%1.desktop").arg(i), ourPrograms[i],
                                 minutesAgo(55 - 10 * int(i)));
        }
        const QStringList others = snapshotWithout(folder, QStringLiteral("ours"));
        CountingService service(folder.autostart());
        NetKeyloft_LoginController controller(service,
                                              folder.makeProgram(QStringLiteral("Keyloft")));

        QCOMPARE(controller.appExistsInLoginItems(), !ourPrograms.isEmpty());
        controller.loadAppAtStartup(false);

        QCOMPARE(service.deletes, ourPrograms.size());
        QCOMPARE(service.appends, 0);
        QCOMPARE(folder.snapshot(), others);
        QVERIFY(!controller.appExistsInLoginItems());
    }

    void belongsByFileName_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("ours");
        QTest::newRow("Keyloft") << QStringLiteral("/usr/bin/Keyloft") << true;
        QTest::newRow("any name that begins so") << QStringLiteral("/opt/KeyloftSync") << true;
        QTest::newRow("program no longer exists") << QStringLiteral("/gone/away/Keyloft") << true;
        QTest::newRow("space after the name") << QStringLiteral("/opt/Keyloft copy") << true;
        QTest::newRow("lower case") << QStringLiteral("/usr/bin/keyloft") << false;
        QTest::newRow("name inside") << QStringLiteral("/usr/bin/MyKeyloft") << false;
        QTest::newRow("folder of that name") << QStringLiteral("/opt/Keyloft/run") << false;
    }

    void belongsByFileName()
    {
        QFETCH(QString, program);
        QFETCH(bool, ours);
        AutostartFolder folder;
        folder.writeEntryFor(QStringLiteral("entry.desktop"), program);
        XdgAutostartService service(folder.autostart());
        NetKeyloft_LoginController controller(service,
                                              folder.makeProgram(QStringLiteral("Keyloft")));
        QCOMPARE(controller.appExistsInLoginItems(), ours);
        controller.removeAppFromLoginItemsOnTiger();
        QCOMPARE(folder.entryFileNames().isEmpty(), ours);
    }

    void unusableFolderChangesNothing_data()
    {
        QTest::addColumn<QString>("autostart"); // below the fixture's file "blocker"
        QTest::newRow("parent is a regular file") << QStringLiteral("/autostart");
        QTest::newRow("folder is a regular file") << QString();
    }

    void unusableFolderChangesNothing()
    {
        QFETCH(QString, autostart);
        AutostartFolder folder;
        const QString blocker = folder.path(QStringLiteral("blocker"));
        const QByteArray blockerText("[Desktop Entry]\nExec=/usr/bin/Keyloft\n");
        QVERIFY(writeFileBytes(blocker, blockerText));
        CountingService service(blocker + autostart);
        NetKeyloft_LoginController controller(service,
                                              folder.makeProgram(QStringLiteral("Keyloft")));

        QVERIFY(!controller.appExistsInLoginItems());
        controller.loadAppAtStartup(true);
        controller.loadAppAtStartup(false);

        QCOMPARE(service.reads + service.appends + service.deletes, 0);
        QCOMPARE(fileBytes(blocker), blockerText);
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
        QTest::addColumn<QString>("url"); // "@" stands for the fixture's folder
        QTest::addColumn<bool>("hide");
        QTest::addColumn<qint32>("status");
        QTest::newRow("existing program")
            << QStringLiteral("file://@/bin/Keyloft") << true << LoginItemsStatus::noErr;
        QTest::newRow("no file there")
            << QStringLiteral("file://@/bin/Nothing") << false << LoginItemsStatus::fnfErr;
        QTest::newRow("not a file URL")
            << QStringLiteral("https://example.org/Keyloft") << false << LoginItemsStatus::fnfErr;
    }

    void appendForUrl()
    {
        QFETCH(QString, url);
        QFETCH(bool, hide);
        QFETCH(qint32, status);
        AutostartFolder folder;
        const QString program = folder.makeProgram(QStringLiteral("Keyloft"));
        folder.writeEntryFor(QStringLiteral("other.desktop"), QStringLiteral("/usr/bin/other"),
                             minutesAgo(1));
        CountingService service(folder.autostart());
        const QUrl item(
            url.replace(QLatin1Char('@'), QFileInfo(folder.path(QStringLiteral("bin"))).path()));

        QCOMPARE(appendLoginItemForURL(service, &item, hide), status);

        std::optional<LoginItemList> items;
        QCOMPARE(copyLoginItemList(service, &items), LoginItemsStatus::noErr);
        if (status != LoginItemsStatus::noErr) {
            QCOMPARE(service.appends, 0);
            QCOMPARE(items->size(), 1);
            return;
        }
        QCOMPARE(items->size(), 2);
        QCOMPARE(items->last().url, QUrl::fromLocalFile(program));
        QCOMPARE(items->last().hidden, hide);
        QCOMPARE(items->first().hidden, false);
    }
};

QTEST_GUILESS_MAIN(TestLoginController)
#include "tst_logincontroller.moc"
