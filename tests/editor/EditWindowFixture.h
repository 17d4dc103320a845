#pragma once

#include "AppFixture.h"
#include "editor/NetKeyloft_EditController.h"
#include "editor/NetKeyloft_EditWindowController.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>

// Labels written as one text, separated by commas: labels("Mail,Shop").
QStringList labels(const char* commaSeparated);

// The tray application launched over a keychain file with the given entries, and its
// edit window opened, with the window's controls at hand by their names.
class EditWindowFixture {
public:
    // Entries in this order (labels("Mail,Shop")); the list sorted by creation order,
    // ascending.
    explicit EditWindowFixture(const char* entries);

    AppFixture app;

    NetKeyloft_EditController& editor();
    QWidget& window();
    template <typename T> T* control(const char* name)
    {
        T* found = window().findChild<T*>(QLatin1String(name));
        if (!found) {
            qFatal("the edit window has no control %s", name);
        }
        return found;
    }
    QLineEdit* userNameField() { return control<QLineEdit>("userNameTextField"); }
    QLineEdit* passwordField() { return control<QLineEdit>("passwordTextField"); }
    QPlainTextEdit* notesEditor() { return control<QPlainTextEdit>("commentsTextView"); }
    QLineEdit* shownUserName() { return control<QLineEdit>("staticUserNameTextField"); }
    QPlainTextEdit* shownNotes() { return control<QPlainTextEdit>("commentsTextField"); }
    QPushButton* button(const char* name) { return control<QPushButton>(name); }
    QTableView* table() { return control<QTableView>("tableView"); }

    // The labels in the table's rows, top to bottom.
    QStringList rows();
    // The labels of the tray menu's entries, top level only.
    QStringList trayEntries();
    // The entries as a new process would read them from the keychain file.
    std::unique_ptr<NetKeyloft_KeychainController> reopenedList();
    // Selects a row as a click on it would.
    void clickRow(int row);
    // Puts text into the notes editor as typing would.
    void typeNotes(const QString& text);
    // The table's open cell editor; null when no cell is being edited.
    QLineEdit* cellEditor();
};
