#include "platform/secretservice/SecretServiceSession.h"

#include <libsecret/secret.h>

namespace {

OSStatus goneStatus(SecretServiceSubject subject)
{
    return subject == SecretServiceSubject::Keychain ? errSecNoSuchKeychain : errSecInvalidItemRef;
}

OSStatus secretErrorStatus(int code, SecretServiceSubject subject)
{
    switch (code) {
    case SECRET_ERROR_IS_LOCKED:
        return errSecAuthFailed;
    case SECRET_ERROR_NO_SUCH_OBJECT:
        return goneStatus(subject);
    case SECRET_ERROR_ALREADY_EXISTS:
        return errSecDuplicateItem;
    case SECRET_ERROR_PROTOCOL:
        return errSecDecode;
    default:
        return errSecParam;
    }
}

OSStatus dbusErrorStatus(int code, SecretServiceSubject subject)
{
    switch (code) {
    case G_DBUS_ERROR_SERVICE_UNKNOWN:
    case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        // The service itself is gone, so is every keychain it held.
        return errSecNoSuchKeychain;
    case G_DBUS_ERROR_UNKNOWN_METHOD: // what services answer for a removed object path
    case G_DBUS_ERROR_UNKNOWN_OBJECT:
    case G_DBUS_ERROR_UNKNOWN_INTERFACE:
    case G_DBUS_ERROR_UNKNOWN_PROPERTY:
        return goneStatus(subject);
    case G_DBUS_ERROR_DISCONNECTED:
        return errSecInvalidKeychain;
    case G_DBUS_ERROR_NO_REPLY:
    case G_DBUS_ERROR_TIMEOUT:
    case G_DBUS_ERROR_TIMED_OUT:
    case G_DBUS_ERROR_LIMITS_EXCEEDED:
    case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
    case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
    case G_DBUS_ERROR_SPAWN_FAILED:
        return errSecNotAvailable;
    case G_DBUS_ERROR_ACCESS_DENIED:
    case G_DBUS_ERROR_AUTH_FAILED:
        return errSecAuthFailed;
    case G_DBUS_ERROR_NO_MEMORY:
        return errSecAllocate;
    case G_DBUS_ERROR_INVALID_ARGS:
        return errSecParam;
    case G_DBUS_ERROR_NOT_SUPPORTED:
        return errSecUnimplemented;
    default:
        return errSecIO;
    }
}

OSStatus ioErrorStatus(int code)
{
    switch (code) {
    case G_IO_ERROR_CANCELLED:
        return errSecUserCanceled;
    case G_IO_ERROR_CLOSED:
    case G_IO_ERROR_CONNECTION_CLOSED:
    case G_IO_ERROR_NOT_CONNECTED:
        return errSecInvalidKeychain;
    case G_IO_ERROR_TIMED_OUT:
    case G_IO_ERROR_NOT_FOUND:
    case G_IO_ERROR_CONNECTION_REFUSED:
        return errSecNotAvailable;
    case G_IO_ERROR_PERMISSION_DENIED:
        return errSecAuthFailed;
    case G_IO_ERROR_INVALID_ARGUMENT:
        return errSecParam;
    case G_IO_ERROR_NOT_SUPPORTED:
        return errSecUnimplemented;
    case G_IO_ERROR_NO_SPACE:
        return errSecDiskFull;
    default:
        return errSecIO;
    }
}

} // namespace

OSStatus secretServiceStatus(const GError* error, bool timedOut, SecretServiceSubject subject)
{
    if (error == nullptr) {
        // Without an error, only an abandoned call (no result at all) failed.
        return timedOut ? OSStatus(errSecNotAvailable) : OSStatus(errSecSuccess);
    }
    if (timedOut && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        return errSecNotAvailable;
    }
    if (error->domain == SECRET_ERROR) {
        return secretErrorStatus(error->code, subject);
    }
    if (error->domain == G_DBUS_ERROR) {
        return dbusErrorStatus(error->code, subject);
    }
    if (error->domain == G_IO_ERROR) {
        return ioErrorStatus(error->code);
    }
    return errSecIO;
}
