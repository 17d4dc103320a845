#pragma once

#include "app/UpdateFeed.h"
#include "platform/Dialogs.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;
class UpdateProgressWindow;

// What one update check found.
struct UpdateCheckOutcome {
    enum class Kind { UpToDate, UpdateAvailable, Failed, Cancelled };
    Kind kind = Kind::Failed;
    // The newest release the feed announces (up to date, update available).
    QString newestVersion;
    // Where to get it (update available): an https address on the feed's own host,
    // else empty.
    QUrl link;
    // Why the check failed, for the user.
    QString reason;
};

// The update check. It fetches the update feed (UpdateFeed) from the address in the
// bundle information, compares the newest release it announces with the running
// version, and tells the user what it found in an alert: up to date, a newer release
// with its address (which the alert offers to open in the browser), or why the check
// failed. The request runs in the background; a small window shows that it is running
// and lets the user cancel it, and the check gives up after its time-out.
class NetKeyloft_Updater : public QObject {
    Q_OBJECT

public:
    struct Settings {
        // An http or https address.
        QUrl feedUrl;
        // The running release, compared with the feed's.
        QString currentVersion;
        // The longest the whole request may take.
        std::chrono::milliseconds timeout{10000};
        // Feeds larger than this are refused unread.
        qint64 maxFeedBytes = 1024 * 1024;
        // Opens an address in the desktop's browser.
        std::function<bool(const QUrl&)> openUrl;
    };

    explicit NetKeyloft_Updater(Settings settings, QObject* parent = nullptr);
    ~NetKeyloft_Updater() override;

    // The settings of the application's updater: the feed address and version of the
    // bundle information, and openUrl.
    static Settings bundleSettings(std::function<bool(const QUrl&)> openUrl);

    // A check the user asked for. Its answer goes through dialogs; sender is whoever
    // asked, and the check is dropped unanswered if sender goes away first. While a
    // check runs, another request only brings its progress window to the front.
    void checkForUpdates(Dialogs& dialogs, QObject& sender);
    // Stops a running check without an answer.
    void cancel();

    bool isChecking() const { return m_reply != nullptr; }
    // The progress window of the running check, or nullptr.
    QWidget* progressWindow() const;
    Settings& settings() { return m_settings; }

    // The alert that tells the user the outcome.
    static Alert alertFor(const UpdateCheckOutcome& outcome, const QString& currentVersion);

Q_SIGNALS:
    // Emitted when a check has ended, after the user has answered its alert.
    void checkFinished(const UpdateCheckOutcome& outcome);

private:
    void start();
    bool takeBody();
    void readMore();
    void replyFinished();
    void timedOut();
    UpdateCheckOutcome outcomeOfReply();
    UpdateCheckOutcome outcomeOfFeed(const QByteArray& document) const;
    void finish(const UpdateCheckOutcome& outcome);
    void fail(const QString& reason);

    Settings m_settings;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<UpdateProgressWindow> m_progress;
    QTimer m_deadline;
    // The running request; nullptr between checks.
    QNetworkReply* m_reply = nullptr;
    QByteArray m_body;
    // Why the check stopped the request itself; empty while it has not.
    QString m_abortReason;
    bool m_cancelled = false;
    Dialogs* m_dialogs = nullptr;
    QPointer<QObject> m_sender;
    QMetaObject::Connection m_senderGone;
};
