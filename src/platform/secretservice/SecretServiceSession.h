#pragma once

#include "platform/keychain/KeychainStatus.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// This folder's headers include no GLib or libsecret header (their headers do not
// mix with Qt's); GLib and libsecret types appear here only as opaque declarations.
typedef struct _GAsyncResult GAsyncResult;
typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GError GError;
typedef struct _GMainContext GMainContext;
typedef struct _GObject GObject;
typedef struct _GVariant GVariant;
typedef struct _SecretCollection SecretCollection;
typedef struct _SecretItem SecretItem;
typedef struct _SecretService SecretService;
typedef void* gpointer;
typedef void (*GAsyncReadyCallback)(GObject* source, GAsyncResult* result, gpointer data);

// Releases a GObject (any libsecret or GIO object); for std::unique_ptr.
struct GObjectUnref {
    void operator()(void* object) const;
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Releases a GVariant; for std::unique_ptr.
struct GVariantUnref {
    void operator()(GVariant* variant) const;
};
using GVariantPtr = std::unique_ptr<GVariant, GVariantUnref>;

// How long each kind of wait on the Secret Service may take before it is given up.
struct SecretServiceTimeouts {
    int connectMs = 2000;    // connecting to the session bus
    int activationMs = 5000; // the bus starting a Secret Service that is not yet running
    int callMs = 10000;      // any other call to the service
    int promptMs = 300000;   // the user answering the service's unlock prompt
};

// Settings shared by the backend and every keychain it opened.
struct SecretServiceOptions {
    SecretServiceTimeouts timeouts;
    bool userInteractionAllowed = true;
};

// Which kind of object a failed call addressed; decides what "no such object" means.
enum class SecretServiceSubject { Keychain, Item };

// Turns a GLib, GIO or libsecret error into a keychain status. A call that did not
// finish in time counts as timed out whatever its error. The one place where errors
// of this backend become statuses.
OSStatus secretServiceStatus(const GError* error, bool timedOut, SecretServiceSubject subject);

// The result of one bounded asynchronous call.
class SecretServiceCall {
public:
    SecretServiceCall() = default;
    SecretServiceCall(GAsyncResult* result, bool timedOut);
    SecretServiceCall(SecretServiceCall&& other) noexcept;
    SecretServiceCall& operator=(SecretServiceCall&&) = delete;
    SecretServiceCall(const SecretServiceCall&) = delete;
    ~SecretServiceCall();

    // Null when the call was abandoned: it did not even finish once cancelled.
    GAsyncResult* result() const { return m_result; }
    bool timedOut() const { return m_timedOut; }
    // The status for an error that the call's finish function reported (or its
    // absence); consumes error.
    OSStatus status(GError* error, SecretServiceSubject subject) const;

private:
    GAsyncResult* m_result = nullptr;
    bool m_timedOut = false;
};

// One connection to the Secret Service on the session bus, with the private main
// context on which every call of this backend runs. Each call is started on that
// context and waited for, at most for its time limit, so no wait can hang the
// application; Qt's own event loop is never re-entered while waiting.
class SecretServiceSession {
public:
    // Connects to the session bus and the Secret Service on it; errSecNoDefaultKeychain
    // when there is no bus, no service or the service cannot be reached in time.
    static OSStatus connect(std::shared_ptr<const SecretServiceOptions> options,
                            std::shared_ptr<SecretServiceSession>& session);
    ~SecretServiceSession();
    SecretServiceSession(const SecretServiceSession&) = delete;
    SecretServiceSession& operator=(const SecretServiceSession&) = delete;

    using Start = std::function<void(GCancellable*, GAsyncReadyCallback, gpointer)>;
    // Starts an asynchronous call on the private context and waits for it, cancelling
    // it once timeoutMs have passed.
    SecretServiceCall run(const Start& start, int timeoutMs);
    // Runs the calls side by side, at most window of them at a time, and waits for them
    // together, so that many calls cost little more than the service's time to answer
    // them. The wait is given up (and what is still running cancelled) once timeoutMs
    // pass without any call finishing. The window stays under the number of replies a
    // bus lets one connection await (dbus-daemon's default is 128): a call past it
    // would fail at once.
    static constexpr std::size_t defaultWindow = 64;
    std::vector<SecretServiceCall> runAll(const std::vector<Start>& starts, int timeoutMs,
                                          std::size_t window = defaultWindow);
    // Runs a call as run() does and hands its result to finish, which reports the
    // call's error; the status of the whole.
    using Finish = std::function<void(GAsyncResult*, GError**)>;
    OSStatus perform(const Start& start, const Finish& finish, int timeoutMs,
                     SecretServiceSubject subject);

    // The status of a call whose finish function reported error (or none); consumes
    // error. The service's own message is kept as lastErrorMessage() and logged, since
    // a status alone cannot say what the provider found wrong.
    OSStatus statusOf(const SecretServiceCall& call, GError* error, SecretServiceSubject subject);
    const QString& lastErrorMessage() const { return m_lastErrorMessage; }

    const SecretServiceOptions& options() const { return *m_options; }
    SecretService* service() const { return m_service.get(); }
    GDBusConnection* connection() const { return m_connection.get(); }
    // The service's bus name.
    const char* busName() const;
    // The address of the bus the session is connected to.
    const QByteArray& address() const { return m_address; }

private:
    explicit SecretServiceSession(std::shared_ptr<const SecretServiceOptions> options);
    OSStatus open();
    OSStatus openConnection();
    OSStatus startService();
    OSStatus callBus(const char* method, const char* format, int timeoutMs, unsigned& answer);
    OSStatus openService();

    std::shared_ptr<const SecretServiceOptions> m_options;
    GMainContext* m_context = nullptr;
    GObjectPtr<GDBusConnection> m_connection;
    GObjectPtr<SecretService> m_service;
    QString m_lastErrorMessage;
    QByteArray m_address;
};
