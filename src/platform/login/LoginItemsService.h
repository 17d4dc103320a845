#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Status codes of the login-items service and the layer above it.
namespace LoginItemsStatus {
inline constexpr qint32 noErr = 0;
inline constexpr qint32 dskFulErr = -34;           // no room left on the volume
inline constexpr qint32 ioErr = -36;               // reading or writing failed
inline constexpr qint32 fnfErr = -43;              // no file at the path
inline constexpr qint32 permErr = -54;             // the folder cannot be read
inline constexpr qint32 wrPermErr = -61;           // the folder cannot be written
inline constexpr qint32 dirNFErr = -120;           // the folder does not exist and cannot be made
inline constexpr qint32 errAENoSuchObject = -1728; // no item at that position
inline constexpr qint32 coreFoundationUnknownErr = -4960; // the list cannot be built
} // namespace LoginItemsStatus

// One of the programs that the desktop starts when the user logs in.
struct LoginItem {
    QString path;        // the program's path
    bool hidden = false; // started hidden; false where the item says nothing
};

// The user's login items: a list in a stable order, to which items are added
// at the end and from which they are removed by position.
class LoginItemsService {
public:
    virtual ~LoginItemsService() = default;

    // Whether the items can be kept at all: their store exists or can be made.
    virtual bool isUsable() = 0;

    // The items in list order into *items; a status, 0 for success.
    virtual qint32 copyItems(QList<LoginItem>* items) = 0;

    // Adds the item after every other; a status, 0 for success.
    virtual qint32 appendItem(const LoginItem& item) = 0;

    // Removes the item at the zero-based position of copyItems' list; a status.
    virtual qint32 deleteItemAt(qsizetype position) = 0;
};
