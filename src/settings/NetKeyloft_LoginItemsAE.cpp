#include "settings/NetKeyloft_LoginItemsAE.h"

#include <cstdio>
#include <cstdlib>

namespace NetKeyloft_LoginItemsAE {

namespace {

#ifdef __FILE_NAME__
#define NKL_SOURCE_FILE __FILE_NAME__
#else
#define NKL_SOURCE_FILE __FILE__
#endif

// A broken contract is a programming error: say where, then stop at once.
#define NKL_REQUIRE(condition)                                                                     \
    ((condition) ? void(0) : failedAssertion(NKL_SOURCE_FILE, __LINE__, #condition))

[[noreturn]] void failedAssertion(const char* file, unsigned line, const char* condition)
{
    std::fprintf(stderr, "%s:%u: failed assertion `%s'\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

// The URL of an item's path: an existing file's absolute location, else the
// path text itself, so an item whose program is gone keeps its name.
QUrl urlForItemPath(const QString& path)
{
    if (path.isEmpty()) {
        return QUrl();
    }
    const QFileInfo info(path);
    if (!info.exists()) {
        return QUrl::fromLocalFile(path);
    }
    const QString absolute = info.absoluteFilePath();
    return QUrl::fromLocalFile(info.isDir() ? absolute + QLatin1Char('/') : absolute);
}

qint32 perform(LoginItemsService& service, const LoginItemsCommand& command,
               QList<LoginItem>* items)
{
    switch (command.kind) {
    case LoginItemsCommand::Kind::GetItems:
        return service.copyItems(items);
    case LoginItemsCommand::Kind::MakeItem:
        return service.appendItem(command.item);
    case LoginItemsCommand::Kind::DeleteItem:
        return service.deleteItemAt(command.position);
    }
    return LoginItemsStatus::ioErr;
}

} // namespace

qint32 sendSystemEventsCommand(LoginItemsService& service, const LoginItemsCommand& command,
                               LoginItemsReply* reply)
{
    NKL_REQUIRE((reply == nullptr) || !reply->has_value());

    QList<LoginItem> items;
    const qint32 err = perform(service, command, &items);
    if (reply != nullptr && err == LoginItemsStatus::noErr) {
        *reply = std::move(items);
    }

    NKL_REQUIRE((reply == nullptr) || ((err == LoginItemsStatus::noErr) == reply->has_value()));
    return err;
}

qint32 copyLoginItemList(LoginItemsService& service, std::optional<LoginItemList>* itemsPtr)
{
    NKL_REQUIRE(itemsPtr != nullptr);
    NKL_REQUIRE(!itemsPtr->has_value());

    LoginItemsReply reply;
    qint32 err =
        sendSystemEventsCommand(service, {LoginItemsCommand::Kind::GetItems, {}, 0}, &reply);
    LoginItemList list;
    if (err == LoginItemsStatus::noErr) {
        for (const LoginItem& item : std::as_const(*reply)) {
            const QUrl url = urlForItemPath(item.path);
            if (!url.isValid()) {
                err = LoginItemsStatus::coreFoundationUnknownErr;
                break;
            }
            list.append({url, item.hidden});
        }
    }
    if (err == LoginItemsStatus::noErr) {
        *itemsPtr = std::move(list);
    }

    NKL_REQUIRE((err == LoginItemsStatus::noErr) == itemsPtr->has_value());
    return err;
}

qint32 appendLoginItemForFileRef(LoginItemsService& service, const QFileInfo* item, bool hideIt)
{
    NKL_REQUIRE(item != nullptr);

    LoginItemsCommand command{
        LoginItemsCommand::Kind::MakeItem, {item->absoluteFilePath(), hideIt}, 0};
    return sendSystemEventsCommand(service, command, nullptr);
}

qint32 appendLoginItemForURL(LoginItemsService& service, const QUrl* item, bool hideIt)
{
    NKL_REQUIRE(item != nullptr);

    const QFileInfo file(item->toLocalFile());
    if (!item->isLocalFile() || !file.exists()) {
        return LoginItemsStatus::fnfErr;
    }
    return appendLoginItemForFileRef(service, &file, hideIt);
}

qint32 deleteLoginItemAtIndex(LoginItemsService& service, qsizetype itemIndex)
{
    NKL_REQUIRE(itemIndex >= 0);

    LoginItemsCommand command{LoginItemsCommand::Kind::DeleteItem, {}, itemIndex};
    return sendSystemEventsCommand(service, command, nullptr);
}

} // namespace NetKeyloft_LoginItemsAE
