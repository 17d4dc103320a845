#include "platform/keychain/FileKeychainMerge.h"

#include "platform/LocalizedText.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>

namespace {

const QByteArray* serviceOf(const FileKeychainItem& item)
{
    const QByteArray* service = fileKeychainStoredAttribute(item, KeychainCodes::service);
    return service != nullptr && !service->isEmpty() ? service : nullptr;
}

QByteArray keyOf(FourCharCode itemClass, const QByteArray& service)
{
    QByteArray key(4, '\0');
    for (int i = 0; i < 4; ++i) {
        key[i] = char(itemClass >> (24 - 8 * i));
    }
    return key + service;
}

// What joins the pieces of an entry's generic attribute, as the item list writes them.
const QByteArray genericSeparator = QByteArrayLiteral("<<NKL>>");

// The pieces of an entry's generic attribute: its UUID, creation number and use count
// joined by the separator. Empty when it is not of that form.
QList<QByteArray> genericPieces(const FileKeychainItem& item)
{
    const QByteArray* generic = fileKeychainStoredAttribute(item, KeychainCodes::generic);
    if (generic == nullptr) {
        return {};
    }
    // QByteArray splits only at a single byte.
    QList<QByteArray> pieces;
    qsizetype from = 0;
    for (qsizetype at = generic->indexOf(genericSeparator); at >= 0;
         at = generic->indexOf(genericSeparator, from)) {
        pieces << generic->mid(from, at - from);
        from = at + genericSeparator.size();
    }
    pieces << generic->mid(from);
    return pieces.size() == 3 ? pieces : QList<QByteArray>{};
}

// Gives winner the larger use count of the two.
void takeLargerUseCount(FileKeychainItem& winner, const FileKeychainItem& loser)
{
    QList<QByteArray> ours = genericPieces(winner);
    const QList<QByteArray> theirs = genericPieces(loser);
    if (ours.isEmpty() || theirs.isEmpty()) {
        return;
    }
    const int count = std::max(ours[2].trimmed().toInt(), theirs[2].trimmed().toInt());
    ours[2] = QByteArray::number(count);
    winner.attributes[KeychainCodes::generic] = ours.join(genericSeparator);
}

QString textOf(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

// Adds the loser's secret and notes, where they differ from the winner's and are not
// there yet, to the winner's notes under a line dated with the loser's change.
void keepLosingValues(FileKeychainItem& winner, const FileKeychainItem& loser)
{
    const QByteArray winnerNotes =
        fileKeychainStoredAttribute(winner, KeychainCodes::comment) != nullptr
            ? winner.attributes.at(KeychainCodes::comment)
            : QByteArray();
    const QByteArray* loserNotes = fileKeychainStoredAttribute(loser, KeychainCodes::comment);
    QStringList values;
    if (!(loser.secret == winner.secret)) {
        values << localizedText("MergedPassword", QStringLiteral("password “%1”"))
                      .arg(textOf(QByteArray(loser.secret.data(), qsizetype(loser.secret.size()))));
    }
    if (loserNotes != nullptr && !loserNotes->isEmpty() && !winnerNotes.contains(*loserNotes)) {
        values
            << localizedText("MergedNotes", QStringLiteral("notes “%1”")).arg(textOf(*loserNotes));
    }
    const QString lost = values.join(QStringLiteral(", "));
    if (lost.isEmpty() || textOf(winnerNotes).contains(lost)) {
        return;
    }
    const QString date = QDateTime::fromSecsSinceEpoch(loser.modified, Qt::UTC)
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
    const QString line = localizedText("ChangedOnAnotherMachine",
                                       QStringLiteral("Changed on another machine on %1: %2"))
                             .arg(date, lost);
    QByteArray notes = winnerNotes;
    if (!notes.isEmpty()) {
        notes += "\n\n";
    }
    winner.attributes[KeychainCodes::comment] = notes + line.toUtf8();
}

bool sameEntry(const FileKeychainItem& a, const FileKeychainItem& b)
{
    return a.attributes == b.attributes && a.secret == b.secret;
}

// Which of two versions of an entry wins: the later modified one; of two modified in the
// same second, the same one on every machine.
bool otherWins(const FileKeychainItem& ours, const FileKeychainItem& theirs)
{
    if (ours.modified != theirs.modified) {
        return theirs.modified > ours.modified;
    }
    const QByteArrayView a(ours.secret.data(), qsizetype(ours.secret.size()));
    const QByteArrayView b(theirs.secret.data(), qsizetype(theirs.secret.size()));
    if (a != b) {
        return b.compare(a) > 0;
    }
    return std::lexicographical_compare(ours.attributes.begin(), ours.attributes.end(),
                                        theirs.attributes.begin(), theirs.attributes.end());
}

// Merges theirs into ours, an entry both sides hold; true when ours changed.
bool mergeEntry(FileKeychainItem& ours, const FileKeychainItem& theirs, std::int64_t now)
{
    if (sameEntry(ours, theirs)) {
        return false;
    }
    FileKeychainItem merged;
    if (otherWins(ours, theirs)) {
        merged = theirs;
        merged.id = ours.id;
        keepLosingValues(merged, ours);
        takeLargerUseCount(merged, ours);
    } else {
        merged = ours;
        keepLosingValues(merged, theirs);
        takeLargerUseCount(merged, theirs);
    }
    if (sameEntry(merged, ours)) {
        return false;
    }
    merged.created = std::min(ours.created, theirs.created);
    merged.modified = std::max({now, ours.modified, theirs.modified});
    ours = std::move(merged);
    return true;
}

QHash<QByteArray, std::int64_t> tombstonesOf(const FileKeychainContent& content)
{
    QHash<QByteArray, std::int64_t> deleted;
    deleted.reserve(qsizetype(content.tombstones.size()));
    for (const FileKeychainTombstone& tombstone : content.tombstones) {
        std::int64_t& time = deleted[tombstone.service];
        time = std::max(time, tombstone.deleted);
    }
    return deleted;
}

// Whether a deletion recorded in deleted covers an item modified at modified.
bool deletedSince(const QHash<QByteArray, std::int64_t>& deleted, const QByteArray& service,
                  std::int64_t modified)
{
    const auto found = deleted.constFind(service);
    return found != deleted.cend() && *found >= modified;
}

} // namespace

void recordFileKeychainDeletion(FileKeychainContent& content, const FileKeychainItem& item,
                                std::int64_t now)
{
    if (const QByteArray* service = serviceOf(item)) {
        content.tombstones.push_back({*service, now});
    }
}

void dropExpiredFileKeychainTombstones(FileKeychainContent& content, std::int64_t now)
{
    std::erase_if(content.tombstones, [now](const FileKeychainTombstone& tombstone) {
        return tombstone.deleted < now - fileKeychainTombstoneLifetime;
    });
}

KeychainMergeSummary mergeFileKeychainContent(FileKeychainContent& content,
                                              const FileKeychainContent& other, std::int64_t now)
{
    KeychainMergeSummary summary;
    const QHash<QByteArray, std::int64_t> ourDeletions = tombstonesOf(content);
    const QHash<QByteArray, std::int64_t> theirDeletions = tombstonesOf(other);
    QHash<QByteArray, std::size_t> theirs;
    theirs.reserve(qsizetype(other.items.size()));
    for (std::size_t i = 0; i < other.items.size(); ++i) {
        if (const QByteArray* service = serviceOf(other.items[i])) {
            theirs.insert(keyOf(other.items[i].itemClass, *service), i);
        }
    }
    // Our entries: merged with theirs, or deleted where they deleted them since.
    std::vector<FileKeychainItem> kept;
    kept.reserve(content.items.size() + other.items.size());
    for (FileKeychainItem& item : content.items) {
        const QByteArray* service = serviceOf(item);
        if (service == nullptr) {
            kept.push_back(std::move(item));
            continue;
        }
        const auto match = theirs.find(keyOf(item.itemClass, *service));
        if (match != theirs.end()) {
            summary.changed += mergeEntry(item, other.items[*match], now) ? 1 : 0;
            theirs.erase(match);
        } else if (deletedSince(theirDeletions, *service, item.modified)) {
            ++summary.deleted;
            continue;
        }
        kept.push_back(std::move(item));
    }
    // Their entries we lack, in their order, unless we deleted them since.
    for (const FileKeychainItem& item : other.items) {
        const QByteArray* service = serviceOf(item);
        if (service == nullptr || !theirs.contains(keyOf(item.itemClass, *service)) ||
            deletedSince(ourDeletions, *service, item.modified)) {
            continue;
        }
        FileKeychainItem added = item;
        added.id = content.nextId++;
        kept.push_back(std::move(added));
        ++summary.added;
    }
    content.items = std::move(kept);
    // The deletions of both sides, once each, of entries that are gone.
    QHash<QByteArray, std::int64_t> deletions = ourDeletions;
    for (auto it = theirDeletions.cbegin(); it != theirDeletions.cend(); ++it) {
        std::int64_t& time = deletions[it.key()];
        time = std::max(time, it.value());
    }
    for (const FileKeychainItem& item : content.items) {
        if (const QByteArray* service = serviceOf(item)) {
            deletions.remove(*service);
        }
    }
    content.tombstones.clear();
    for (auto it = deletions.cbegin(); it != deletions.cend(); ++it) {
        content.tombstones.push_back({it.key(), it.value()});
    }
    std::sort(content.tombstones.begin(), content.tombstones.end(),
              [](const FileKeychainTombstone& a, const FileKeychainTombstone& b) {
                  return a.deleted != b.deleted ? a.deleted < b.deleted : a.service < b.service;
              });
    return summary;
}
