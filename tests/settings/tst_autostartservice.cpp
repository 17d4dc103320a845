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
        // The runners that start it: GLib looks for the program before it turns "%%"
        // into "%", so it cannot start a program whose path holds a percent sign; dex
        // reads neither escaped quotes nor backslashes nor "%%".
        QTest::addColumn<QString>("runners");
        QTest::newRow("plain") << QStringLiteral("Keyloft") << QStringLiteral("Keyloft.desktop")
                               << QStringLiteral("gio dex");
        QTest::newRow("space in folder")
            << QStringLiteral("home of tester/Keyloft") << QStringLiteral("Keyloft.desktop")
            << QStringLiteral("gio dex");
        QTest::newRow("space in name")
            << QStringLiteral("Keyloft Beta") << QStringLiteral("Keyloft_Beta.desktop")
            << QStringLiteral("gio dex");
        QTest::newRow("percent sign")
            << QStringLiteral("100%/Keyloft") << QStringLiteral("Keyloft.desktop") << QString();
        QTest::newRow("quotes, dollar and backtick")
            << QStringLiteral("a\"b'c$d`e/Keyloft") << QStringLiteral("Keyloft.desktop")
            << QStringLiteral("gio");
        QTest::newRow("backslash") << QStringLiteral("back\\slash/Keyloft")
                                   << QStringLiteral("Keyloft.desktop") << QStringLiteral("gio");
        QTest::newRow("shell characters")
            << QStringLiteral("x;y&z|(w)*?#~<>/Keyloft") << QStringLiteral("Keyloft.desktop")
            << QStringLiteral("gio dex");
        QTest::newRow("non-ASCII")
            << QStringLiteral("Schlüssel/Kéyloft") << QStringLiteral("K_yloft.desktop")
            << QStringLiteral("gio dex");
    }

    void appendedEntryStartsProgram()
    {
        QFETCH(QString, program);
        QFETCH(QString, fileName);
        QFETCH(QString, runners);
        AutostartFolder folder;
        const QString path = folder.makeProgram(program);
        XdgAutostartService service(folder.autostart());

        QCOMPARE(service.appendItem({path, false}), LoginItemsStatus::noErr);

        QCOMPARE(folder.entryFileNames(), QStringList{fileName});
        QCOMPARE(folder.listedPrograms(), QStringList{path});
        const std::optional<QString> complaints = folder.validate(fileName);
        const std::optional<bool> dexStarts = folder.dexWouldStart(path);
        if (!complaints || !dexStarts) {
            QSKIP("desktop-file-validate or dex is not installed");
        }
        QCOMPARE(*complaints, QString());
        if (runners.contains(QStringLiteral("dex"))) {
            QVERIFY(*dexStarts);
        }
        if (runners.contains(QStringLiteral("gio"))) {
            const std::optional<QString> started = folder.launchWithGio(fileName);
            if (!started) {
                QSKIP("gio is not installed");
            }
            QCOMPARE(*started, path);
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

    void newEntryStandsAtTheEndAndDeletesByPosition()
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
        QVERIFY(folder.entryFileNames().contains(QStringLiteral("Keyloft-2.desktop")));

        QCOMPARE(service.deleteItemAt(5), LoginItemsStatus::errAENoSuchObject);
        QCOMPARE(service.deleteItemAt(-1), LoginItemsStatus::errAENoSuchObject);
        QCOMPARE(service.deleteItemAt(1), LoginItemsStatus::noErr);
        QCOMPARE(folder.listedPrograms(),
                 (QStringList{QStringLiteral("/usr/bin/mmm"), QStringLiteral("/usr/bin/aaa"), path,
                              path}));
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
};

QTEST_GUILESS_MAIN(TestAutostartService)
#include "tst_autostartservice.moc"
