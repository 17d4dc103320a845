// The edit window's commands, driven through its real controls on the offscreen
// platform over a real keychain file: adding, renaming in place, saving typed text,
// the notes limit, removing, generating and copying.

#include "EditWindowFixture.h"
#include "TestFiles.h"

#include "app/NetKeyloft_StatusMenuController.h"
#include "editor/NetKeyloft_TableHeaderview.h"

#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QTest>

class TestEditController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emptyList();
    void labelEditsInTheTable();
    void editToggleSavesTypedValues();
    void notesLimit_data();
    void notesLimit();
    void removeAsksFirstAndSelectsANeighbour();
    void typedTextIsDiscarded();
    void generateAndCopyButtons();
};

void TestEditController::emptyList()
{
    EditWindowFixture edit("");
    // The header of the empty table offers no sort menu and sorts nothing.
    auto* header = static_cast<NetKeyloft_TableHeaderview*>(edit.table()->horizontalHeader());
    QVERIFY(!header->menuForEvent());
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    QVERIFY(edit.app.preferences().sortAscending());

    QTest::mouseClick(edit.button("addItemButton"), Qt::LeftButton);
    QCOMPARE(edit.rows(), labels("Untitled"));
    QVERIFY(edit.button("editButton")->isChecked());
    for (const char* name :
         {"removeItemButton", "getUserNameButton", "getPasswordButton", "editButton"}) {
        QVERIFY2(!edit.button(name)->isHidden() && edit.button(name)->isEnabled(), name);
    }

    // The label typed at once becomes the entry's label, in the keychain too.
    QLineEdit* cell = edit.cellEditor();
    QVERIFY(cell);
    QCOMPARE(cell->selectedText(), QStringLiteral("Untitled"));
    QTest::keyClicks(cell, QStringLiteral("Bank"));
    QTest::keyClick(cell, Qt::Key_Return);
    QTRY_COMPARE(edit.rows(), labels("Bank"));
    QCOMPARE(edit.trayEntries(), labels("Bank"));
    QCOMPARE(edit.reopenedList()->labelInKeychainItemsAtIndex(0), QStringLiteral("Bank"));
}

void TestEditController::labelEditsInTheTable()
{
    EditWindowFixture edit("Mail,Shop");
    // The same label again: nothing stored, the tray menu not rebuilt.
    const QAction* trayEntry = edit.app.controller().menu()->actions().at(6);
    QAbstractItemModel* model = edit.table()->model();
    QVERIFY(model->setData(model->index(0, 0), QStringLiteral("Mail")));
    QCOMPARE(edit.app.controller().menu()->actions().at(6), trayEntry);

    edit.clickRow(0);
    edit.table()->edit(model->index(0, 0));
    edit.cellEditor()->setText(QStringLiteral("Post"));
    // A command of the window takes the typed label over before it runs.
    edit.editor().saveAllEditItemInfo();
    QVERIFY(!edit.editor().tableIsBeingEdited());
    QCOMPARE(edit.rows(), labels("Post,Shop"));
    QCOMPARE(edit.trayEntries(), labels("Post,Shop"));

    // A taken label is not shown as an error there: the cell opens again.
    edit.table()->edit(model->index(0, 0));
    edit.cellEditor()->setText(QStringLiteral("Shop"));
    edit.editor().endTableEditingIfNeeded();
    QVERIFY(edit.app.dialogs().alerts().empty());
    QVERIFY(edit.editor().tableIsBeingEdited());

    // Committed with the Return key, it is; the cell is edited again, its label selected.
    edit.cellEditor()->setText(QStringLiteral("Shop"));
    QTest::keyClick(edit.cellEditor(), Qt::Key_Return);
    QTRY_COMPARE(edit.app.dialogs().alertMessages(),
                 QStringList{QStringLiteral("LabelAlreadyExists")});
    QTRY_VERIFY(edit.cellEditor());
    QVERIFY(edit.editor().tableIsBeingEdited());
    QCOMPARE(edit.cellEditor()->selectedText(), QStringLiteral("Post"));
    QCOMPARE(edit.rows(), labels("Post,Shop"));
    QCOMPARE(edit.reopenedList()->labelInKeychainItemsAtIndex(0), QStringLiteral("Post"));
}

void TestEditController::editToggleSavesTypedValues()
{
    EditWindowFixture edit("Mail");
    // Values left as they were store nothing, also notes written elsewhere with line
    // breaks and spaces a text view shows differently: the file is not rewritten and
    // the tray menu not rebuilt.
    QVERIFY(edit.app.list().setCommentsForKeychainItemAtIndex(
        QStringLiteral("line one\r\nline two\u00a0kept\rend"), 0));
    const QByteArray before = fileBytes(edit.app.keychainPath());
    const QAction* trayEntry = edit.app.controller().menu()->actions().at(6);
    edit.clickRow(0);
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    QCOMPARE(edit.app.controller().menu()->actions().at(6), trayEntry);
    QCOMPARE(fileBytes(edit.app.keychainPath()), before);

    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    QVERIFY(edit.editor().isInEditMode());
    edit.userNameField()->setText(QStringLiteral("anna"));
    edit.passwordField()->setText(QStringLiteral("pässwörd ✓"));
    // Both kinds of line break the editor makes are stored as plain line breaks, and
    // non-breaking spaces as typed.
    edit.notesEditor()->clear();
    QTest::keyClicks(edit.notesEditor(), QStringLiteral("PIN\u00a01234"));
    QTest::keyClick(edit.notesEditor(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(edit.notesEditor(), QStringLiteral("second"));
    QTest::keyClick(edit.notesEditor(), Qt::Key_Return);
    QTest::keyClicks(edit.notesEditor(), QStringLiteral("line"));
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);

    QVERIFY(edit.editor().isInViewMode());
    QCOMPARE(edit.shownUserName()->text(), QStringLiteral("anna"));
    QCOMPARE(edit.control<QLineEdit>("staticPasswordTextField")->text(),
             QStringLiteral("pässwörd ✓"));
    const auto reopened = edit.reopenedList();
    const ItemPtr stored = reopened->keychainItemAtIndex(0);
    QCOMPARE(stored->userName(), QStringLiteral("anna"));
    QCOMPARE(reopened->passwordForKeychainItem(stored.get()), QStringLiteral("pässwörd ✓"));
    QCOMPARE(stored->comments(), QStringLiteral("PIN\u00a01234\nsecond\nline"));
    QCOMPARE(edit.trayEntries(), labels("Mail"));
}

void TestEditController::notesLimit_data()
{
    // Characters outside the basic plane count two each, as the limit counts.
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("kept");
    const QString emoji = QStringLiteral("😀");
    const QString limit(2000, QLatin1Char('n'));
    QTest::newRow("2000, an emoji last") << limit.left(1998) + emoji << limit.left(1998) + emoji;
    QTest::newRow("2001") << limit + QLatin1Char('e') << limit;
    QTest::newRow("an emoji across the limit") << limit.left(1999) + emoji << limit.left(1999);
}

void TestEditController::notesLimit()
{
    QFETCH(QString, notes);
    QFETCH(QString, kept);
    EditWindowFixture edit("Mail");
    edit.app.controller().editAction(
        edit.app.controller().menu()->actions().at(6)->menu()->actions().at(2));
    QVERIFY(edit.editor().isInEditMode());
    // The last character is typed, the rest pasted.
    const qsizetype last = notes.back().isLowSurrogate() ? 2 : 1;
    edit.typeNotes(notes.chopped(last));
    edit.notesEditor()->moveCursor(QTextCursor::End);
    QTest::sendKeyEvent(QTest::Click, edit.notesEditor(), Qt::Key_unknown, notes.right(last), {});
    edit.editor().saveComments();

    const QString warning = QStringLiteral("Notes cannot contain more than 2000 characters.");
    QCOMPARE(edit.app.dialogs().alertMessages(),
             notes.size() > 2000 ? QStringList{warning} : QStringList());
    QCOMPARE(edit.notesEditor()->toPlainText(), kept);
    QCOMPARE(edit.shownNotes()->toPlainText(), kept);
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->comments(), kept);
}

void TestEditController::removeAsksFirstAndSelectsANeighbour()
{
    EditWindowFixture edit("Mail,Shop,Zoo");
    QVERIFY(edit.app.list().setUserNameForKeychainItemAtIndex(QStringLiteral("shopper"), 1));
    edit.clickRow(2);
    edit.app.dialogs().queueAlertAnswer(1);
    QTest::mouseClick(edit.button("removeItemButton"), Qt::LeftButton);
    const Alert& alert = edit.app.dialogs().alerts().front();
    QCOMPARE(alert.message, QStringLiteral("Delete Zoo?"));
    QCOMPARE(alert.informativeText, QStringLiteral("Deleted records cannot be restored."));
    QCOMPARE(alert.buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Cancel")}));
    QCOMPARE(alert.style, Alert::Style::Critical);
    QCOMPARE(edit.reopenedList()->countOfKeychainItems(), 3u);

    edit.app.dialogs().queueAlertAnswer(0);
    QTest::mouseClick(edit.button("removeItemButton"), Qt::LeftButton);
    QCOMPARE(edit.rows(), labels("Mail,Shop"));
    // The entry before the removed one is selected and shown.
    QCOMPARE(edit.editor().selectedRow(), 1);
    QCOMPARE(edit.shownUserName()->text(), QStringLiteral("shopper"));

    // After the first entry, the new first one.
    edit.clickRow(0);
    edit.editor().removeItemButtonAction();
    QCOMPARE(edit.rows(), labels("Shop"));
    QCOMPARE(edit.editor().selectedRow(), 0);
    QCOMPARE(edit.shownUserName()->text(), QStringLiteral("shopper"));

    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    edit.editor().removeItemButtonAction();
    QCOMPARE(edit.rows(), QStringList{});
    QVERIFY(edit.editor().isInViewMode());
    QCOMPARE(edit.shownUserName()->text(), QString());
    QCOMPARE(edit.userNameField()->text(), QString());
    QVERIFY(edit.button("removeItemButton")->isHidden());
    QVERIFY(!edit.button("addItemButton")->isHidden());
    QCOMPARE(edit.trayEntries(), QStringList{});
    QCOMPARE(edit.reopenedList()->countOfKeychainItems(), 0u);
    // Commands that need an entry do nothing on the empty list.
    edit.app.dialogs().clearRecord();
    edit.editor().removeItemButtonAction();
    edit.editor().copyPasswordButtonAction();
    edit.editor().editButtonAction();
    QVERIFY(edit.editor().isInViewMode());
    QVERIFY(edit.app.dialogs().alerts().empty());
}

void TestEditController::typedTextIsDiscarded()
{
    EditWindowFixture edit("Mail,Shop");
    QVERIFY(edit.app.list().setUserNameForKeychainItemAtIndex(QStringLiteral("mailer"), 0));
    QVERIFY(edit.app.list().setUserNameForKeychainItemAtIndex(QStringLiteral("shopper"), 1));
    edit.clickRow(0);
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    edit.userNameField()->setText(QStringLiteral("typed"));
    // By selecting another row...
    edit.clickRow(1);
    QCOMPARE(edit.userNameField()->text(), QStringLiteral("shopper"));
    QCOMPARE(edit.shownUserName()->text(), QStringLiteral("shopper"));
    // ...and by opening the open window again, which returns to view mode.
    edit.userNameField()->setText(QStringLiteral("typed again"));
    edit.app.controller().editWindowController()->openWindow();
    QVERIFY(edit.editor().isInViewMode());
    QVERIFY(!edit.button("editButton")->isChecked());
    const auto stored = edit.reopenedList();
    QCOMPARE(stored->keychainItemAtIndex(0)->userName(), QStringLiteral("mailer"));
    QCOMPARE(stored->keychainItemAtIndex(1)->userName(), QStringLiteral("shopper"));
}

void TestEditController::generateAndCopyButtons()
{
    EditWindowFixture edit("Mail");
    QVERIFY(edit.app.list().setUserNameForKeychainItemAtIndex(QStringLiteral("anna"), 0));
    QVERIFY(edit.app.list().setPasswordForKeychainItemAtIndex(QStringLiteral("s3cret"), 0));
    const int usesBefore = edit.app.list().keychainItemAtIndex(0)->countUsed();
    edit.clickRow(0);
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    QPushButton* generate = edit.button("generatePasswordButton");
    QVERIFY(generate->isVisible());
    const auto* strength = edit.control<QLabel>("passwordStrengthLabel");

    QTest::mouseClick(generate, Qt::LeftButton);
    QCOMPARE(edit.passwordField()->text().size(), 20);
    // Twenty characters of the 87 left without look-alikes.
    QCOMPARE(strength->text(), QStringLiteral("Strength: 128 bits"));
    // The length set in the preferences counts from the next click.
    edit.app.defaults().setValue(QStringLiteral("NKLPREFS_GeneratorLength_Key"), 12);
    QTest::mouseClick(generate, Qt::LeftButton);
    QCOMPARE(edit.passwordField()->text().size(), 12);
    QCOMPARE(strength->text(), QStringLiteral("Strength: 77 bits"));

    // The stored value is copied, not the generated one that is not yet saved.
    QTest::mouseClick(edit.button("getPasswordButton"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("s3cret"));
    QTest::mouseClick(edit.button("getUserNameButton"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("anna"));
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->countUsed(), usesBefore + 2);
}

QTEST_MAIN(TestEditController)
#include "tst_editcontroller.moc"
