#pragma once

#include "platform/login/LoginItemsService.h"

#include <QFileInfo>
#include <QList>
#include <QUrl>

#include <optional>

// Plain routines over the login-items service, each answering a status code,
// 0 for success (see LoginItemsStatus). They check their callers' contract:
// a broken one writes "file:line: failed assertion `condition'" to standard
// error and aborts.
namespace NetKeyloft_LoginItemsAE {

// One login item as the list hands it out.
struct LoginItemEntry {
    QUrl url;            // file URL of the item's program
    bool hidden = false; // started hidden
};
using LoginItemList = QList<LoginItemEntry>;

// One request to the service.
struct LoginItemsCommand {
    enum class Kind { GetItems, MakeItem, DeleteItem };
    Kind kind = Kind::GetItems;
    LoginItem item;         // MakeItem: the item to add at the end
    qsizetype position = 0; // DeleteItem: zero-based position
};
// The items the service answered; empty (no value) until a request succeeds.
using LoginItemsReply = std::optional<QList<LoginItem>>;

// Sends one request. reply, when given, must be empty on entry and holds the
// answer exactly when the status is 0.
qint32 sendSystemEventsCommand(LoginItemsService& service, const LoginItemsCommand& command,
                               LoginItemsReply* reply);

// *itemsPtr must be empty on entry; on success it holds the list in the
// service's order, on failure it stays empty. One item whose URL cannot be made
// fails the whole call with coreFoundationUnknownErr.
qint32 copyLoginItemList(LoginItemsService& service, std::optional<LoginItemList>* itemsPtr);

// Adds the existing file item at the end of the list.
qint32 appendLoginItemForFileRef(LoginItemsService& service, const QFileInfo* item, bool hideIt);

// Adds the file that the file URL item names; fnfErr, sending nothing, when
// no file exists there.
qint32 appendLoginItemForURL(LoginItemsService& service, const QUrl* item, bool hideIt);

// Removes the item at the zero-based position itemIndex (at least 0).
qint32 deleteLoginItemAtIndex(LoginItemsService& service, qsizetype itemIndex);

} // namespace NetKeyloft_LoginItemsAE
