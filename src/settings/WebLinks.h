#pragma once

#include <QUrl>

// Addresses that come from outside the program (help pages, the update feed) reach the
// desktop's browser only through here.
namespace WebLinks {

// Whether url may be handed to the browser: an absolute http or https address with a
// host and without a user name in front of the host (which can pass one site off as
// another). Everything else (files, scripts, data, other programs' schemes) is refused.
bool isWebAddress(const QUrl& url);

// Opens url in the desktop's browser. False when url is not a web address or no
// browser took it.
bool openInBrowser(const QUrl& url);

} // namespace WebLinks
