#include "platform/secretservice/SecretServiceItemLayout.h"

#include <QDateTime>
#include <QStringDecoder>
#include <QTimeZone>

#include <algorithm>
#include <array>

namespace SecretServiceItemLayout {

namespace {
constexpr std::array<FourCharCode, 7> attributeTags = {
    KeychainCodes::generic,     KeychainCodes::account, KeychainCodes::comment,
    KeychainCodes::description, KeychainCodes::service, KeychainCodes::creator,
    KeychainCodes::type,
};
} // namespace

Slot slotForTag(FourCharCode tag)
{
    tag = KeychainCodes::canonicalTag(tag);
    if (tag == KeychainCodes::label) {
        return Slot::Label;
    }
    if (tag == KeychainCodes::creationDate) {
        return Slot::Created;
    }
    if (tag == KeychainCodes::modificationDate) {
        return Slot::Modified;
    }
    for (FourCharCode attributeTag : attributeTags) {
        if (tag == attributeTag) {
            return Slot::Attribute;
        }
    }
    return Slot::Unknown;
}

QByteArray attributeName(FourCharCode tag)
{
    QByteArray name(4, '\0');
    for (int i = 0; i < 4; ++i) {
        name[i] = char((tag >> (8 * (3 - i))) & 0xff);
    }
    return name;
}

bool isOwnedAttributeName(const char* name)
{
    const QByteArray text(name);
    if (text == schemaAttribute) {
        return true;
    }
    return std::any_of(attributeTags.begin(), attributeTags.end(),
                       [&](FourCharCode tag) { return attributeName(tag) == text; });
}

bool isStorableText(const QByteArray& bytes)
{
    if (bytes.contains('\0')) {
        return false;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

QByteArray zuluTimeStamp(std::uint64_t secondsSinceEpoch)
{
    const QDateTime time =
        QDateTime::fromSecsSinceEpoch(qint64(secondsSinceEpoch), QTimeZone::utc());
    QByteArray stamp = time.toString(QStringLiteral("yyyyMMddHHmmss'Z'")).toLatin1();
    stamp.append('\0');
    return stamp;
}

} // namespace SecretServiceItemLayout
