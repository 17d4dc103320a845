// Merging keychain files entry by entry, and the conflict copies sync programs leave.
#include "FileKeychainFixture.h"
#include "ScopedEnvironment.h"

#include "platform/keychain/ConflictCopies.h"
#include "platform/keychain/FileKeychainFile.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sched.h>
#include <unistd.h>

namespace {
const FourCharCode genp = KeychainCodes::genericPasswordClass;

// Two machines' copies of one keychain, on the fixture's clock the test moves.
struct TwoMachines {
    TwoMachines()
    {
        ours = fixture.create(QStringLiteral("secret"), QStringLiteral("ours.keychain"));
        add(*ours, "E", "pw", "notes", 3);
        fixture.writeFileBytes(fixture.fileBytes(QStringLiteral("ours.keychain")),
                               QStringLiteral("theirs.keychain"));
        theirs = fixture.open(QStringLiteral("theirs.keychain"));
        fixture.dialogs.queuePassword(QStringLiteral("secret"));
        searchAll(*theirs, {});
    }

    static void add(Keychain& keychain, const QByteArray& service, const QByteArray& password,
                    const QByteArray& notes, int uses)
    {
        KeychainAttributeList attributes = itemAttributes("label " + service, "user", service);
        attributes.push_back({KeychainCodes::comment, notes});
        attributes.push_back(
            {KeychainCodes::generic, service + "<<NKL>>1<<NKL>>" + QByteArray::number(uses)});
        QCOMPARE(keychain.itemCreateFromContent(genp, attributes, secretOf(password)),
                 errSecSuccess);
    }

    // Applies what one machine did to the entry E: "change", "delete", "add" or nothing.
    void apply(Keychain& keychain, const QString& change, const QByteArray& side)
    {
        const auto found = searchAll(keychain, {{KeychainCodes::service, "E"}});
        if (change == QLatin1String("change")) {
            const KeychainAttributeList attributes{
                {KeychainCodes::comment, "notes of " + side},
                {KeychainCodes::generic,
                 side == "ours" ? "E<<NKL>>1<<NKL>>5" : "E<<NKL>>1<<NKL>>9"}};
            const SecretBytes secret = secretOf(side);
            QCOMPARE(keychain.itemModifyAttributesAndData(*found.at(0), attributes, &secret),
                     errSecSuccess);
        } else if (change == QLatin1String("delete")) {
            QCOMPARE(keychain.itemDelete(*found.at(0)), errSecSuccess);
        } else if (change == QLatin1String("add")) {
            add(keychain, "new " + side, side, "", 1);
        }
    }

    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> ours;
    std::unique_ptr<Keychain> theirs;
};

// The password, notes and use count of the entry with service, or nothing.
QByteArrayList entry(Keychain& keychain, const QByteArray& service)
{
    const auto found = searchAll(keychain, {{KeychainCodes::service, service}});
    if (found.empty()) {
        return {};
    }
    KeychainAttributeList attributes;
    SecretBytes secret;
    keychain.itemCopyContent(*found.front(), {KeychainCodes::comment, KeychainCodes::generic},
                             &attributes, &secret);
    return {QByteArray(secret.data(), qsizetype(secret.size())), attributes[0].data,
            attributes[1].data.split('>').last()};
}
// Whether process waits for a file lock: the system lists its request with an arrow.
bool waitsForALock(pid_t process)
{
    const QByteArray pid = QByteArray::number(process);
    for (const QByteArray& line : fileBytes(QStringLiteral("/proc/locks")).split('\n')) {
        if (line.contains("->") && line.simplified().split(' ').contains(pid)) {
            return true;
        }
    }
    return false;
}
} // namespace

class TestFileKeychainMerge : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mergeRules_data();
    void mergeRules();
    void conflictCopiesAreMergedAndTrashed();
    void killedMergeLeavesKeychainAndCopy();
};

void TestFileKeychainMerge::mergeRules_data()
{
    QTest::addColumn<QString>("ourChange");
    QTest::addColumn<QString>("theirChange");
    // Minutes after the start at which their change happens; ours is at minute 2.
    QTest::addColumn<int>("theirMinute");
    // The entry E after the merge: password, notes, use count; empty: gone.
    QTest::addColumn<QByteArrayList>("expected");
    QTest::addColumn<QList<int>>("summary"); // added, changed, deleted

    const QByteArrayList unchanged{"pw", "notes", "3"};
    QTest::newRow("add/add") << "add"
                             << "add" << 1 << unchanged << QList<int>{1, 0, 0};
    QTest::newRow("change/change, theirs later")
        << "change"
        << "change" << 3
        << QByteArrayList{"theirs",
                          "notes of theirs\n\nChanged on another machine on 2026-01-01 12:02 UTC: "
                          "password “ours”, notes “notes of ours”",
                          "9"}
        << QList<int>{0, 1, 0};
    QTest::newRow("change/change, ours later")
        << "change"
        << "change" << 1
        << QByteArrayList{"ours",
                          "notes of ours\n\nChanged on another machine on 2026-01-01 12:01 UTC: "
                          "password “theirs”, notes “notes of theirs”",
                          "9"}
        << QList<int>{0, 1, 0};
    QTest::newRow("delete, then changed there")
        << "delete"
        << "change" << 3 << QByteArrayList{"theirs", "notes of theirs", "9"} << QList<int>{1, 0, 0};
    QTest::newRow("changed there, then delete")
        << "delete"
        << "change" << 1 << QByteArrayList{} << QList<int>{0, 0, 0};
    QTest::newRow("change, then deleted there")
        << "change"
        << "delete" << 3 << QByteArrayList{} << QList<int>{0, 0, 1};
    QTest::newRow("deleted there, then change")
        << "change"
        << "delete" << 1 << QByteArrayList{"ours", "notes of ours", "5"} << QList<int>{0, 0, 0};
    QTest::newRow("delete/delete") << "delete"
                                   << "delete" << 3 << QByteArrayList{} << QList<int>{0, 0, 0};
    QTest::newRow("equal entries") << ""
                                   << "" << 1 << unchanged << QList<int>{0, 0, 0};
    // A record of a deletion goes at the first write a year later; an old copy then
    // brings the entry back.
    QTest::newRow("deletion forgotten after a year") << "delete"
                                                     << "" << 1 << unchanged << QList<int>{1, 0, 0};
}

void TestFileKeychainMerge::mergeRules()
{
    QFETCH(QString, ourChange);
    QFETCH(QString, theirChange);
    QFETCH(int, theirMinute);
    QFETCH(QByteArrayList, expected);
    QFETCH(QList<int>, summary);
    TwoMachines machines;
    const QDateTime start = machines.fixture.clock.nowUtc();
    machines.fixture.clock.set(start.addSecs(theirMinute * 60));
    machines.apply(*machines.theirs, theirChange, "theirs");
    machines.fixture.clock.set(start.addSecs(2 * 60));
    machines.apply(*machines.ours, ourChange, "ours");
    if (QByteArray(QTest::currentDataTag()).startsWith("deletion forgotten")) {
        machines.fixture.clock.set(start.addDays(366));
        TwoMachines::add(*machines.ours, "later", "pw", "", 1);
    }

    KeychainMergeSummary merged;
    QCOMPARE(machines.ours->mergeKeychainFile(
                 machines.fixture.path(QStringLiteral("theirs.keychain")), false, merged),
             errSecSuccess);
    QCOMPARE((QList<int>{merged.added, merged.changed, merged.deleted}), summary);
    QCOMPARE(entry(*machines.ours, "E"), expected);
    // Each side's own additions are kept, and merging again changes nothing.
    QCOMPARE(entry(*machines.ours, "new theirs").isEmpty(), theirChange != QLatin1String("add"));
    QCOMPARE(entry(*machines.ours, "new ours").isEmpty(), ourChange != QLatin1String("add"));
    QCOMPARE(machines.ours->mergeKeychainFile(
                 machines.fixture.path(QStringLiteral("theirs.keychain")), false, merged),
             errSecSuccess);
    QVERIFY(merged.isEmpty());
}

void TestFileKeychainMerge::conflictCopiesAreMergedAndTrashed()
{
    TwoMachines machines;
    FileKeychainFixture& fixture = machines.fixture;
    const ScopedEnvironment dataHome("XDG_DATA_HOME",
                                     QFile::encodeName(fixture.path(QStringLiteral("data"))));
    QVERIFY(QDir().mkpath(fixture.path(QStringLiteral("data"))));
    const QByteArray original = fixture.fileBytes(QStringLiteral("ours.keychain"));
    const QStringList copies{QStringLiteral("ours.sync-conflict-20261207-101500-ABCDEF7.keychain"),
                             QStringLiteral("ours (conflicted copy 2026-12-07 101500).keychain"),
                             QStringLiteral("ours (laptop's conflicted copy 2026-12-07).keychain")};
    for (const QString& name : copies) {
        fixture.writeFileBytes(original, name);
        fixture.dialogs.queuePassword(QStringLiteral("secret"));
        TwoMachines::add(*fixture.open(name), name.toUtf8(), "pw", "", 1);
    }
    // A copy under another password, and files that only look like copies.
    fixture.create(QStringLiteral("other"),
                   QStringLiteral("ours.sync-conflict-20261207-101501-ZZZZZZZ.keychain"));
    const QStringList others{QStringLiteral("ours.sync-conflict-2026-x.keychain"),
                             QStringLiteral("theirs (conflicted copy 2026-12-07 101500).keychain"),
                             QStringLiteral("ours (conflicted copy 2026-12-07 101500).txt")};
    for (const QString& name : others) {
        fixture.writeFileBytes(QByteArrayLiteral("not read"), name);
    }

    const int prompts = fixture.dialogs.passwordPrompts();
    ConflictCopyMerger merger;
    const ConflictCopyReport report = merger.mergeConflictCopies(*machines.ours);
    QCOMPARE(report.status, errSecSuccess);
    QCOMPARE(report.copiesMerged, 3);
    QCOMPARE(report.merged.added, 3);
    QCOMPARE(report.unreadable, QStringList{fixture.path(QStringLiteral(
                                    "ours.sync-conflict-20261207-101501-ZZZZZZZ.keychain"))});
    for (const QString& name : copies) {
        QVERIFY(!entry(*machines.ours, name.toUtf8()).isEmpty());
        QVERIFY(!QFile::exists(fixture.path(name)));
        QVERIFY(QFile::exists(fixture.path(QStringLiteral("data/Trash/files/") + name)));
        QVERIFY(QFile::exists(fixture.path(QStringLiteral("data/Trash/info/") + name +
                                           QStringLiteral(".trashinfo"))));
    }
    // The copy that does not open is left where it is, and named only once.
    QCOMPARE(ConflictCopyMerger::conflictCopies(fixture.path(QStringLiteral("ours.keychain"))),
             QStringList{QStringLiteral("ours.sync-conflict-20261207-101501-ZZZZZZZ.keychain")});
    QVERIFY(merger.mergeConflictCopies(*machines.ours).unreadable.isEmpty());
    QCOMPARE(fixture.dialogs.passwordPrompts(), prompts);
    for (const QString& name : others) {
        QCOMPARE(fixture.fileBytes(name), QByteArray("not read"));
    }
}

void TestFileKeychainMerge::killedMergeLeavesKeychainAndCopy()
{
    TwoMachines machines;
    FileKeychainFixture& fixture = machines.fixture;
    TwoMachines::add(*machines.theirs, "copied", "pw", "", 1);
    const QString copy =
        fixture.path(QStringLiteral("ours.sync-conflict-20261207-101500-ABCDEF7.keychain"));
    QVERIFY(QFile::rename(fixture.path(QStringLiteral("theirs.keychain")), copy));
    const QByteArray keychainBefore = fixture.fileBytes(QStringLiteral("ours.keychain"));
    const QByteArray copyBefore = fixture.fileBytes(copy);
    // Another process holds the keychain's lock; a merging process reads both files and
    // waits for the lock, and is killed there.
    std::unique_ptr<FileKeychainFile::Lock> lock; // the child's copy holds it till its end
    const pid_t holder = forkAndPause([&] {
        FileKeychainFile::Lock::acquire(fixture.path(QStringLiteral("ours.keychain")), lock);
    });
    QVERIFY(holder > 0);
    const pid_t merger = ::fork();
    QVERIFY(merger >= 0);
    if (merger == 0) {
        ConflictCopyMerger().mergeConflictCopies(*machines.ours);
        ::_exit(0);
    }
    // The merging process is killed while it waits for the lock, its merge in memory.
    while (!waitsForALock(merger)) {
        ::sched_yield();
    }
    QVERIFY(killChild(merger));
    QVERIFY(killChild(holder));

    QCOMPARE(fixture.fileBytes(QStringLiteral("ours.keychain")), keychainBefore);
    QCOMPARE(fixture.fileBytes(copy), copyBefore);
    // The next look merges the copy.
    const ScopedEnvironment dataHome("XDG_DATA_HOME",
                                     QFile::encodeName(fixture.path(QStringLiteral("data"))));
    QCOMPARE(ConflictCopyMerger().mergeConflictCopies(*machines.ours).merged.added, 1);
    QVERIFY(!entry(*machines.ours, "copied").isEmpty());
    QVERIFY(!QFile::exists(copy));
}

QTEST_GUILESS_MAIN(TestFileKeychainMerge)
#include "tst_filekeychainmerge.moc"
