#include "app/NetKeyloft_Updater.h"

#include "app/NetKeyloft_BundleInfo.h"
#include "app/UpdateProgressWindow.h"
#include "platform/FloatingWindow.h"
#include "platform/Log.h"
#include "settings/WebLinks.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace {

UpdateCheckOutcome failure(const QString& reason)
{
    UpdateCheckOutcome outcome;
    outcome.kind = UpdateCheckOutcome::Kind::Failed;
    outcome.reason = reason;
    return outcome;
}

// Why a request failed, in the user's terms. Texts the server sent (such as the reason
// phrase of an HTTP status) are left out: the server is not trusted to word alerts.
QString reasonForError(const QNetworkReply& reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        return NetKeyloft_Updater::tr("The update server answered with HTTP status %1.")
            .arg(status.toInt());
    }
    switch (reply.error()) {
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return NetKeyloft_Updater::tr("The update server could not be reached safely.");
    default:
        break;
    }
    return NetKeyloft_Updater::tr("The update server could not be reached. Check that this "
                                  "computer is connected to the network.");
}

} // namespace

NetKeyloft_Updater::NetKeyloft_Updater(Settings settings, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)),
      m_network(std::make_unique<QNetworkAccessManager>())
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &NetKeyloft_Updater::timedOut);
}

NetKeyloft_Updater::~NetKeyloft_Updater()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

NetKeyloft_Updater::Settings
NetKeyloft_Updater::bundleSettings(std::function<bool(const QUrl&)> openUrl)
{
    Settings settings;
    settings.feedUrl = QUrl(NetKeyloft_BundleInfo::value(QStringLiteral("KeyloftUpdateFeedURL")));
    settings.currentVersion =
        NetKeyloft_BundleInfo::value(QStringLiteral("CFBundleShortVersionString"));
    settings.openUrl = std::move(openUrl);
    return settings;
}

QWidget* NetKeyloft_Updater::progressWindow() const
{
    return isChecking() ? m_progress.get() : nullptr;
}

void NetKeyloft_Updater::checkForUpdates(Dialogs& dialogs, QObject& sender)
{
    if (isChecking()) {
        FloatingWindow::bringToFront(*m_progress);
        return;
    }
    m_dialogs = &dialogs;
    m_sender = &sender;
    m_senderGone = connect(&sender, &QObject::destroyed, this, &NetKeyloft_Updater::cancel);
    if (m_settings.feedUrl.isEmpty()) {
        fail(tr("This copy of Keyloft was built without an address for update information."));
    } else if (!WebLinks::isWebAddress(m_settings.feedUrl)) {
        fail(tr("The address of the update information is not a web address."));
    } else {
        start();
    }
}

void NetKeyloft_Updater::start()
{
    QNetworkRequest request(m_settings.feedUrl);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Keyloft/%1").arg(m_settings.currentVersion));
    m_body.clear();
    m_abortReason.clear();
    m_cancelled = false;
    m_reply = m_network->get(request);
    connect(m_reply, &QIODevice::readyRead, this, &NetKeyloft_Updater::readMore);
    connect(m_reply, &QNetworkReply::finished, this, &NetKeyloft_Updater::replyFinished);
    // One time-out for the whole request, not only for silence between bytes: a server
    // that trickles its answer cannot hold the check open either.
    m_deadline.start(m_settings.timeout);

    if (!m_progress) {
        m_progress = std::make_unique<UpdateProgressWindow>();
        connect(m_progress.get(), &UpdateProgressWindow::cancelRequested, this,
                &NetKeyloft_Updater::cancel);
    }
    m_progress->adjustSize();
    FloatingWindow::centre(*m_progress);
    FloatingWindow::bringToFront(*m_progress);
}

bool NetKeyloft_Updater::takeBody()
{
    // Reads at most one byte past the limit: enough to know the feed is too large.
    m_body += m_reply->read(m_settings.maxFeedBytes + 1 - m_body.size());
    if (m_body.size() <= m_settings.maxFeedBytes) {
        return true;
    }
    m_abortReason =
        tr("The update information is larger than %1 KiB.").arg(m_settings.maxFeedBytes / 1024);
    return false;
}

void NetKeyloft_Updater::readMore()
{
    if (!takeBody()) {
        m_reply->abort();
    }
}

void NetKeyloft_Updater::timedOut()
{
    if (m_reply) {
        m_abortReason = tr("The update server did not answer within %1 seconds.")
                            .arg(double(m_settings.timeout.count()) / 1000.0);
        m_reply->abort();
    }
}

void NetKeyloft_Updater::cancel()
{
    if (m_reply) {
        m_cancelled = true;
        m_reply->abort();
    }
}

void NetKeyloft_Updater::replyFinished()
{
    m_deadline.stop();
    if (m_reply->error() == QNetworkReply::NoError && m_abortReason.isEmpty()) {
        takeBody();
    }
    const UpdateCheckOutcome outcome = outcomeOfReply();
    std::exchange(m_reply, nullptr)->deleteLater();
    finish(outcome);
}

UpdateCheckOutcome NetKeyloft_Updater::outcomeOfReply()
{
    if (m_cancelled) {
        return UpdateCheckOutcome{UpdateCheckOutcome::Kind::Cancelled, {}, {}, {}};
    }
    if (!m_abortReason.isEmpty()) {
        return failure(m_abortReason);
    }
    if (m_reply->error() != QNetworkReply::NoError) {
        logLine(QStringLiteral("Update check: %1").arg(m_reply->errorString()));
        return failure(reasonForError(*m_reply));
    }
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200) {
        return failure(tr("The update server answered with HTTP status %1.").arg(status));
    }
    return outcomeOfFeed(m_body);
}

UpdateCheckOutcome NetKeyloft_Updater::outcomeOfFeed(const QByteArray& document) const
{
    QString error;
    const std::optional<UpdateRelease> newest = UpdateFeed::newestRelease(document, &error);
    if (!newest) {
        // The parser's message may quote the feed: it goes to the log, not the alert.
        logLine(QStringLiteral("Update check: the feed is not valid: %1").arg(error));
        return failure(tr("The update information is not valid."));
    }
    const std::optional<AppVersion> running = AppVersion::parse(m_settings.currentVersion);
    if (!running) {
        return failure(tr("The version of this copy of Keyloft, \"%1\", cannot be compared.")
                           .arg(m_settings.currentVersion));
    }
    UpdateCheckOutcome outcome;
    outcome.newestVersion = newest->version.toString();
    if (*running < newest->version) {
        outcome.kind = UpdateCheckOutcome::Kind::UpdateAvailable;
        // Only a secure address on the feed's own host is offered to the user.
        if (newest->link.scheme() == QStringLiteral("https") &&
            newest->link.host() == m_settings.feedUrl.host()) {
            outcome.link = newest->link;
        }
    } else {
        outcome.kind = UpdateCheckOutcome::Kind::UpToDate;
    }
    return outcome;
}

void NetKeyloft_Updater::fail(const QString& reason)
{
    finish(failure(reason));
}

void NetKeyloft_Updater::finish(const UpdateCheckOutcome& outcome)
{
    disconnect(m_senderGone);
    if (m_progress) {
        m_progress->hide();
    }
    // The alert may run an event loop in which a new check starts: nothing of this one is
    // used after it but what is copied here.
    Dialogs* dialogs = std::exchange(m_dialogs, nullptr);
    m_sender.clear();
    if (dialogs && outcome.kind != UpdateCheckOutcome::Kind::Cancelled) {
        const int answer = dialogs->runAlert(alertFor(outcome, m_settings.currentVersion));
        if (outcome.kind == UpdateCheckOutcome::Kind::UpdateAvailable && answer == 0 &&
            !outcome.link.isEmpty() && m_settings.openUrl) {
            m_settings.openUrl(outcome.link);
        }
    }
    Q_EMIT checkFinished(outcome);
}

Alert NetKeyloft_Updater::alertFor(const UpdateCheckOutcome& outcome, const QString& currentVersion)
{
    Alert alert;
    switch (outcome.kind) {
    case UpdateCheckOutcome::Kind::UpToDate:
        alert.message = tr("Keyloft is up to date.");
        alert.informativeText = tr("You have version %1; the newest version available is %2.")
                                    .arg(currentVersion, outcome.newestVersion);
        break;
    case UpdateCheckOutcome::Kind::UpdateAvailable:
        alert.message = tr("Keyloft %1 is available.").arg(outcome.newestVersion);
        if (outcome.link.isEmpty()) {
            alert.informativeText = tr("You have version %1.").arg(currentVersion);
            break;
        }
        // The address in its encoded form: no look-alike letters or hidden spaces.
        alert.informativeText = tr("You have version %1. The new version is at\n%2")
                                    .arg(currentVersion, outcome.link.toString(QUrl::FullyEncoded));
        alert.buttons = {tr("Download"), tr("Not Now")};
        break;
    case UpdateCheckOutcome::Kind::Failed:
    case UpdateCheckOutcome::Kind::Cancelled:
        alert.message = tr("Keyloft could not check for updates.");
        alert.informativeText = outcome.reason;
        alert.style = Alert::Style::Warning;
        break;
    }
    return alert;
}
