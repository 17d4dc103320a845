#pragma once

#include "cli/EntryChanges.h"
#include "platform/SecretBytes.h"
#include "store/NetKeyloft_Item.h"

#include <QByteArray>

#include <optional>
#include <vector>

// The JSON form in which keyloft-cli exports and imports entries:
//
//   {
//     "format": "keyloft-entries",
//     "version": 1,
//     "entries": [
//       { "label": "Mail", "userName": "me@example.org", "notes": "Notes:",
//         "password": "secret",            <- only with --with-passwords
//         "uses": 3, "created": "2024-05-01T12:30:00Z", "modified": "...",
//         "index": 7, "uuid": "..." }
//     ]
//   }
//
// Import needs "entries" and, in each entry, the texts "label", "userName" and "notes";
// "password" is optional. "format" and "version", where present, must be the ones above.
// The other fields are written for the reader's information and ignored on import:
// imported entries are new entries, counted and dated as any entry added now.
namespace ExportFormat {

// One entry to export; password is set only when passwords are exported.
struct ExportEntry {
    const NetKeyloft_Item* item = nullptr;
    std::optional<QString> password;
};

// The document, UTF-8, in a buffer that is wiped after use.
SecretBytes serialize(const std::vector<ExportEntry>& entries);

// The entries of a document; fails the command with a message that says what is wrong
// and where when json is not such a document.
std::vector<NewEntry> parse(const QByteArray& json);

} // namespace ExportFormat
