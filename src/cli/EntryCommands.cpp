// list, show, add, rename, edit and rm: reading and changing single entries.
#include "cli/CliCommands.h"
#include "cli/CliFormat.h"
#include "cli/CliSession.h"
#include "cli/EntryChanges.h"
#include "cli/Terminal.h"
#include "settings/NetKeyloft_Preferences.h"

namespace {

using C = NetKeyloft_KeychainController;

// The sort key --sort names.
SortKey sortKeyNamed(const QString& name)
{
    const std::optional<SortKey> key = SortKeys::fromCliName(name);
    if (!key) {
        failUsage(
            QStringLiteral("--sort takes name, created, used or index, not \"%1\".").arg(name));
    }
    return *key;
}

void writeShowLine(QString& text, const QString& name, const QString& value)
{
    // Further lines of a multi-line value line up under its first line.
    QString indented = CliFormat::escapeText(value);
    indented.replace(QLatin1Char('\n'), QStringLiteral("\n            "));
    text += name.leftJustified(12) + indented + QLatin1Char('\n');
}

int showPassword(C& list, const ItemPtr& item, CliSession& session)
{
    QString password = list.passwordForKeychainItem(item.get());
    if (password.isNull() || session.keychainReportedFailure()) {
        session.failKeychainOperation(
            QStringLiteral("could not read the password of \"%1\".").arg(item->label()));
    }
    SecretBytes bytes = SecretBytes::fromUtf8(password);
    wipeMemory(password.data(), std::size_t(password.size()) * sizeof(QChar));
    // A terminal gets a line end after it; a pipe gets the password's bytes alone.
    if (Terminal::stdoutIsTerminal()) {
        bytes.resize(bytes.size() + 1);
        bytes.data()[bytes.size() - 1] = '\n';
    }
    if (!Terminal::writeOut(bytes.data(), bytes.size())) {
        failOperation(QStringLiteral("could not write the password."));
    }
    // A use is counted as when the application copies the password. The password was
    // read all the same when the count cannot be written (a full disk, a read-only file).
    if (!list.addOneToCountUsedForItem(item.get())) {
        Terminal::writeErr(
            QStringLiteral("keyloft-cli: warning: could not count the use of "
                           "\"%1\".%2\n")
                .arg(CliFormat::escapeField(item->label()), session.takeKeychainMessages()));
    }
    return ExitSuccess;
}

// Fails the command when the given fields of the entry labelled label cannot be stored.
void requireStorable(const QString& label, const NewEntry& fields)
{
    if (const QString problem = entryProblem(fields); !problem.isNull()) {
        failOperation(QStringLiteral("\"%1\" cannot be stored: %2")
                          .arg(CliFormat::escapeField(label.left(80)), problem));
    }
}

} // namespace

int runList(const CliInvocation& invocation, CliSession& session)
{
    const std::optional<QString> sort = invocation.value(QStringLiteral("sort"));
    // A stored value that names no key lists the entries in creation order.
    const SortKey key = sort ? sortKeyNamed(*sort)
                             : SortKeys::fromPreferenceValue(session.preferences().sortByMenuItem())
                                   .value_or(SortKey::Index);
    const bool ascending = sort || invocation.isSet(QStringLiteral("descending"))
                               ? !invocation.isSet(QStringLiteral("descending"))
                               : session.preferences().sortAscending();
    C& list = session.list(CliSession::Access::Read);
    list.sortKeychainItems(key, ascending);
    QString text;
    for (const ItemPtr& item : list.keychainItems()) {
        text += CliFormat::escapeField(item->label()) + QLatin1Char('\t') +
                CliFormat::escapeField(item->userName()) + QLatin1Char('\t') +
                QString::number(item->countUsed()) + QLatin1Char('\t') +
                CliFormat::date(item->dateCreated()) + QLatin1Char('\n');
    }
    if (!Terminal::writeOut(text)) {
        failOperation(QStringLiteral("could not write the list."));
    }
    return ExitSuccess;
}

int runShow(const CliInvocation& invocation, CliSession& session)
{
    const bool password = invocation.isSet(QStringLiteral("password"));
    C& list = session.list(password ? CliSession::Access::Count : CliSession::Access::Read);
    const ItemPtr item =
        list.keychainItemAtIndex(std::int32_t(findEntryPosition(list, invocation.argument(0))));
    if (password) {
        return showPassword(list, item, session);
    }
    QString text;
    writeShowLine(text, QStringLiteral("Label:"), item->label());
    writeShowLine(text, QStringLiteral("User name:"), item->userName());
    writeShowLine(text, QStringLiteral("Notes:"), item->comments());
    writeShowLine(text, QStringLiteral("Uses:"), QString::number(item->countUsed()));
    writeShowLine(text, QStringLiteral("Created:"), CliFormat::date(item->dateCreated()));
    writeShowLine(text, QStringLiteral("Modified:"), CliFormat::date(item->dateModified()));
    writeShowLine(text, QStringLiteral("Index:"), QString::number(item->index()));
    writeShowLine(text, QStringLiteral("UUID:"), item->uuid());
    if (!Terminal::writeOut(text)) {
        failOperation(QStringLiteral("could not write the entry."));
    }
    return ExitSuccess;
}

int runAdd(const CliInvocation& invocation, CliSession& session)
{
    NewEntry entry;
    entry.label = invocation.argument(0);
    requireLabel(entry.label);
    entry.userName = invocation.value(QStringLiteral("user"));
    entry.notes = invocation.value(QStringLiteral("notes"));
    requireStorable(entry.label, entry);
    // Asked before the keychain is opened, so no other process waits on the prompt.
    entry.password = readEntryPassword(entry.label);
    requireStorable(entry.label, entry);
    C& list = session.list(CliSession::Access::Change);
    ChangeSequence changes;
    const ItemPtr added = addEntry(session, list, entry, changes);
    wipeMemory(entry.password->data(), std::size_t(entry.password->size()) * sizeof(QChar));
    Terminal::writeOut(CliFormat::escapeField(added->label()) + QLatin1Char('\n'));
    return ExitSuccess;
}

int runRename(const CliInvocation& invocation, CliSession& session)
{
    const QString& label = invocation.argument(0);
    const QString& newLabel = invocation.argument(1);
    requireLabel(newLabel);
    requireStorable(newLabel, {newLabel, std::nullopt, std::nullopt, std::nullopt});
    C& list = session.list(CliSession::Access::Change);
    const unsigned position = findEntryPosition(list, label);
    if (newLabel == label) {
        return ExitSuccess;
    }
    if (list.labelAlreadyExistsInKeychainItems(newLabel)) {
        failOperation(QStringLiteral("an entry labelled \"%1\" exists already.").arg(newLabel));
    }
    if (!list.renameKeyChainItemAtIndexWithLabel(position, newLabel)) {
        session.failKeychainOperation(QStringLiteral("could not rename \"%1\".").arg(label));
    }
    return ExitSuccess;
}

int runEdit(const CliInvocation& invocation, CliSession& session)
{
    const std::optional<QString> user = invocation.value(QStringLiteral("user"));
    const std::optional<QString> notes = invocation.value(QStringLiteral("notes"));
    const bool newPassword = invocation.isSet(QStringLiteral("password-stdin"));
    if (!user && !notes && !newPassword) {
        failUsage(QStringLiteral("edit needs --user, --notes or --password-stdin."));
    }
    const QString& label = invocation.argument(0);
    requireStorable(label, {QString(), user, notes, std::nullopt});
    QString password = newPassword ? readEntryPassword(label) : QString();
    requireStorable(label, {QString(), user, notes, password});
    C& list = session.list(CliSession::Access::Change);
    const unsigned position = findEntryPosition(list, label);
    // Every given field is written at once, so a refused write changes none of them.
    QStringList fields;
    if (user) {
        fields.append(QStringLiteral("user name"));
    }
    if (notes) {
        fields.append(QStringLiteral("notes"));
    }
    if (newPassword) {
        fields.append(QStringLiteral("password"));
    }
    const bool changed = list.setFieldsForKeychainItemAtIndex(
        {user, newPassword ? std::optional<QString>(password) : std::nullopt, notes}, position);
    if (newPassword) {
        wipeMemory(password.data(), std::size_t(password.size()) * sizeof(QChar));
    }
    if (!changed) {
        session.failKeychainOperation(QStringLiteral("could not change the %1 of \"%2\".")
                                          .arg(fields.join(QStringLiteral(" and ")), label));
    }
    return ExitSuccess;
}

int runRemove(const CliInvocation& invocation, CliSession& session)
{
    const QString& label = invocation.argument(0);
    const bool confirmed = invocation.isSet(QStringLiteral("yes"));
    if (!confirmed && !Terminal::isAvailable()) {
        failUsage(QStringLiteral("rm asks before it removes an entry; give --yes where there is "
                                 "no terminal to ask on."));
    }
    C& list = session.list(CliSession::Access::Change);
    const ItemPtr item = list.keychainItemAtIndex(std::int32_t(findEntryPosition(list, label)));
    if (!confirmed &&
        !Terminal::confirm(QStringLiteral("Remove the entry \"%1\"?").arg(label)).value_or(false)) {
        failOperation(QStringLiteral("nothing was removed."));
    }
    if (!list.deleteKeychainItem(item.get())) {
        session.failKeychainOperation(QStringLiteral("could not remove \"%1\".").arg(label));
    }
    return ExitSuccess;
}
