#include "platform/UserDefaults.h"
#include "platform/UserDefaultsController.h"
#include "settings/NetKeyloft_Preferences.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The preferences over a real settings file in a temporary folder.
class TestPreferences : public QObject {
    Q_OBJECT

private:
    struct Domain {
        std::unique_ptr<UserDefaults> defaults;
        std::unique_ptr<UserDefaultsController> controller;
        std::unique_ptr<NetKeyloft_Preferences> preferences;
    };

    // A fresh process's view of the settings file: new store, controller and preferences.
    Domain openDomain() const
    {
        Domain domain;
        domain.defaults = std::make_unique<UserDefaults>(m_dir.filePath(QStringLiteral("p.conf")));
        domain.controller = std::make_unique<UserDefaultsController>(*domain.defaults);
        domain.preferences = std::make_unique<NetKeyloft_Preferences>(*domain.controller);
        return domain;
    }

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The shared instance lives in the standard settings file: keep it here.
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
    }

    void init() { QFile::remove(m_dir.filePath(QStringLiteral("p.conf"))); }

    void storedValueOverridesDefault()
    {
        {
            Domain domain = openDomain();
            // The registered defaults alone are never written.
            QVERIFY(domain.defaults->synchronize());
            QVERIFY(
                QSettings(domain.defaults->filePath(), QSettings::IniFormat).allKeys().isEmpty());
            NetKeyloft_Preferences& preferences = *domain.preferences;
            preferences.setSortByMenuItem(-7); // out of range, kept as it is
            preferences.setSortAscending(false);
            preferences.setLoadAtStartup(false);
            preferences.setLoadAtStartupSet(true);
            preferences.setLockAfterIdleMinutes(0);
            QVERIFY(domain.defaults->synchronize());
        }
        // Another launch reads the values back from the file, unchanged in type;
        // each differs from its default.
        Domain domain = openDomain();
        const NetKeyloft_Preferences& preferences = *domain.preferences;
        QCOMPARE(preferences.sortByMenuItem(), -7);
        QCOMPARE(preferences.sortAscending(), false);
        QCOMPARE(preferences.loadAtStartup(), false);
        QCOMPARE(preferences.loadAtStartupSet(), true);
        QCOMPARE(preferences.lockAfterIdleMinutes(), 0);
    }

    void observerMayRemoveItselfWhenTold()
    {
        Domain domain = openDomain();
        UserDefaultsController& controller = *domain.controller;
        const QString keyPath = UserDefaultsController::keyPathForKey(NKLPREFS_SortBy_Key);
        int told = 0;
        int otherTold = 0;
        controller.addObserver(this, keyPath, [&](const QString&) {
            ++told;
            controller.removeObserver(this, keyPath);
        });
        const int other = 0;
        controller.addObserver(&other, keyPath, [&](const QString&) { ++otherTold; });
        domain.preferences->setSortByMenuItem(1);
        domain.preferences->setSortByMenuItem(3);
        QCOMPARE(told, 1);
        QCOMPARE(otherTold, 2);
        controller.removeObserver(&other, keyPath);
    }

    void sharedInstanceRegistersOnce()
    {
        NetKeyloft_Preferences& first = NetKeyloft_Preferences::sharedInstance();
        QCOMPARE(first.userDefaults().filePath(),
                 m_dir.filePath(QStringLiteral("config/Keyloft/Keyloft.conf")));
        QCOMPARE(&first.userDefaults(), &UserDefaults::standardUserDefaults());
        QCOMPARE(&first.defaultsController(),
                 &UserDefaultsController::sharedUserDefaultsController());
        QVERIFY(first.userDefaults().value(NKLPREFS_KeychainPath_Key).isValid());

        // A second registration would bring the defaults back.
        first.userDefaults().registerDefaults({});
        first.defaultsController().setInitialValues({});
        NetKeyloft_Preferences& second = NetKeyloft_Preferences::sharedInstance();
        QCOMPARE(&second, &first);
        QVERIFY(!second.userDefaults().value(NKLPREFS_KeychainPath_Key).isValid());
        first.setApplicationDefaults();
    }

    void synchronizeReportsUnwritableFile()
    {
        // The settings file's folder is a regular file, so nothing can be written.
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        UserDefaults defaults(blocker + QStringLiteral("/p.conf"));
        defaults.setBoolForKey(true, NKLPREFS_LoadAtStartup_Key);
        QVERIFY(!defaults.synchronize());
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
