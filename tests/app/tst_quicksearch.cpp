// The search box: which entries a query finds and in which order, kept in step with
// the item list, and its keys, on the real application over a keychain file.

#include "AppFixture.h"

#include "app/ApplicationBus.h"
#include "app/QuickSearchBox.h"
#include "editor/NetKeyloft_EditController.h"
#include "editor/NetKeyloft_EditWindowController.h"
#include "store/ItemSearchIndex.h"

#include <QLineEdit>
#include <QTest>

namespace {

// Label, user name and use count of each entry.
struct Entry {
    QString label;
    QString userName;
    int uses;
};
const Entry entries[] = {
    {QStringLiteral("Mail"), QStringLiteral("ann@post.example"), 5},
    {QStringLiteral("\u00c9mile's bank"), QStringLiteral("emile"), 1},
    {QStringLiteral("Bank of Spain"), QStringLiteral("ana"), 3},
    {QStringLiteral("Online banking"), QStringLiteral("bob"), 9},
    {QStringLiteral("MAILBOX"), QString(), 2},
};

// Launches the application over the entries above, each with a password, listed in the
// order of creation: an entry's row is its place above.
void launchWithEntries(AppFixture& app)
{
    QStringList labels;
    for (const Entry& entry : entries) {
        labels << entry.label;
    }
    app.createKeychain(labels);
    app.preferences().setSortByMenuItem(0);
    QVERIFY(app.launch());
    NetKeyloft_KeychainController& list = app.list();
    for (unsigned row = 0; row < std::size(entries); ++row) {
        const Entry& entry = entries[row];
        QVERIFY(list.setFieldsForKeychainItemAtIndex(
            {entry.userName, QStringLiteral("pw of ") + entry.label, std::nullopt}, row));
        const ItemPtr item = list.keychainItemAtIndex(int(row));
        while (item->countUsed() < entry.uses) {
            QVERIFY(list.addOneToCountUsedForItem(item.get()));
        }
    }
}

QStringList labelsOf(const std::vector<ItemPtr>& items)
{
    QStringList result;
    for (const ItemPtr& item : items) {
        result << item->label();
    }
    return result;
}

} // namespace

class TestQuickSearch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void findsAndRanks_data();
    void findsAndRanks();
    void keysCopyAndEdit();
};

void TestQuickSearch::findsAndRanks_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("found");
    // found: the labels found, in order, joined by "|".
    const auto row = [](const char* name, const char* change, const QString& query,
                        const char* found) {
        QTest::newRow(name) << QString::fromUtf8(change) << query
                            << QString::fromUtf8(found).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    };
    row("empty query: every entry, most used first", "", QString(),
        "Online banking|Mail|Bank of Spain|MAILBOX|\u00c9mile's bank");
    row("label prefix first, then by uses", "", QStringLiteral("bank"),
        "Bank of Spain|Online banking|\u00c9mile's bank");
    row("user name prefix counts as prefix", "", QStringLiteral("an"),
        "Mail|Bank of Spain|Online banking|\u00c9mile's bank");
    row("letter case ignored", "", QStringLiteral("mAIL"), "Mail|MAILBOX");
    row("accent of the label ignored", "", QStringLiteral("emil"), "\u00c9mile's bank");
    row("accent of the query ignored", "", QStringLiteral("\u00e9MI"), "\u00c9mile's bank");
    row("decomposed accent in the query", "", QStringLiteral("E\u0301mile"), "\u00c9mile's bank");
    row("user name only, surrounding spaces ignored", "", QStringLiteral("  bob "),
        "Online banking");
    row("no match", "", QStringLiteral("zzz"), "");
    row("renamed entry found by its new label", "rename", QStringLiteral("post"), "Postbox|Mail");
    row("new entry found", "add", QStringLiteral("untit"), "Untitled");
    row("removed entry gone", "remove", QStringLiteral("mail"), "MAILBOX");
}

void TestQuickSearch::findsAndRanks()
{
    QFETCH(QString, change);
    QFETCH(QString, query);
    QFETCH(QStringList, found);
    AppFixture app;
    launchWithEntries(app);
    NetKeyloft_KeychainController& list = app.list();
    if (change == QLatin1String("rename")) {
        QVERIFY(list.renameKeyChainItemAtIndexWithLabel(4, QStringLiteral("Postbox")));
    } else if (change == QLatin1String("add")) {
        QVERIFY(list.newKeyChainItemWithLabel(QStringLiteral("Untitled")));
    } else if (change == QLatin1String("remove")) {
        QVERIFY(list.deleteKeychainItem(list.keychainItemAtIndex(0).get()));
    }
    // A sort reorders the list; the index does not depend on its order.
    app.list().sortKeychainItems(SortKey::Label, false);
    QCOMPARE(labelsOf(app.controller().searchIndex()->matches(query, 10)), found);
}

void TestQuickSearch::keysCopyAndEdit()
{
    AppFixture app;
    launchWithEntries(app);
    NetKeyloft_StatusMenuController& controller = app.controller();
    // Through the running program's bus command, as `Keyloft --find` sends it.
    ApplicationBus bus;
    bus.setController(&controller);
    bus.Find();
    QTRY_VERIFY(controller.quickSearchBox() && controller.quickSearchBox()->isVisible());
    QuickSearchBox& box = *controller.quickSearchBox();
    auto* field = box.findChild<QLineEdit*>(QStringLiteral("searchField"));

    QTest::keyClicks(field, QStringLiteral("mail"));
    QCOMPARE(labelsOf(box.shown()),
             (QStringList{QStringLiteral("Mail"), QStringLiteral("MAILBOX")}));
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(app.clipboard().text(), QStringLiteral("pw of MAILBOX"));
    QVERIFY(!box.isVisible());
    QCOMPARE(box.shown()[1]->countUsed(), 3);

    controller.findAction();
    QTest::keyClicks(field, QStringLiteral("ma"));
    QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(app.clipboard().text(), QStringLiteral("ann@post.example"));

    controller.findAction();
    QTest::keyClicks(field, QStringLiteral("zzz"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(app.clipboard().text(), QStringLiteral("ann@post.example"));

    controller.findAction();
    QTest::keyClicks(field, QStringLiteral("spain"));
    QTest::keyClick(field, Qt::Key_E, Qt::ControlModifier);
    QVERIFY(!box.isVisible());
    QVERIFY(controller.editWindowController()->window()->isVisible());
    const int selected = controller.editWindowController()->controller()->selectedRow();
    QCOMPARE(app.list().labelInKeychainItemsAtIndex(unsigned(selected)),
             QStringLiteral("Bank of Spain"));

    controller.findAction();
    QVERIFY(box.isVisible());
    QTest::keyClick(field, Qt::Key_Escape);
    QVERIFY(!box.isVisible());
    bus.setController(nullptr);
}

QTEST_MAIN(TestQuickSearch)
#include "tst_quicksearch.moc"
