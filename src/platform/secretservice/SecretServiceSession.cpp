#include "platform/secretservice/SecretServiceSession.h"

#include "platform/Log.h"

#include <libsecret/secret.h>

#include <QByteArray>
#include <QFileInfo>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr const char* secretServiceBusName = "org.freedesktop.secrets";
// A cancelled call normally reports back at once; this long at most is waited for it.
constexpr int cancelGraceMs = 1000;

// The session bus address, found as GLib finds it, except that we never ask for a bus
// to be started ("autolaunch:"): without a desktop session there is no default keychain,
// and a bus started for us would have no Secret Service either.
QByteArray sessionBusAddress()
{
    QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty()) {
        const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
        const QString socket = QString::fromLocal8Bit(runtimeDir) + QStringLiteral("/bus");
        if (runtimeDir.isEmpty() || !QFileInfo(socket).exists()) {
            return {};
        }
        char* escaped = g_dbus_address_escape_value(socket.toLocal8Bit().constData());
        address = QByteArray("unix:path=") + escaped;
        g_free(escaped);
    }
    if (address.contains("autolaunch:")) {
        return {};
    }
    return address;
}

// The calls of one batch, shared by the waiting loop and every call still running:
// if the loop gives up first, the last late callback frees it.
struct PendingBatch {
    std::vector<GAsyncResult*> results;
    std::size_t finished = 0;
    std::size_t references = 1; // the waiting loop and each call not yet back

    void release()
    {
        if (--references == 0) {
            for (GAsyncResult* result : results) {
                if (result != nullptr) {
                    g_object_unref(result);
                }
            }
            delete this;
        }
    }
};

struct PendingCall {
    PendingBatch* batch;
    std::size_t index;
};

void onCallReady(GObject*, GAsyncResult* result, gpointer data)
{
    auto* call = static_cast<PendingCall*>(data);
    call->batch->results[call->index] = G_ASYNC_RESULT(g_object_ref(result));
    ++call->batch->finished;
    call->batch->release();
    delete call;
}

gboolean onTimedOut(gpointer data)
{
    *static_cast<bool*>(data) = true;
    return G_SOURCE_REMOVE;
}

// A timeout source on the given context that sets a flag; removed when destroyed.
class Timer {
public:
    Timer(GMainContext* context, int ms, bool* fired) : m_source(g_timeout_source_new(guint(ms)))
    {
        g_source_set_callback(m_source, onTimedOut, fired, nullptr);
        g_source_attach(m_source, context);
    }
    ~Timer()
    {
        g_source_destroy(m_source);
        g_source_unref(m_source);
    }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

private:
    GSource* m_source;
};

} // namespace

// libsecret's service object always connects to the shared session bus connection,
// which would end the whole process if the bus went away and would not follow a
// change of address. This subclass keeps the private connection it is given.
struct PrivateBusService {
    SecretService parent;
};
struct PrivateBusServiceClass {
    SecretServiceClass parent_class;
};
G_DEFINE_TYPE(PrivateBusService, private_bus_service, SECRET_TYPE_SERVICE)

static GObject* privateBusServiceConstructor(GType type, guint count,
                                             GObjectConstructParam* properties)
{
    GObject* object =
        G_OBJECT_CLASS(private_bus_service_parent_class)->constructor(type, count, properties);
    // libsecret's constructor has just named the service, its path and interface, and
    // the shared bus; only the last is undone.
    g_object_set(object, "g-bus-type", G_BUS_TYPE_NONE, nullptr);
    return object;
}

static void private_bus_service_class_init(PrivateBusServiceClass* serviceClass)
{
    G_OBJECT_CLASS(serviceClass)->constructor = privateBusServiceConstructor;
}

static void private_bus_service_init(PrivateBusService*) {}

void GObjectUnref::operator()(void* object) const
{
    if (object != nullptr) {
        g_object_unref(object);
    }
}

void GVariantUnref::operator()(GVariant* variant) const
{
    if (variant != nullptr) {
        g_variant_unref(variant);
    }
}

SecretServiceCall::SecretServiceCall(GAsyncResult* result, bool timedOut)
    : m_result(result), m_timedOut(timedOut)
{}

SecretServiceCall::SecretServiceCall(SecretServiceCall&& other) noexcept
    : m_result(other.m_result), m_timedOut(other.m_timedOut)
{
    other.m_result = nullptr;
}

SecretServiceCall::~SecretServiceCall()
{
    if (m_result != nullptr) {
        g_object_unref(m_result);
    }
}

OSStatus SecretServiceCall::status(GError* error, SecretServiceSubject subject) const
{
    // A call that finished without error despite its cancellation still succeeded.
    const bool failedInTime = m_timedOut && (m_result == nullptr || error != nullptr);
    const OSStatus status = secretServiceStatus(error, failedInTime, subject);
    g_clear_error(&error);
    return status;
}

SecretServiceSession::SecretServiceSession(std::shared_ptr<const SecretServiceOptions> options)
    : m_options(std::move(options)), m_context(g_main_context_new())
{
    // Registers libsecret's D-Bus error names, so that the service's errors arrive
    // as SECRET_ERROR codes.
    (void)SECRET_ERROR;
}

SecretServiceSession::~SecretServiceSession()
{
    g_main_context_push_thread_default(m_context);
    m_service.reset();
    if (m_connection) {
        g_dbus_connection_close(m_connection.get(), nullptr, nullptr, nullptr);
    }
    m_connection.reset();
    // Lets the callbacks of abandoned calls and the closing run, so nothing leaks.
    while (g_main_context_iteration(m_context, FALSE)) {
    }
    g_main_context_pop_thread_default(m_context);
    g_main_context_unref(m_context);
}

OSStatus SecretServiceSession::connect(std::shared_ptr<const SecretServiceOptions> options,
                                       std::shared_ptr<SecretServiceSession>& session)
{
    std::shared_ptr<SecretServiceSession> opened(new SecretServiceSession(std::move(options)));
    const OSStatus status = opened->open();
    if (status == errSecSuccess) {
        session = std::move(opened);
    }
    return status;
}

OSStatus SecretServiceSession::open()
{
    OSStatus status = openConnection();
    if (status == errSecSuccess) {
        status = startService();
    }
    if (status == errSecSuccess) {
        status = openService();
    }
    return status == errSecSuccess ? errSecSuccess : OSStatus(errSecNoDefaultKeychain);
}

// A private connection: the shared GLib bus connection would end the whole
// process when the bus goes away, and would find its own address.
OSStatus SecretServiceSession::openConnection()
{
    const QByteArray address = sessionBusAddress();
    if (address.isEmpty()) {
        return errSecNoDefaultKeychain;
    }
    const SecretServiceCall call = run(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            g_dbus_connection_new_for_address(
                address.constData(),
                GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                     G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, cancellable, callback, data);
        },
        m_options->timeouts.connectMs);
    if (call.result() == nullptr) {
        return call.status(nullptr, SecretServiceSubject::Keychain);
    }
    GError* error = nullptr;
    m_connection.reset(g_dbus_connection_new_for_address_finish(call.result(), &error));
    m_address = address;
    return statusOf(call, error, SecretServiceSubject::Keychain);
}

// Calls a method of the bus itself with one name as its argument; its reply's one
// number or boolean.
OSStatus SecretServiceSession::callBus(const char* method, const char* format, int timeoutMs,
                                       unsigned& answer)
{
    return perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            GVariant* arguments = g_str_equal(format, "(su)")
                                      ? g_variant_new("(su)", secretServiceBusName, 0u)
                                      : g_variant_new("(s)", secretServiceBusName);
            g_dbus_connection_call(m_connection.get(), "org.freedesktop.DBus",
                                   "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
                                   arguments, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, cancellable,
                                   callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            GVariant* reply = g_dbus_connection_call_finish(m_connection.get(), result, error);
            if (reply == nullptr) {
                return;
            }
            GVariant* value = g_variant_get_child_value(reply, 0);
            answer = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)
                         ? unsigned(g_variant_get_boolean(value))
                         : g_variant_get_uint32(value);
            g_variant_unref(value);
            g_variant_unref(reply);
        },
        timeoutMs, SecretServiceSubject::Keychain);
}

// A running service is used as it is. Otherwise the bus is asked to start it, which
// it refuses at once when no service can be activated; a start that does not come is
// given up after the activation time limit.
OSStatus SecretServiceSession::startService()
{
    unsigned owned = 0;
    const OSStatus status = callBus("NameHasOwner", "(s)", m_options->timeouts.callMs, owned);
    if (status != errSecSuccess || owned != 0) {
        return status;
    }
    unsigned started = 0;
    return callBus("StartServiceByName", "(su)", m_options->timeouts.activationMs, started);
}

OSStatus SecretServiceSession::openService()
{
    const SecretServiceCall call = run(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            g_async_initable_new_async(private_bus_service_get_type(), G_PRIORITY_DEFAULT,
                                       cancellable, callback, data, "g-connection",
                                       m_connection.get(), "flags", SECRET_SERVICE_NONE, nullptr);
        },
        m_options->timeouts.callMs);
    if (call.result() == nullptr) {
        return call.status(nullptr, SecretServiceSubject::Keychain);
    }
    GError* error = nullptr;
    GObjectPtr<GObject> source(g_async_result_get_source_object(call.result()));
    GObject* service =
        g_async_initable_new_finish(G_ASYNC_INITABLE(source.get()), call.result(), &error);
    m_service.reset(service == nullptr ? nullptr : SECRET_SERVICE(service));
    return statusOf(call, error, SecretServiceSubject::Keychain);
}

OSStatus SecretServiceSession::perform(const Start& start, const Finish& finish, int timeoutMs,
                                       SecretServiceSubject subject)
{
    const SecretServiceCall call = run(start, timeoutMs);
    GError* error = nullptr;
    if (call.result() != nullptr) {
        finish(call.result(), &error);
    }
    return statusOf(call, error, subject);
}

OSStatus SecretServiceSession::statusOf(const SecretServiceCall& call, GError* error,
                                        SecretServiceSubject subject)
{
    // Kept for the last failure only, so that a later failure without words of the
    // provider's is not shown with an earlier one's.
    const bool ownWords =
        error != nullptr && !g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    const QString message = ownWords ? QString::fromUtf8(error->message) : QString();
    const OSStatus status = call.status(error, subject);
    if (status != errSecSuccess) {
        m_lastErrorMessage = message;
    }
    if (!message.isEmpty()) {
        logLine(QStringLiteral("The Secret Service reported: ") + message);
    }
    return status;
}

const char* SecretServiceSession::busName() const
{
    return secretServiceBusName;
}

SecretServiceCall SecretServiceSession::run(const Start& start, int timeoutMs)
{
    std::vector<SecretServiceCall> calls = runAll({start}, timeoutMs);
    return std::move(calls.front());
}

std::vector<SecretServiceCall> SecretServiceSession::runAll(const std::vector<Start>& starts,
                                                            int timeoutMs, std::size_t window)
{
    g_main_context_push_thread_default(m_context);
    auto* batch = new PendingBatch;
    batch->results.assign(starts.size(), nullptr);
    GCancellable* cancellable = g_cancellable_new();
    std::size_t started = 0;
    const auto startMore = [&] {
        while (started < starts.size() &&
               started - batch->finished < std::max<std::size_t>(window, 1)) {
            ++batch->references;
            starts[started](cancellable, onCallReady, new PendingCall{batch, started});
            ++started;
        }
    };

    bool deadlinePassed = false;
    while (batch->finished < starts.size() && !deadlinePassed) {
        startMore();
        const std::size_t finishedBefore = batch->finished;
        Timer deadline(m_context, timeoutMs, &deadlinePassed);
        while (batch->finished == finishedBefore && !deadlinePassed) {
            g_main_context_iteration(m_context, TRUE);
        }
    }
    // Only calls that had to be cancelled count as timed out; those never started
    // are left without a result.
    const bool timedOut = batch->finished < starts.size();
    if (timedOut) {
        bool gaveUp = false;
        g_cancellable_cancel(cancellable);
        Timer grace(m_context, cancelGraceMs, &gaveUp);
        while (batch->finished < started && !gaveUp) {
            g_main_context_iteration(m_context, TRUE);
        }
    }
    g_object_unref(cancellable);
    g_main_context_pop_thread_default(m_context);

    std::vector<SecretServiceCall> calls;
    calls.reserve(starts.size());
    for (GAsyncResult*& result : batch->results) {
        calls.emplace_back(std::exchange(result, nullptr), timedOut);
    }
    batch->release();
    return calls;
}
