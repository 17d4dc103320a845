#include "settings/WebLinks.h"

#include "platform/Log.h"

#include <QDesktopServices>

namespace WebLinks {

bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme();
    return url.isValid() &&
           (scheme == QStringLiteral("https") || scheme == QStringLiteral("http")) &&
           !url.host().isEmpty() && url.userInfo().isEmpty();
}

bool openInBrowser(const QUrl& url)
{
    if (!isWebAddress(url)) {
        logLine(QStringLiteral("Not opened in the browser, not a web address: %1")
                    .arg(url.toString(QUrl::FullyEncoded)));
        return false;
    }
    return QDesktopServices::openUrl(url);
}

} // namespace WebLinks
