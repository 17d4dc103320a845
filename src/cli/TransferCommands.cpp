// export and import: all entries out to the JSON form and back in, and create-keychain.
#include "cli/CliCommands.h"
#include "cli/CliFormat.h"
#include "cli/CliSession.h"
#include "cli/ExportFormat.h"
#include "cli/Terminal.h"
#include "platform/UserDefaults.h"
#include "store/ConflictCopyText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <sys/stat.h>

namespace {

using C = NetKeyloft_KeychainController;

// Writes bytes as the file at path, replaced atomically. The file is readable by its
// owner alone: an export may hold passwords, and its notes may be private too.
void writePrivateFile(const QString& path, const SecretBytes& bytes)
{
    const mode_t previous = ::umask(077);
    QSaveFile file(path);
    bool opened = file.open(QIODevice::WriteOnly);
    ::umask(previous);
    // The new file took the mode of the one it replaces, which may let others read it.
    opened = opened && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!opened || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) ||
        !file.commit()) {
        failOperation(QStringLiteral("could not write %1: %2").arg(path, file.errorString()));
    }
}

QByteArray readInput(const QString& path)
{
    if (path == QStringLiteral("-")) {
        const std::optional<SecretBytes> all = Terminal::readAllStandardInput();
        if (!all) {
            failOperation(QStringLiteral("could not read standard input."));
        }
        return QByteArray(all->data(), qsizetype(all->size()));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        failOperation(QStringLiteral("could not read %1: %2").arg(path, file.errorString()));
    }
    return file.readAll();
}

std::vector<ExportFormat::ExportEntry> exportEntries(C& list, const std::vector<ItemPtr>& items,
                                                     bool withPasswords, CliSession& session)
{
    std::vector<ExportFormat::ExportEntry> entries;
    entries.reserve(items.size());
    for (const ItemPtr& item : items) {
        ExportFormat::ExportEntry entry{item.get(), std::nullopt};
        if (withPasswords) {
            entry.password = list.passwordForKeychainItem(item.get());
            if (entry.password->isNull() || session.keychainReportedFailure()) {
                session.failKeychainOperation(
                    QStringLiteral("could not read the password of \"%1\".").arg(item->label()));
            }
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

void wipePasswords(std::vector<ExportFormat::ExportEntry>& entries)
{
    for (ExportFormat::ExportEntry& entry : entries) {
        if (entry.password) {
            wipeMemory(entry.password->data(), std::size_t(entry.password->size()) * sizeof(QChar));
        }
    }
}

// Prints the labels of the entries added that the keychain holds now. Something may
// have replaced the keychain file while they were added (an older copy put back): the
// entries it lost are named on standard error, and the command fails.
int reportImported(C& list, const std::vector<ItemPtr>& added)
{
    QSet<QString> stored;
    for (const ItemPtr& item : list.keychain().getAllItemsInKeychain()) {
        stored.insert(item->uuid());
    }
    QString kept;
    QString lost;
    for (const ItemPtr& item : added) {
        (stored.contains(item->uuid()) ? kept : lost) +=
            CliFormat::escapeField(item->label()) + QLatin1Char('\n');
    }
    Terminal::writeOut(kept);
    if (!lost.isEmpty()) {
        failOperation(QStringLiteral("the keychain file was replaced during the import, and "
                                     "these entries are not in it:\n") +
                      lost.trimmed());
    }
    return ExitSuccess;
}

} // namespace

int runExport(const CliInvocation& invocation, CliSession& session)
{
    C& list = session.list(CliSession::Access::Read);
    const std::vector<ItemPtr> items = list.getSortedKeychainItems(SortKey::Index, true);
    std::vector<ExportFormat::ExportEntry> entries =
        exportEntries(list, items, invocation.isSet(QStringLiteral("with-passwords")), session);
    const SecretBytes document = ExportFormat::serialize(entries);
    wipePasswords(entries);
    if (const std::optional<QString> output = invocation.value(QStringLiteral("output"))) {
        writePrivateFile(*output, document);
    } else if (!Terminal::writeOut(document.data(), document.size())) {
        failOperation(QStringLiteral("could not write the export."));
    }
    return ExitSuccess;
}

int runImport(const CliInvocation& invocation, CliSession& session)
{
    QByteArray json = readInput(invocation.argument(0));
    // Every entry is checked before the keychain is touched: a bad file changes nothing.
    std::vector<NewEntry> entries = ExportFormat::parse(json);
    wipeMemory(json.data(), std::size_t(json.size()));
    C& list = session.list(CliSession::Access::Change);
    ChangeSequence changes;
    std::vector<ItemPtr> added;
    for (const NewEntry& entry : entries) {
        added.push_back(addEntry(session, list, entry, changes));
    }
    return reportImported(list, added);
}

int runMerge(const CliInvocation& invocation, CliSession& session)
{
    const QString other = QDir::current().absoluteFilePath(invocation.argument(0));
    C& list = session.list(CliSession::Access::Change);
    Keychain& keychain = *list.keychain().keychain();
    // A keychain in no file has no path, as a file that is not there has none.
    const QString own = QFileInfo(keychain.keychainFilePath()).canonicalFilePath();
    if (!own.isEmpty() && QFileInfo(other).canonicalFilePath() == own) {
        failOperation(QStringLiteral("%1 is the keychain itself.").arg(other));
    }
    session.services().setUserInteractionAllowed(true);
    KeychainMergeSummary summary;
    const OSStatus status = keychain.mergeKeychainFile(other, true, summary);
    if (status == errSecUnimplemented) {
        failOperation(QStringLiteral("only a keychain file can take a merge; use --keychain."));
    }
    if (status != errSecSuccess) {
        failOperation(
            QStringLiteral("could not merge %1: %2").arg(other, session.describe(status)));
    }
    const QString changes = ConflictCopyText::describeChanges(summary);
    Terminal::writeOut(changes.isEmpty() ? QStringLiteral("Nothing to merge.\n")
                                         : changes + QStringLiteral(".\n"));
    return ExitSuccess;
}

int runCreateKeychain(const CliInvocation& invocation, CliSession& session)
{
    const QString path = QDir::current().absoluteFilePath(invocation.argument(0));
    if (QFile::exists(path)) {
        failOperation(QStringLiteral("%1 exists already.").arg(path));
    }
    KeychainServices& services = session.services();
    services.setUserInteractionAllowed(true);
    std::unique_ptr<Keychain> keychain;
    const OSStatus status = services.create(path, keychain);
    if (status == errSecParam) {
        failOperation(QStringLiteral("a keychain password cannot be empty; nothing was made."));
    }
    if (status == errSecUserCanceled && session.dialogs().lackedTerminal()) {
        failOperation(QStringLiteral("the new keychain needs a password, but there is no "
                                     "terminal to ask it on; give it with --password-fd N."));
    }
    if (status == errSecUserCanceled && session.dialogs().unreadableDescriptor()) {
        failOperation(session.describe(errSecAuthFailed));
    }
    if (status != errSecSuccess) {
        failOperation(QStringLiteral("could not create the keychain %1: %2")
                          .arg(path, session.describe(status)));
    }
    if (invocation.isSet(QStringLiteral("set-default"))) {
        session.userDefaults().setValue(NetKeyloft_Keychain::keychainPathKey, path);
        if (!session.userDefaults().synchronize()) {
            failOperation(QStringLiteral("the keychain was made, but it could not be remembered "
                                         "in %1.")
                              .arg(session.userDefaults().filePath()));
        }
    }
    return ExitSuccess;
}
