// The edit window's commands, driven through its real controls on the offscreen
// platform over a real keychain file: adding, renaming in place, saving typed text,
// the notes limit, removing, copying.

#include "EditWindowFixture.h"
#include "TestFiles.h"

#include "app/NetKeyloft_StatusMenuController.h"
#include "editor/ContinuousSpellChecking.h"
#include "editor/NetKeyloft_CommentsTextView.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QMenu>
#include <QTest>

class TestEditController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void addToEmptyList();
    void takenLabelReopensTheCell();
    void unfinishedCellEditIsTakenOver();
    void editToggleSavesTypedValues();
    void unchangedValuesStoreNothing();
    void notesLimit_data();
    void notesLimit();
    void notesSavedWhenTheEditorLosesFocus();
    void typedNotesKeepNonBreakingSpaces();
    void removeAsksFirst();
    void removeFirstAndLastEntries();
    void selectingAnotherRowDiscardsTypedText();
    void copyButtonsCountUses();
    void generateButtonFillsThePassword();
    void spellCheckingFollowsThePreference();
};

void TestEditController::addToEmptyList()
{
    EditWindowFixture edit({});
    QTest::mouseClick(edit.button("addItemButton"), Qt::LeftButton);

    QCOMPARE(edit.rows(), QStringList{QStringLiteral("Untitled")});
    QCOMPARE(edit.editor().selectedRow(), 0);
    QVERIFY(edit.editor().tableIsBeingEdited());
    QVERIFY(edit.editor().isInEditMode());
    QVERIFY(edit.button("editButton")->isChecked());
    for (const char* name :
         {"removeItemButton", "getUserNameButton", "getPasswordButton", "editButton"}) {
        QVERIFY2(!edit.button(name)->isHidden() && edit.button(name)->isEnabled(), name);
    }
    QCOMPARE(edit.trayEntries(), QStringList{QStringLiteral("Untitled")});

    // The label typed at once becomes the entry's label, in the keychain too.
    QLineEdit* cell = edit.cellEditor();
    QVERIFY(cell);
    QCOMPARE(cell->selectedText(), QStringLiteral("Untitled"));
    QTest::keyClicks(cell, QStringLiteral("Bank"));
    QTest::keyClick(cell, Qt::Key_Return);
    QTRY_COMPARE(edit.rows(), QStringList{QStringLiteral("Bank")});
    QCOMPARE(edit.trayEntries(), QStringList{QStringLiteral("Bank")});
    QCOMPARE(edit.reopenedList()->labelInKeychainItemsAtIndex(0), QStringLiteral("Bank"));

    // A second new entry is made unique.
    edit.editor().addItemButtonAction();
    edit.editor().addItemButtonAction();
    QCOMPARE(edit.rows(), (QStringList{QStringLiteral("Bank"), QStringLiteral("Untitled"),
                                       QStringLiteral("Untitled1")}));
    QCOMPARE(edit.editor().selectedRow(), 2);
}

void TestEditController::takenLabelReopensTheCell()
{
    EditWindowFixture edit({QStringLiteral("Mail"), QStringLiteral("Shop")});
    edit.clickRow(1);
    edit.table()->edit(edit.table()->model()->index(1, 0));
    QLineEdit* cell = edit.cellEditor();
    QVERIFY(cell);
    cell->setText(QStringLiteral("Mail"));
    QTest::keyClick(cell, Qt::Key_Return);

    QTRY_COMPARE(edit.app.dialogs().alertMessages(),
                 QStringList{QStringLiteral("LabelAlreadyExists")});
    QCOMPARE(edit.rows(), (QStringList{QStringLiteral("Mail"), QStringLiteral("Shop")}));
    // The cell is edited again, its text selected.
    QTRY_VERIFY(edit.cellEditor());
    QVERIFY(edit.editor().tableIsBeingEdited());
    QCOMPARE(edit.cellEditor()->selectedText(), QStringLiteral("Shop"));
    QCOMPARE(edit.reopenedList()->labelInKeychainItemsAtIndex(1), QStringLiteral("Shop"));
}

void TestEditController::unfinishedCellEditIsTakenOver()
{
    EditWindowFixture edit({QStringLiteral("Mail"), QStringLiteral("Shop")});
    // The same label again: nothing stored, the tray menu not rebuilt.
    const QAction* trayEntry = edit.app.controller().menu()->actions().at(6);
    QAbstractItemModel* model = edit.table()->model();
    QVERIFY(model->setData(model->index(0, 0), QStringLiteral("Mail")));
    QCOMPARE(edit.app.controller().menu()->actions().at(6), trayEntry);

    edit.clickRow(0);
    edit.table()->edit(model->index(0, 0));
    QVERIFY(edit.editor().tableIsBeingEdited());
    edit.cellEditor()->setText(QStringLiteral("Post"));
    // A command of the window takes the typed label over before it runs.
    edit.editor().saveAllEditItemInfo();
    QVERIFY(!edit.editor().tableIsBeingEdited());
    QCOMPARE(edit.rows(), (QStringList{QStringLiteral("Post"), QStringLiteral("Shop")}));
    QCOMPARE(edit.trayEntries(), (QStringList{QStringLiteral("Post"), QStringLiteral("Shop")}));

    // A taken label is not shown as an error here: the cell opens again.
    edit.table()->edit(edit.table()->model()->index(0, 0));
    edit.cellEditor()->setText(QStringLiteral("Shop"));
    edit.editor().endTableEditingIfNeeded();
    QVERIFY(edit.app.dialogs().alerts().empty());
    QVERIFY(edit.editor().tableIsBeingEdited());
    QCOMPARE(edit.reopenedList()->labelInKeychainItemsAtIndex(0), QStringLiteral("Post"));
}

void TestEditController::editToggleSavesTypedValues()
{
    EditWindowFixture edit({QStringLiteral("Mail")});
    edit.clickRow(0);
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    QVERIFY(edit.editor().isInEditMode());
    edit.userNameField()->setText(QStringLiteral("anna"));
    edit.passwordField()->setText(QStringLiteral("pässwörd ✓"));
    // Both kinds of line break the editor makes are stored as plain line breaks.
    edit.notesEditor()->clear();
    QTest::keyClicks(edit.notesEditor(), QStringLiteral("PIN 1234"));
    QTest::keyClick(edit.notesEditor(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(edit.notesEditor(), QStringLiteral("second"));
    QTest::keyClick(edit.notesEditor(), Qt::Key_Return);
    QTest::keyClicks(edit.notesEditor(), QStringLiteral("line"));
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);

    QVERIFY(edit.editor().isInViewMode());
    QCOMPARE(edit.shownUserName()->text(), QStringLiteral("anna"));
    QCOMPARE(edit.shownPassword()->text(), QStringLiteral("pässwörd ✓"));
    QCOMPARE(edit.shownNotes()->toPlainText(), QStringLiteral("PIN 1234\nsecond\nline"));
    const auto reopened = edit.reopenedList();
    const ItemPtr stored = reopened->keychainItemAtIndex(0);
    QCOMPARE(stored->userName(), QStringLiteral("anna"));
    QCOMPARE(reopened->passwordForKeychainItem(stored.get()), QStringLiteral("pässwörd ✓"));
    QCOMPARE(stored->comments(), QStringLiteral("PIN 1234\nsecond\nline"));
    QCOMPARE(edit.trayEntries(), QStringList{QStringLiteral("Mail")});
}

void TestEditController::unchangedValuesStoreNothing()
{
    EditWindowFixture edit({QStringLiteral("Mail")});
    // Notes written elsewhere with line breaks and spaces a text view shows differently.
    QVERIFY(edit.app.list().setCommentsForKeychainItemAtIndex(
        QStringLiteral("line one\r\nline two\u00a0kept\rend"), 0));
    const QByteArray before = fileBytes(edit.app.keychainPath());
    const QAction* trayEntry = edit.app.controller().menu()->actions().at(6);
    edit.clickRow(0);
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    QCOMPARE(edit.app.controller().menu()->actions().at(6), trayEntry);
    QCOMPARE(fileBytes(edit.app.keychainPath()), before);
}

void TestEditController::notesLimit_data()
{
    // Characters outside the basic plane count two each, as the limit counts.
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("kept");
    const QString emoji = QStringLiteral("😀");
    const QString limit(2000, QLatin1Char('n'));
    QTest::newRow("1999") << limit.left(1999) << limit.left(1999);
    QTest::newRow("2000, an emoji last") << limit.left(1998) + emoji << limit.left(1998) + emoji;
    QTest::newRow("2001") << limit + QLatin1Char('e') << limit;
    QTest::newRow("an emoji across the limit") << limit.left(1999) + emoji << limit.left(1999);
    QTest::newRow("5000") << limit + emoji.repeated(1500) << limit;
}

void TestEditController::notesLimit()
{
    QFETCH(QString, notes);
    QFETCH(QString, kept);
    EditWindowFixture edit({QStringLiteral("Mail")});
    edit.app.controller().editAction(
        edit.app.controller().menu()->actions().at(6)->menu()->actions().at(2));
    QVERIFY(edit.editor().isInEditMode());
    // The last character is typed, the rest pasted.
    const qsizetype last = notes.back().isLowSurrogate() ? 2 : 1;
    edit.typeNotes(notes.chopped(last));
    edit.notesEditor()->moveCursor(QTextCursor::End);
    QTest::sendKeyEvent(QTest::Click, edit.notesEditor(), Qt::Key_unknown, notes.right(last), {});
    edit.editor().saveComments();

    if (notes.size() > 2000) {
        QCOMPARE(edit.app.dialogs().alerts().size(), size_t(1));
        const Alert& alert = edit.app.dialogs().alerts().front();
        QCOMPARE(alert.message, QStringLiteral("Notes cannot contain more than 2000 characters."));
        QCOMPARE(alert.informativeText,
                 QStringLiteral("Notes will be trimmed to 2000 characters."));
        QCOMPARE(alert.style, Alert::Style::Warning);
    } else {
        QVERIFY(edit.app.dialogs().alerts().empty());
    }
    QCOMPARE(edit.notesEditor()->toPlainText(), kept);
    QCOMPARE(edit.shownNotes()->toPlainText(), kept);
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->comments(), kept);
}

void TestEditController::notesSavedWhenTheEditorLosesFocus()
{
    EditWindowFixture edit({QStringLiteral("Mail")});
    edit.window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&edit.window()));
    edit.clickRow(0);

    // In view mode the notes editor saves nothing.
    const QString before = edit.app.list().keychainItemAtIndex(0)->comments();
    edit.typeNotes(QStringLiteral("typed in view mode"));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit.notesEditor(), &out);
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->comments(), before);

    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    edit.notesEditor()->setFocus();
    QTRY_VERIFY(edit.notesEditor()->hasFocus());
    edit.notesEditor()->selectAll();
    QTest::keyClicks(edit.notesEditor(), QStringLiteral("door code 42"));
    edit.userNameField()->setFocus();
    QTRY_VERIFY(edit.userNameField()->hasFocus());
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->comments(),
             QStringLiteral("door code 42"));
    QCOMPARE(edit.shownNotes()->toPlainText(), QStringLiteral("door code 42"));
    // Still in edit mode: only the notes were saved.
    QVERIFY(edit.editor().isInEditMode());
}

void TestEditController::typedNotesKeepNonBreakingSpaces()
{
    EditWindowFixture edit({QStringLiteral("Mail")});
    edit.clickRow(0);
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    edit.typeNotes(QStringLiteral("a\u00a0b"));
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->comments(), QStringLiteral("a\u00a0b"));
}

void TestEditController::removeAsksFirst()
{
    EditWindowFixture edit({QStringLiteral("Mail"), QStringLiteral("Shop"), QStringLiteral("Zoo")});
    edit.clickRow(2);
    edit.app.dialogs().queueAlertAnswer(1);
    QTest::mouseClick(edit.button("removeItemButton"), Qt::LeftButton);
    const Alert& alert = edit.app.dialogs().alerts().front();
    QCOMPARE(alert.message, QStringLiteral("Delete Zoo?"));
    QCOMPARE(alert.informativeText, QStringLiteral("Deleted records cannot be restored."));
    QCOMPARE(alert.buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Cancel")}));
    QCOMPARE(alert.style, Alert::Style::Critical);
    QCOMPARE(edit.rows().size(), 3);
    QCOMPARE(edit.reopenedList()->countOfKeychainItems(), 3u);

    edit.app.dialogs().queueAlertAnswer(0);
    QTest::mouseClick(edit.button("removeItemButton"), Qt::LeftButton);
    QCOMPARE(edit.rows(), (QStringList{QStringLiteral("Mail"), QStringLiteral("Shop")}));
    QCOMPARE(edit.trayEntries(), (QStringList{QStringLiteral("Mail"), QStringLiteral("Shop")}));
    QCOMPARE(edit.reopenedList()->countOfKeychainItems(), 2u);
    // The entry before the removed one is selected and shown.
    QCOMPARE(edit.editor().selectedRow(), 1);
}

void TestEditController::removeFirstAndLastEntries()
{
    EditWindowFixture edit({QStringLiteral("Mail"), QStringLiteral("Shop")});
    QVERIFY(edit.app.list().setUserNameForKeychainItemAtIndex(QStringLiteral("shopper"), 1));
    edit.clickRow(0);
    edit.editor().removeItemButtonAction();
    // The new first row is selected and fills the pane.
    QCOMPARE(edit.rows(), QStringList{QStringLiteral("Shop")});
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

void TestEditController::selectingAnotherRowDiscardsTypedText()
{
    EditWindowFixture edit({QStringLiteral("Mail"), QStringLiteral("Shop")});
    QVERIFY(edit.app.list().setUserNameForKeychainItemAtIndex(QStringLiteral("mailer"), 0));
    QVERIFY(edit.app.list().setUserNameForKeychainItemAtIndex(QStringLiteral("shopper"), 1));
    edit.clickRow(0);
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    edit.userNameField()->setText(QStringLiteral("typed"));
    edit.clickRow(1);
    QCOMPARE(edit.userNameField()->text(), QStringLiteral("shopper"));
    QCOMPARE(edit.shownUserName()->text(), QStringLiteral("shopper"));
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->userName(), QStringLiteral("mailer"));
}

void TestEditController::copyButtonsCountUses()
{
    EditWindowFixture edit({QStringLiteral("Mail")});
    QVERIFY(edit.app.list().setUserNameForKeychainItemAtIndex(QStringLiteral("anna"), 0));
    QVERIFY(edit.app.list().setPasswordForKeychainItemAtIndex(QStringLiteral("s3cret"), 0));
    const int usesBefore = edit.app.list().keychainItemAtIndex(0)->countUsed();
    edit.clickRow(0);
    // The stored value is copied, not text typed and not yet saved.
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    edit.passwordField()->setText(QStringLiteral("unsaved"));
    QTest::mouseClick(edit.button("getPasswordButton"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("s3cret"));
    QTest::mouseClick(edit.button("getUserNameButton"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("anna"));
    QCOMPARE(edit.reopenedList()->keychainItemAtIndex(0)->countUsed(), usesBefore + 2);
}

void TestEditController::generateButtonFillsThePassword()
{
    EditWindowFixture edit({QStringLiteral("Mail")});
    edit.clickRow(0);
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    QPushButton* generate = edit.button("generatePasswordButton");
    QVERIFY(generate->isVisible());
    const auto* strength = edit.control<QLabel>("passwordStrengthLabel");

    QTest::mouseClick(generate, Qt::LeftButton);
    const QString first = edit.passwordField()->text();
    QCOMPARE(first.size(), 20);
    // Twenty characters of the 87 left without look-alikes.
    QCOMPARE(strength->text(), QStringLiteral("Strength: 128 bits"));
    edit.app.defaults().setValue(QStringLiteral("NKLPREFS_GeneratorLength_Key"), 12);
    QTest::mouseClick(generate, Qt::LeftButton);
    QCOMPARE(edit.passwordField()->text().size(), 12);
    QVERIFY(!first.startsWith(edit.passwordField()->text()));
    QCOMPARE(strength->text(), QStringLiteral("Strength: 77 bits"));
    const QString generated = edit.passwordField()->text();

    // Switching the toggle off stores it like a typed password.
    QTest::mouseClick(edit.button("editButton"), Qt::LeftButton);
    const auto reopened = edit.reopenedList();
    QCOMPARE(reopened->passwordForKeychainItem(reopened->keychainItemAtIndex(0).get()), generated);
}

void TestEditController::spellCheckingFollowsThePreference()
{
    EditWindowFixture edit({QStringLiteral("Mail")});
    // The window is made once; a change takes effect when it next opens.
    for (const bool on : {true, false, true}) {
        edit.app.defaults().setBoolForKey(on, QStringLiteral("NKLPREFS_UseSpellChecker_Key"));
        edit.app.controller().closeEditWindow();
        edit.app.controller().openEditWindow();
        QCOMPARE(isContinuousSpellCheckingEnabled(*edit.notesEditor()), on);
        QCOMPARE(isContinuousSpellCheckingEnabled(*edit.shownNotes()), on);
    }
}

QTEST_MAIN(TestEditController)
#include "tst_editcontroller.moc"
