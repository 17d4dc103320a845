#include "store/ConflictCopyText.h"

#include "platform/LocalizedText.h"

namespace ConflictCopyText {

namespace {

// "2 entries added", or "1 changed" after a first part.
QString part(int count, bool first, const char* oneId, const char* manyId, const char* laterId,
             const QString& one, const QString& many, const QString& later)
{
    if (!first) {
        return localizedText(laterId, later).arg(count);
    }
    return count == 1 ? localizedText(oneId, one) : localizedText(manyId, many).arg(count);
}

} // namespace

QString describeChanges(const KeychainMergeSummary& summary)
{
    QStringList parts;
    if (summary.added > 0) {
        parts << part(summary.added, parts.isEmpty(), "MergeOneAdded", "MergeManyAdded",
                      "MergeLaterAdded", QStringLiteral("1 entry added"),
                      QStringLiteral("%1 entries added"), QStringLiteral("%1 added"));
    }
    if (summary.changed > 0) {
        parts << part(summary.changed, parts.isEmpty(), "MergeOneChanged", "MergeManyChanged",
                      "MergeLaterChanged", QStringLiteral("1 entry changed"),
                      QStringLiteral("%1 entries changed"), QStringLiteral("%1 changed"));
    }
    if (summary.deleted > 0) {
        parts << part(summary.deleted, parts.isEmpty(), "MergeOneDeleted", "MergeManyDeleted",
                      "MergeLaterDeleted", QStringLiteral("1 entry deleted"),
                      QStringLiteral("%1 entries deleted"), QStringLiteral("%1 deleted"));
    }
    if (parts.size() < 2) {
        return parts.join(QString());
    }
    const QString last = parts.takeLast();
    return localizedText("MergeListEnd", QStringLiteral("%1 and %2"))
        .arg(parts.join(QStringLiteral(", ")), last);
}

QStringList describe(const ConflictCopyReport& report)
{
    QStringList lines;
    const QString changes = describeChanges(report.merged);
    if (!changes.isEmpty()) {
        lines << (report.copiesMerged == 1
                      ? localizedText("MergedFromOneCopy",
                                      QStringLiteral("%1 from a copy made by the sync program"))
                            .arg(changes)
                      : localizedText("MergedFromCopies",
                                      QStringLiteral("%1 from %2 copies made by the sync program"))
                            .arg(changes)
                            .arg(report.copiesMerged));
    }
    for (const QString& path : report.unreadable) {
        lines << localizedText("UnreadableConflictCopy",
                               QStringLiteral("The copy made by the sync program %1 does not open "
                                              "with this keychain's password; it was left as it "
                                              "is."))
                     .arg(path);
    }
    return lines;
}

} // namespace ConflictCopyText
