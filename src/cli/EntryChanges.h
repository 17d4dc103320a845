#pragma once

#include "platform/SecretBytes.h"
#include "store/NetKeyloft_KeychainController.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

class CliSession;

// The fields of an entry to add; an absent field keeps its placeholder text.
struct NewEntry {
    QString label;
    std::optional<QString> userName;
    std::optional<QString> notes;
    std::optional<QString> password;
};

// The changes a command has written so far, and how to take each back. A command that
// fails half-way takes back what it wrote, newest first, so the keychain is left as it
// was found.
class ChangeSequence {
public:
    void add(std::function<bool()> undo) { m_undos.push_back(std::move(undo)); }
    // Takes back every change; false when some could not be taken back.
    bool rollback();

private:
    std::vector<std::function<bool()>> m_undos;
};

// The position of the one entry whose label is exactly label (letter case counts, as
// the list compares labels); fails the command when there is none or more than one.
unsigned findEntryPosition(const NetKeyloft_KeychainController& list, const QString& label);

// Adds an entry through the item list (its label made unique as the application makes
// it) with its given fields, in one write. Returns the entry added, with the label it
// got. On failure, takes back everything this command changed and fails the command.
ItemPtr addEntry(CliSession& session, NetKeyloft_KeychainController& list, const NewEntry& entry,
                 ChangeSequence& changes);

// The new password of an entry: all of standard input (less one final line end), or
// asked twice without echo when standard input is the terminal.
QString readEntryPassword(const QString& label);

// Fails the command as a usage error when label is empty.
void requireLabel(const QString& label);

// The longest label and user name an entry takes from keyloft-cli, far longer than any
// real one; notes are held to the entry's own limit (notesLimit).
constexpr qsizetype textLimit = 4096;

// What keeps the given fields of entry from being stored as given ("its notes are
// longer than ..."), or a null string when nothing does.
QString entryProblem(const NewEntry& entry);
