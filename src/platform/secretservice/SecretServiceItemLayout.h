#pragma once

#include "platform/keychain/KeychainServices.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// How a generic-password item is laid out over a Secret Service item.
//
// The label attribute ("labl", also tag 7) is the item's label. The texts
// "gena", "acct", "icmt", "desc", "svce", "crtr" and "type" are item attributes
// named by their four characters, holding the same UTF-8 text. "cdat" and "mdat"
// are the item's Created and Modified times. The secret is the password's bytes.
//
// The class "genp" is the schema attribute "xdg:schema" = "org.keyloft.Password":
// every item we create carries it and every search requires it, so items of
// other programs are never found, even when their other attributes match.
namespace SecretServiceItemLayout {

inline constexpr const char* schemaAttribute = "xdg:schema";
inline constexpr const char* schemaName = "org.keyloft.Password";
// Secrets are stored with this content type, as password tools do.
inline constexpr const char* secretContentType = "text/plain";

// Where an attribute tag lives on a Secret Service item.
enum class Slot {
    Unknown,   // no such attribute in the layout
    Label,     // the item's label
    Attribute, // an item attribute named by the tag's four characters
    Created,   // the Created time, read only
    Modified,  // the Modified time, read only
};

Slot slotForTag(FourCharCode tag);

// The item attribute's name for a tag whose slot is Attribute ("svce" for 'svce').
QByteArray attributeName(FourCharCode tag);

// Whether an item attribute of that name is one of ours: the schema or one of the
// layout's attributes.
bool isOwnedAttributeName(const char* name);

// Whether the bytes can be kept as a Secret Service text: valid UTF-8, no NUL.
bool isStorableText(const QByteArray& bytes);

// A time in seconds since the Unix epoch as the 16 bytes "YYYYMMDDhhmmssZ" + NUL, in UTC.
QByteArray zuluTimeStamp(std::uint64_t secondsSinceEpoch);

} // namespace SecretServiceItemLayout
