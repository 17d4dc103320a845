#pragma once

#include "platform/keychain/ConflictCopies.h"

#include <QString>
#include <QStringList>

namespace ConflictCopyText {

// What a merge brought in, as a sentence: "2 entries added and 1 changed"; empty when
// it changed nothing.
QString describeChanges(const KeychainMergeSummary& summary);

// What merging conflict copies did, one message a line: what the merged copies brought
// in ("2 entries added and 1 changed from a copy made by the sync program") and each
// copy that does not open. Empty when there is nothing to tell.
QStringList describe(const ConflictCopyReport& report);

} // namespace ConflictCopyText
