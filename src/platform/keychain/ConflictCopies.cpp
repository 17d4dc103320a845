#include "platform/keychain/ConflictCopies.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// The patterns of the three sync programs' conflict copies of a file whose name is stem
// followed by suffix (".keychain" or nothing).
QRegularExpression conflictPattern(const QString& keychainName)
{
    const qsizetype dot = keychainName.lastIndexOf(QLatin1Char('.'));
    const QString stem =
        QRegularExpression::escape(dot > 0 ? keychainName.left(dot) : keychainName);
    const QString suffix = QRegularExpression::escape(dot > 0 ? keychainName.mid(dot) : QString());
    return QRegularExpression(
        QStringLiteral("^%1(?:"
                       "\\.sync-conflict-\\d{8}-\\d{6}-[A-Z0-9]{7}"
                       "| \\(conflicted copy \\d{4}-\\d{2}-\\d{2} \\d{6}\\)"
                       "| \\([^()]+'s conflicted copy \\d{4}-\\d{2}-\\d{2}(?: \\(\\d+\\))?\\)"
                       ")%2$")
            .arg(stem, suffix));
}

// Moves a merged copy out of the way: to the trash, or away where there is none.
void discardMergedCopy(const QString& path)
{
    if (!QFile::moveToTrash(path)) {
        QFile::remove(path);
    }
}

} // namespace

QStringList ConflictCopyMerger::conflictCopies(const QString& keychainFilePath)
{
    const QFileInfo keychain(keychainFilePath);
    const QRegularExpression pattern = conflictPattern(keychain.fileName());
    QStringList copies;
    const QStringList names = keychain.dir().entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        if (pattern.match(name).hasMatch()) {
            copies << name;
        }
    }
    return copies;
}

ConflictCopyReport ConflictCopyMerger::mergeConflictCopies(Keychain& keychain)
{
    ConflictCopyReport report;
    const QString keychainPath = keychain.keychainFilePath();
    if (keychainPath.isEmpty()) {
        return report;
    }
    const QDir folder = QFileInfo(keychainPath).dir();
    for (const QString& name : conflictCopies(keychainPath)) {
        const QString path = folder.filePath(name);
        KeychainMergeSummary merged;
        const OSStatus status = keychain.mergeKeychainFile(path, false, merged);
        if (status == errSecSuccess) {
            report.merged += merged;
            ++report.copiesMerged;
            discardMergedCopy(path);
        } else if (status == errSecAuthFailed || status == errSecInvalidKeychain) {
            if (!m_reported.contains(path)) {
                m_reported.insert(path);
                report.unreadable << path;
            }
        } else if (status != errSecNoSuchKeychain) {
            // The keychain itself failed; the next look tries again.
            report.status = status;
            break;
        }
    }
    return report;
}
