#include "AutostartFolder.h"
#include "ScopedEnvironment.h"

#include "platform/login/XdgAutostartService.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtTest>

// The login-items service over a real autostart folder in a temporary
// XDG_CONFIG_HOME, checked against desktop-file-validate and dex.
class TestAutostartService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void standardFolder_data()
    {
        QTest::addColumn<QByteArray>("configHome");
        QTest::addColumn<QString>("expected"); // relative to HOME when it starts with '~'
        QTest::newRow("absolute XDG_CONFIG_HOME")
            << QByteArray("/srv/cfg") << QStringLiteral("/srv/cfg/autostart");
        QTest::newRow("unset") << QByteArray() << QStringLiteral("~/.config/autostart");
        QTest::newRow("relative is ignored")
            << QByteArray("cfg") << QStringLiteral("~/.config/autostart");
    }

    void standardFolder()
    {
        QFETCH(QByteArray, configHome);
        QFETCH(QString, expected);
        const ScopedEnvironment home("HOME", QByteArray("/home/tester"));
        const ScopedEnvironment config(
            "XDG_CONFIG_HOME", configHome.isEmpty() ? std::nullopt : std::optional(configHome));
        QCOMPARE(XdgAutostartService::standardFolder(),
                 expected.replace(QLatin1Char('~'), QStringLiteral("/home/tester")));
    }

    void appendedEntryStartsProgram_data()
    {
        QTest::addColumn<QString>("program"); // below the fixture's bin folder
        QTest::addColumn<QString>("fileName");
        // GLib looks for the program before it turns "%%" into "%", so it cannot
        // start a program whose path holds a percent sign.
        QTest::addColumn<bool>("glibCanLaunch");
        QTest::newRow("plain") << QStringLiteral("Keyloft") << QStringLiteral("Keyloft.desktop")
                               << true;
        QTest::newRow("space in folder") << QStringLiteral("home of tester/Keyloft")
                                         << QStringLiteral("Keyloft.desktop") << true;
        QTest::newRow("space in name")
            << QStringLiteral("Keyloft Beta") << QStringLiteral("Keyloft_Beta.desktop") << true;
        QTest::newRow("percent sign")
            << QStringLiteral("100%/Keyloft") << QStringLiteral("Keyloft.desktop") << false;
        QTest::newRow("quotes, dollar and backtick")
            << QStringLiteral("a\"b'c$d`e/Keyloft") << QStringLiteral("Keyloft.desktop") << true;
        QTest::newRow("backslash")
            << QStringLiteral("back\\slash/Keyloft") << QStringLiteral("Keyloft.desktop") << true;
        QTest::newRow("shell characters") << QStringLiteral("x;y&z|(w)*?#~<>/Keyloft")
                                          << QStringLiteral("Keyloft.desktop") << true;
        QTest::newRow("non-ASCII")
            << QStringLiteral("Schlüssel/Kéyloft") << QStringLiteral("K_yloft.desktop") << true;
    }

    void appendedEntryStartsProgram()
    {
        QFETCH(QString, program);
        QFETCH(QString, fileName);
        QFETCH(bool, glibCanLaunch);
        AutostartFolder folder;
        QVERIFY(folder.isValid());
        const QString path = folder.makeProgram(program);
        XdgAutostartService service(folder.autostart());

        QCOMPARE(service.appendItem({path, false}), LoginItemsStatus::noErr);

        QCOMPARE(folder.entryFileNames(), QStringList{fileName});
        QList<LoginItem> items;
        QCOMPARE(service.copyItems(&items), LoginItemsStatus::noErr);
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first().path, path);
        QCOMPARE(items.first().hidden, false);

        const std::optional<QString> complaints = folder.validate(fileName);
        if (!complaints) {
            QSKIP("desktop-file-validate is not installed");
        }
        QCOMPARE(*complaints, QString());
        if (!glibCanLaunch) {
            return;
        }
        const std::optional<QString> started = folder.launchWithGio(fileName);
        if (!started) {
            QSKIP("gio is not installed");
        }
        QCOMPARE(*started, path);
    }

    void autostartRunnerStartsEntryUntilRemoved()
    {
        AutostartFolder folder;
        const QString path = folder.makeProgram(QStringLiteral("home of tester/Keyloft"));
        XdgAutostartService service(folder.autostart());
        QCOMPARE(service.appendItem({path, false}), LoginItemsStatus::noErr);
        const std::optional<bool> started = folder.dexWouldStart(path);
        if (!started) {
            QSKIP("dex is not installed");
        }
        QVERIFY(*started);
        QCOMPARE(service.deleteItemAt(0), LoginItemsStatus::noErr);
        QCOMPARE(folder.entryFileNames(), QStringList());
        QCOMPARE(folder.dexWouldStart(path), std::optional<bool>(false));
    }

    void hiddenFlag()
    {
        AutostartFolder folder;
        const QString path = folder.makeProgram(QStringLiteral("Keyloft"));
        folder.writeEntryFor(QStringLiteral("other.desktop"), QStringLiteral("/usr/bin/other"),
                             QDateTime::currentDateTimeUtc().addSecs(-60));
        XdgAutostartService service(folder.autostart());
        QCOMPARE(service.appendItem({path, true}), LoginItemsStatus::noErr);
        QList<LoginItem> items;
        QCOMPARE(service.copyItems(&items), LoginItemsStatus::noErr);
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(0).hidden, false); // carries no flag
        QCOMPARE(items.at(1).hidden, true);
        const std::optional<QString> complaints =
            folder.validate(QStringLiteral("Keyloft.desktop"));
        if (complaints) {
            QCOMPARE(*complaints, QString());
        }
    }

    void programsOfOtherEntries_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("programs"); // empty: not a login item
        const QString sh = QStandardPaths::findExecutable(QStringLiteral("sh"));
        QTest::newRow("arguments and field codes")
            << QByteArray("[Desktop Entry]\nType=Application\nExec=/usr/bin/foo --bar %U\n")
            << QStringList{QStringLiteral("/usr/bin/foo")};
        QTest::newRow("quoted program")
            << QByteArray("[Desktop Entry]\nExec=\"/opt/My App/run\" %f\n")
            << QStringList{QStringLiteral("/opt/My App/run")};
        QTest::newRow("escaped characters in quotes")
            << QByteArray("[Desktop Entry]\nExec=\"/opt/a\\\\\\\\b\\\\$c/run\"\n")
            << QStringList{QStringLiteral("/opt/a\\b$c/run")};
        QTest::newRow("literal percent") << QByteArray("[Desktop Entry]\nExec=/opt/100%%/run\n")
                                         << QStringList{QStringLiteral("/opt/100%/run")};
        QTest::newRow("program looked up in PATH")
            << QByteArray("[Desktop Entry]\nExec=sh -c true\n") << QStringList{sh};
        QTest::newRow("spaces around the equals sign")
            << QByteArray("# comment\n[Desktop Entry]\nName=x\nExec = /usr/bin/x\n")
            << QStringList{QStringLiteral("/usr/bin/x")};
        QTest::newRow("Exec of an action only")
            << QByteArray("[Desktop Entry]\nName=x\n[Desktop Action new]\nExec=/usr/bin/x\n")
            << QStringList{};
        QTest::newRow("override without Exec")
            << QByteArray("[Desktop Entry]\nHidden=true\n") << QStringList{};
        QTest::newRow("not a desktop entry") << QByteArray("Exec=/usr/bin/x\n") << QStringList{};
    }

    void programsOfOtherEntries()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, programs);
        AutostartFolder folder;
        folder.writeEntry(QStringLiteral("entry.desktop"), text);
        folder.writeEntry(QStringLiteral("notes.txt"), "[Desktop Entry]\nExec=/usr/bin/txt\n");
        QCOMPARE(folder.listedPrograms(), programs);
    }

    void newEntryStandsAtTheEnd()
    {
        AutostartFolder folder;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        // Newer than the clock: the new entry must still come after it.
        folder.writeEntryFor(QStringLiteral("aaa.desktop"), QStringLiteral("/usr/bin/aaa"),
                             now.addSecs(3600));
        folder.writeEntryFor(QStringLiteral("zzz.desktop"), QStringLiteral("/usr/bin/zzz"),
                             now.addSecs(-3600));
        folder.writeEntryFor(QStringLiteral("mmm.desktop"), QStringLiteral("/usr/bin/mmm"),
                             now.addSecs(-3600));
        const QString path = folder.makeProgram(QStringLiteral("Keyloft"));
        XdgAutostartService service(folder.autostart());
        const QStringList before = folder.listedPrograms();
        QCOMPARE(before,
                 (QStringList{QStringLiteral("/usr/bin/mmm"), QStringLiteral("/usr/bin/zzz"),
                              QStringLiteral("/usr/bin/aaa")}));

        QCOMPARE(service.appendItem({path, false}), LoginItemsStatus::noErr);
        QCOMPARE(service.appendItem({path, false}), LoginItemsStatus::noErr);

        QCOMPARE(folder.listedPrograms(), (before + QStringList{path, path}));
        QCOMPARE(folder.listedPrograms(), folder.listedPrograms());
        QVERIFY(folder.entryFileNames().contains(QStringLiteral("Keyloft.desktop")));
        QVERIFY(folder.entryFileNames().contains(QStringLiteral("Keyloft-2.desktop")));
    }

    void deleteAtPosition()
    {
        AutostartFolder folder;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        folder.writeEntryFor(QStringLiteral("b.desktop"), QStringLiteral("/usr/bin/first"),
                             now.addSecs(-30));
        folder.writeEntryFor(QStringLiteral("a.desktop"), QStringLiteral("/usr/bin/second"),
                             now.addSecs(-20));
        folder.writeEntryFor(QStringLiteral("c.desktop"), QStringLiteral("/usr/bin/third"),
                             now.addSecs(-10));
        XdgAutostartService service(folder.autostart());
        QCOMPARE(service.deleteItemAt(3), LoginItemsStatus::errAENoSuchObject);
        QCOMPARE(service.deleteItemAt(-1), LoginItemsStatus::errAENoSuchObject);
        QCOMPARE(service.deleteItemAt(1), LoginItemsStatus::noErr);
        QCOMPARE(folder.entryFileNames(),
                 (QStringList{QStringLiteral("b.desktop"), QStringLiteral("c.desktop")}));
    }

    void unusableFolder_data()
    {
        QTest::addColumn<QString>("blocker"); // regular file, relative to the config folder
        QTest::addColumn<QString>("folder");  // autostart folder, likewise
        QTest::addColumn<qint32>("listStatus");
        QTest::newRow("parent is a regular file")
            << QStringLiteral("cfgfile") << QStringLiteral("cfgfile/autostart")
            << LoginItemsStatus::noErr;
        QTest::newRow("folder is a regular file")
            << QStringLiteral("autostart-file") << QStringLiteral("autostart-file")
            << LoginItemsStatus::dirNFErr;
    }

    void unusableFolder()
    {
        QFETCH(QString, blocker);
        QFETCH(QString, folder);
        QFETCH(qint32, listStatus);
        AutostartFolder fixture;
        QFile file(QDir(fixture.configHome()).filePath(blocker));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        XdgAutostartService service(QDir(fixture.configHome()).filePath(folder));

        QVERIFY(!service.isUsable());
        QList<LoginItem> items;
        QCOMPARE(service.copyItems(&items), listStatus);
        QCOMPARE(items.size(), 0);
        QCOMPARE(service.appendItem({fixture.makeProgram(QStringLiteral("Keyloft")), false}),
                 LoginItemsStatus::dirNFErr);
        QCOMPARE(service.deleteItemAt(0), listStatus == LoginItemsStatus::noErr
                                              ? LoginItemsStatus::errAENoSuchObject
                                              : listStatus);
        QCOMPARE(QFileInfo(file.fileName()).size(), 0);
    }

    void missingFolderIsMadeOnUse()
    {
        AutostartFolder fixture;
        const QString folder = fixture.path(QStringLiteral("fresh/config/autostart"));
        XdgAutostartService service(folder);
        QList<LoginItem> items{{QStringLiteral("/stale"), false}};
        QCOMPARE(service.copyItems(&items), LoginItemsStatus::noErr);
        QCOMPARE(items.size(), 0);
        QVERIFY(service.isUsable());
        QVERIFY(QFileInfo(folder).isDir());
    }
};

QTEST_GUILESS_MAIN(TestAutostartService)
#include "tst_autostartservice.moc"
