// The edit window as the tray menu opens and closes it, what it saves when the user
// leaves it, sorting from its table header and changes made by other processes, on the
// offscreen platform over a real keychain file.

#include "CliRunner.h"
#include "EditWindowFixture.h"
#include "ScopedEnvironment.h"

#include "app/NetKeyloft_StatusMenuController.h"
#include "editor/ContinuousSpellChecking.h"
#include "editor/NetKeyloft_TableHeaderview.h"
#include "platform/FloatingWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {

// Runs the real keyloft-cli on a keychain file with the arguments, separated by spaces,
// as another process changing it while the application runs.
int cliOn(const QString& keychain, const QString& arguments, const QByteArray& input = {})
{
    const QStringList options{QStringLiteral("--keychain"), keychain,
                              QStringLiteral("--password-fd"), QStringLiteral("3")};
    return CliRunner()
        .run(options + arguments.split(QLatin1Char(' ')), input, AppFixture::password.toUtf8())
        .exitCode;
}

} // namespace

class TestEditWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void trayCommandsOpenTheWindow();
    void leavingStoresTypedText();
    void frameIsKeptBetweenRuns();
    void headerSortsTheTable();
    void changesMadeElsewhereReachTableAndMenu();
    void entryChangedElsewhereWhileEdited_data();
    void entryChangedElsewhereWhileEdited();
};

void TestEditWindow::trayCommandsOpenTheWindow()
{
    EditWindowFixture edit("Mail,Shop");
    QVERIFY(edit.app.list().setUserNameForKeychainItemAtIndex(QStringLiteral("shopper"), 1));
    NetKeyloft_StatusMenuController& tray = edit.app.controller();
    QWidget& window = edit.window();
    QVERIFY(window.isVisible());
    QVERIFY(isContinuousSpellCheckingEnabled(*edit.notesEditor()));
    QCOMPARE(tray.showEditWindowMenuItem()->text(), QStringLiteral("Close edit window"));

    tray.showEditWindowMenuItem()->trigger();
    QVERIFY(!window.isVisible());
    QCOMPARE(tray.showEditWindowMenuItem()->text(), QStringLiteral("Show edit window"));

    // The window is made once; the spelling preference takes effect when it next opens.
    const QString spelling = QStringLiteral("NKLPREFS_UseSpellChecker_Key");
    edit.app.defaults().setBoolForKey(false, spelling);
    tray.showEditWindowMenuItem()->trigger();
    QVERIFY(window.isVisible());
    // The same window and controller, shown again.
    QCOMPARE(&edit.window(), &window);
    QCOMPARE(tray.showEditWindowMenuItem()->text(), QStringLiteral("Close edit window"));
    QVERIFY(!isContinuousSpellCheckingEnabled(*edit.notesEditor()));
    QVERIFY(!isContinuousSpellCheckingEnabled(*edit.shownNotes()));

    // An entry's edit command opens the window, editing the entry.
    window.close();
    edit.app.defaults().setBoolForKey(true, spelling);
    actionTitled(tray.menu(), QStringLiteral("Shop"))->menu()->actions().at(2)->trigger();
    QVERIFY(window.isVisible());
    QVERIFY(isContinuousSpellCheckingEnabled(*edit.notesEditor()));
    QVERIFY(isContinuousSpellCheckingEnabled(*edit.shownNotes()));
    QVERIFY(edit.editor().isInEditMode());
    QCOMPARE(edit.editor().selectedRow(), 1);
    QCOMPARE(edit.userNameField()->text(), QStringLiteral("shopper"));

    // New Password saves the typed text first.
    edit.userNameField()->setText(QStringLiteral("typed before"));
    actionTitled(tray.menu(), QStringLiteral("New Password"))->trigger();
    QCOMPARE(edit.rows(), labels("Mail,Shop,Untitled"));
    QCOMPARE(edit.editor().selectedRow(), 2);
    QVERIFY(edit.editor().tableIsBeingEdited());
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(1)->userName(),
             QStringLiteral("typed before"));

    // So does the edit window's preferences button, which closes the window and opens
    // the preferences window.
    edit.editor().editItemAtIndex(0);
    edit.userNameField()->setText(QStringLiteral("saved first"));
    QTest::mouseClick(edit.control<QToolButton>("preferencesButton"), Qt::LeftButton);
    QVERIFY(!window.isVisible());
    QVERIFY(tray.prefsWindowController());
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->userName(),
             QStringLiteral("saved first"));
}

void TestEditWindow::leavingStoresTypedText()
{
    EditWindowFixture edit("Mail");
    edit.window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&edit.window()));
    edit.clickRow(0);
    // In view mode the notes editor saves nothing when it loses the focus.
    const QString before = edit.app.list().keychainItemAtIndex(0)->comments();
    edit.typeNotes(QStringLiteral("typed in view mode"));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit.notesEditor(), &out);
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->comments(), before);

    // In edit mode it saves the notes alone, staying in edit mode.
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    edit.notesEditor()->setFocus();
    QTRY_VERIFY(edit.notesEditor()->hasFocus());
    edit.notesEditor()->selectAll();
    QTest::keyClicks(edit.notesEditor(), QStringLiteral("door code 42"));
    edit.userNameField()->setFocus();
    QTRY_VERIFY(edit.userNameField()->hasFocus());
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->comments(),
             QStringLiteral("door code 42"));
    QVERIFY(edit.editor().isInEditMode());

    // The user turns to another window: everything typed is saved.
    edit.userNameField()->setText(QStringLiteral("anna"));
    edit.passwordField()->setText(QStringLiteral("first"));
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&edit.window(), &deactivate);
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->userName(), QStringLiteral("anna"));
    QCOMPARE(edit.reopenedList()->passwordForKeychainItemAtIndex(0), QStringLiteral("first"));

    edit.passwordField()->setText(QStringLiteral("second"));
    edit.typeNotes(QStringLiteral("notes at close"));
    edit.window().close();
    const auto stored = edit.reopenedList();
    QCOMPARE(stored->passwordForKeychainItemAtIndex(0), QStringLiteral("second"));
    QCOMPARE(stored->keychainItemAtIndex(0)->comments(), QStringLiteral("notes at close"));
    QCOMPARE(edit.app.controller().showEditWindowMenuItem()->text(),
             QStringLiteral("Show edit window"));

    // Quitting saves before the application ends.
    edit.editor().editItemAtIndex(0);
    edit.userNameField()->setText(QStringLiteral("at quit"));
    actionTitled(edit.app.controller().menu(), QStringLiteral("Quit Keyloft"))->trigger();
    QVERIFY(!edit.window().isVisible());
    QCOMPARE(edit.app.exitCodes, QList<int>{0});
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->userName(), QStringLiteral("at quit"));
}

void TestEditWindow::frameIsKeptBetweenRuns()
{
    EditWindowFixture edit("Mail");
    const QString key = QStringLiteral("NKL_EDIT_WINDOW_FRAME");
    const QRect frame(40, 50, 700, 480);
    edit.window().move(frame.topLeft());
    edit.window().resize(frame.size());
    edit.window().close();
    QCOMPARE(WindowFrameAutosave::frameFromString(edit.app.defaults().stringForKey(key)), frame);

    // The next run opens the window where the user left it.
    QVERIFY(edit.app.launch());
    edit.app.controller().openEditWindow();
    QCOMPARE(edit.window().pos(), frame.topLeft());
    QCOMPARE(edit.window().size(), frame.size());

    // Text that is not a frame, or a frame off every screen, is ignored.
    for (const char* text : {"1 2 3", "1 2 0 4", "a b c d"}) {
        QCOMPARE(WindowFrameAutosave::frameFromString(QString::fromLatin1(text)), QRect());
    }
    edit.app.defaults().setValue(key, QStringLiteral("90000 90000 600 400"));
    WindowFrameAutosave probe(edit.window(), edit.app.defaults(), key);
    QVERIFY(!probe.restore());
}

void TestEditWindow::headerSortsTheTable()
{
    EditWindowFixture edit("b,c,a");
    NetKeyloft_EditController& editor = edit.editor();
    auto* header = static_cast<NetKeyloft_TableHeaderview*>(edit.table()->horizontalHeader());
    const QMenu* headerMenu = editor.tableHeaderMenu();
    QCOMPARE(checkedTitles(headerMenu), QStringList{QStringLiteral("Creation Order")});
    // Pending edits are saved before the menu shows.
    editor.editItemAtIndex(1);
    edit.userNameField()->setText(QStringLiteral("cee"));
    QMenu* menu = header->menuForEvent();
    QCOMPARE(menu, headerMenu);
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(1)->userName(), QStringLiteral("cee"));

    menu->actions().at(1)->trigger();
    QCOMPARE(edit.rows(), labels("a,b,c"));
    QCOMPARE(edit.app.preferences().sortByMenuItem(), 1);
    QCOMPARE(checkedTitles(headerMenu), QStringList{QStringLiteral("Name")});
    QCOMPARE(editor.selectedRow(), 2);
    QCOMPARE(edit.userNameField()->text(), QStringLiteral("cee"));
    // The current key again keeps the mark where it is.
    menu->actions().at(1)->trigger();
    QCOMPARE(checkedTitles(headerMenu), QStringList{QStringLiteral("Name")});

    // A click reverses the order; the selected entry stays selected at its new place.
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    QCOMPARE(edit.rows(), labels("c,b,a"));
    QVERIFY(!edit.app.preferences().sortAscending());
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(editor.selectedRow(), 0);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    QVERIFY(edit.app.preferences().sortAscending());
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(editor.selectedRow(), 2);

    // With no selection, the entry first before sorting ends up selected.
    edit.table()->selectionModel()->clear();
    menu->actions().at(0)->trigger();
    QCOMPARE(edit.rows(), labels("b,c,a"));
    QCOMPARE(editor.selectedRow(), 2);

    // A sort chosen in the tray menu moves the header's mark.
    actionTitled(edit.app.controller().sortMenu(), QStringLiteral("Date created"))->trigger();
    QCOMPARE(checkedTitles(headerMenu), QStringList{QStringLiteral("Date Created")});
}

// Changes made by another process: the table and the tray menu show them, and the
// selection stays on its entry.
void TestEditWindow::changesMadeElsewhereReachTableAndMenu()
{
    EditWindowFixture edit("b,c,a");
    QSignalSpy resets(edit.table()->model(), &QAbstractItemModel::modelReset);
    edit.clickRow(1);
    QCOMPARE(cliOn(edit.app.keychainPath(), QStringLiteral("add Fresh"), "pw"), 0);
    QTRY_COMPARE(edit.rows(), labels("b,c,a,Fresh"));
    QCOMPARE(edit.trayEntries(), edit.rows());
    QCOMPARE(cliOn(edit.app.keychainPath(), QStringLiteral("edit c --user cee")), 0);
    QTRY_COMPARE(edit.shownUserName()->text(), QStringLiteral("cee"));
    QCOMPARE(cliOn(edit.app.keychainPath(), QStringLiteral("rm --yes b")), 0);
    QTRY_COMPARE(edit.rows(), labels("c,a,Fresh"));
    QCOMPARE(edit.trayEntries(), edit.rows());
    QCOMPARE(edit.editor().selectedRow(), 0);

    // A sync program's conflict copy that appears beside the keychain is merged into it
    // and goes to the trash; the user is told what came in.
    const ScopedEnvironment dataHome(
        "XDG_DATA_HOME", QFile::encodeName(edit.app.folder().filePath(QStringLiteral("data"))));
    const QFileInfo keychain(edit.app.keychainPath());
    const QString copy = edit.app.folder().filePath(QStringLiteral("elsewhere.keychain"));
    QVERIFY(QFile::copy(keychain.filePath(), copy));
    QCOMPARE(cliOn(copy, QStringLiteral("add Other"), "pw"), 0);
    const QString conflict = keychain.dir().filePath(
        keychain.completeBaseName() + QStringLiteral(".sync-conflict-20261207-050042-ABCDEFG.") +
        keychain.suffix());
    QVERIFY(QFile::rename(copy, conflict));
    QTRY_VERIFY(edit.rows().contains(QStringLiteral("Other")));
    QCOMPARE(edit.trayEntries(), edit.rows());
    QVERIFY(!QFile::exists(conflict));
    QCOMPARE(edit.app.dialogs().alerts().back().message,
             QStringLiteral("1 entry added from a copy made by the sync program."));
    QCOMPARE(resets.count(), 0);
}

void TestEditWindow::entryChangedElsewhereWhileEdited_data()
{
    QTest::addColumn<QString>("elsewhere");
    QTest::addColumn<int>("answer");
    // The user name stored in the end; none when no entry is left.
    QTest::addColumn<QString>("stored");
    const QString changed = QStringLiteral("edit Mail --user theirs");
    const QString deleted = QStringLiteral("rm --yes Mail");
    QTest::newRow("changed, mine saved") << changed << 0 << "mine";
    QTest::newRow("changed, newer kept") << changed << 1 << "theirs";
    QTest::newRow("deleted, saved anew") << deleted << 0 << "mine";
    QTest::newRow("deleted, discarded") << deleted << 1 << QString();
}

void TestEditWindow::entryChangedElsewhereWhileEdited()
{
    QFETCH(QString, elsewhere);
    QFETCH(int, answer);
    QFETCH(QString, stored);
    const bool changed = elsewhere.startsWith(QStringLiteral("edit"));
    EditWindowFixture edit("Mail");
    edit.editor().editItemAtIndex(0);
    edit.userNameField()->selectAll();
    QTest::keyClicks(edit.userNameField(), QStringLiteral("mine"));
    edit.app.dialogs().queueAlertAnswer(answer);
    QCOMPARE(cliOn(edit.app.keychainPath(), elsewhere), 0);
    if (changed) {
        // The newer value is shown; the typed text stays until the user saves it.
        QTRY_COMPARE(edit.shownUserName()->text(), QStringLiteral("theirs"));
        QCOMPARE(edit.userNameField()->text(), QStringLiteral("mine"));
        QVERIFY(edit.app.dialogs().alerts().empty());
        QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    }
    QTRY_COMPARE(
        edit.app.dialogs().alertMessages(),
        QStringList{QStringLiteral("Mail was %1 elsewhere while you edited it.")
                        .arg(changed ? QStringLiteral("changed") : QStringLiteral("deleted"))});
    const auto list = edit.reopenedList();
    QCOMPARE(list->countOfKeychainItems(), stored.isEmpty() ? 0u : 1u);
    QCOMPARE(edit.rows().size(), int(list->countOfKeychainItems()));
    if (!stored.isEmpty()) {
        QCOMPARE(list->keychainItemAtIndex(0)->userName(), stored);
        QCOMPARE(edit.shownUserName()->text(), stored);
    }
}

QTEST_MAIN(TestEditWindow)
#include "tst_editwindow.moc"
