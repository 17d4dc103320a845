#include "platform/secretservice/SecretServiceProperties.h"

#include <gio/gio.h>

#include <string>

namespace SecretServiceProperties {

namespace {
constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";
} // namespace

SecretServiceSession::Start getAll(SecretServiceSession& session, const char* path,
                                   const char* interface)
{
    return [&session, objectPath = std::string(path), interfaceName = std::string(interface)](
               GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
        g_dbus_connection_call(
            session.connection(), session.busName(), objectPath.c_str(), propertiesInterface,
            "GetAll", g_variant_new("(s)", interfaceName.c_str()), G_VARIANT_TYPE("(a{sv})"),
            G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, cancellable, callback, data);
    };
}

GVariantPtr finishGetAll(SecretServiceSession& session, GAsyncResult* result, GError** error)
{
    GVariant* reply = g_dbus_connection_call_finish(session.connection(), result, error);
    if (reply == nullptr) {
        return nullptr;
    }
    GVariantPtr properties(g_variant_get_child_value(reply, 0));
    g_variant_unref(reply);
    return properties;
}

OSStatus readAll(SecretServiceSession& session, const char* path, const char* interface,
                 SecretServiceSubject subject, GVariantPtr& properties)
{
    return session.perform(
        getAll(session, path, interface),
        [&](GAsyncResult* result, GError** error) {
            properties = finishGetAll(session, result, error);
        },
        session.options().timeouts.callMs, subject);
}

OSStatus write(SecretServiceSession& session, const char* path, const char* interface,
               const char* name, GVariant* value, SecretServiceSubject subject)
{
    GVariant* arguments = g_variant_ref_sink(g_variant_new("(ssv)", interface, name, value));
    const OSStatus status = session.perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            g_dbus_connection_call(session.connection(), session.busName(), path,
                                   propertiesInterface, "Set", arguments, G_VARIANT_TYPE("()"),
                                   G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, cancellable, callback,
                                   data);
        },
        [&](GAsyncResult* result, GError** error) {
            GVariant* reply = g_dbus_connection_call_finish(session.connection(), result, error);
            if (reply != nullptr) {
                g_variant_unref(reply);
            }
        },
        session.options().timeouts.callMs, subject);
    g_variant_unref(arguments);
    return status;
}

} // namespace SecretServiceProperties
