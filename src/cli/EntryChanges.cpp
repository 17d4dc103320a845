#include "cli/EntryChanges.h"

#include "cli/CliCommand.h"
#include "cli/CliSession.h"
#include "cli/Terminal.h"
#include "store/NetKeyloftStringUtils.h"

#include <algorithm>

bool ChangeSequence::rollback()
{
    bool all = true;
    for (auto undo = m_undos.rbegin(); undo != m_undos.rend(); ++undo) {
        all = (*undo)() && all;
    }
    m_undos.clear();
    return all;
}

unsigned findEntryPosition(const NetKeyloft_KeychainController& list, const QString& label)
{
    const std::vector<ItemPtr>& items = list.keychainItems();
    const auto matches = [&label](const ItemPtr& item) { return item->isEqualToLabel(label); };
    const auto found = std::find_if(items.begin(), items.end(), matches);
    if (found == items.end()) {
        failOperation(QStringLiteral("no entry is labelled \"%1\".").arg(label));
    }
    const auto count = std::count_if(found, items.end(), matches);
    if (count > 1) {
        failOperation(QStringLiteral("%1 entries are labelled \"%2\"; give one of them another "
                                     "label in Keyloft first.")
                          .arg(count)
                          .arg(label));
    }
    return unsigned(found - items.begin());
}

namespace {

// Fails the command after taking back this command's changes.
[[noreturn]] void failAndRollback(CliSession& session, ChangeSequence& changes,
                                  const QString& message)
{
    const bool restored = changes.rollback();
    session.failKeychainOperation(
        restored ? message
                 : message + QStringLiteral(" Some changes could not be taken back either."));
}

} // namespace

ItemPtr addEntry(CliSession& session, NetKeyloft_KeychainController& list, const NewEntry& entry,
                 ChangeSequence& changes)
{
    // The entry and all its fields are stored by one write.
    const NetKeyloft_KeychainController::ItemFields fields{entry.userName, entry.password,
                                                           entry.notes};
    if (!list.newKeyChainItemWithLabel(entry.label, fields)) {
        failAndRollback(session, changes,
                        QStringLiteral("could not add an entry labelled \"%1\".").arg(entry.label));
    }
    const ItemPtr added = list.keychainItems().back();
    changes.add([&list, added] { return list.deleteKeychainItem(added.get()); });
    return added;
}

QString readEntryPassword(const QString& label)
{
    std::optional<SecretBytes> secret;
    if (Terminal::stdinIsTerminal()) {
        secret = Terminal::readNewSecret(QStringLiteral("Password of \"%1\": ").arg(label));
    } else {
        secret = Terminal::readAllStandardInput();
    }
    if (!secret) {
        failOperation(QStringLiteral("no password was given for \"%1\".").arg(label));
    }
    const QString password = NetKeyloftStringUtils::stringWithData(secret->data(), secret->size());
    if (password.isNull()) {
        failOperation(
            QStringLiteral("the password given for \"%1\" is not UTF-8 text.").arg(label));
    }
    return password;
}

void requireLabel(const QString& label)
{
    if (label.isEmpty()) {
        failUsage(QStringLiteral("a label cannot be empty."));
    }
}

QString entryProblem(const NewEntry& entry)
{
    const auto tooLong = [](const std::optional<QString>& text, qsizetype limit) {
        return text && text->size() > limit;
    };
    if (entry.label.size() > textLimit) {
        return QStringLiteral("its label is longer than %1 characters.").arg(textLimit);
    }
    if (tooLong(entry.userName, textLimit)) {
        return QStringLiteral("its user name is longer than %1 characters.").arg(textLimit);
    }
    if (tooLong(entry.notes, notesLimit)) {
        return QStringLiteral("its notes are longer than %1 characters.").arg(notesLimit);
    }
    // A password is kept as text up to its first NUL: storing it would cut it short.
    if (entry.password && entry.password->contains(QChar(0))) {
        return QStringLiteral("its password holds a NUL byte, which cannot be stored.");
    }
    return QString();
}
