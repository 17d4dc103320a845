#pragma once

#include "platform/keychain/KeychainServices.h"
#include "store/NetKeyloftStringUtils.h"

#include <QByteArray>
#include <QString>

#include <vector>

// How the store's entries look in a keychain, shared by the files of the store that
// read and write them.
namespace KeychainItemCodes {

inline QByteArray utf8(const QString& text)
{
    return text.toUtf8();
}

inline const QByteArray& creatorCode()
{
    static const QByteArray code = QByteArrayLiteral("Klft");
    return code;
}

inline const QByteArray& typeCode()
{
    static const QByteArray code = QByteArrayLiteral("Klf1");
    return code;
}

inline QString decode(const KeychainAttribute& attribute)
{
    return NetKeyloftStringUtils::stringWithData(attribute.data.constData(),
                                                 std::size_t(attribute.data.size()));
}

// The attributes read for every entry at load, in the order they are asked for.
inline const std::vector<FourCharCode>& loadTags()
{
    using namespace KeychainCodes;
    static const std::vector<FourCharCode> tags{generic,      account,          label,  comment,
                                                creationDate, modificationDate, service};
    return tags;
}

} // namespace KeychainItemCodes
