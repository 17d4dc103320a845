#pragma once

#include "platform/secretservice/SecretServiceSession.h"

// Reading and writing the D-Bus properties of the service's objects with plain calls.
// Unlike a proxy object, a plain call subscribes to nothing: it adds no match rule to
// the bus and leaves no state behind.
namespace SecretServiceProperties {

// Starts reading all properties of one interface of the object at path.
SecretServiceSession::Start getAll(SecretServiceSession& session, const char* path,
                                   const char* interface);
// The properties (an a{sv}) that a call started by getAll brought, or null with error set.
GVariantPtr finishGetAll(SecretServiceSession& session, GAsyncResult* result, GError** error);

// Reads all properties of one interface of the object at path.
OSStatus readAll(SecretServiceSession& session, const char* path, const char* interface,
                 SecretServiceSubject subject, GVariantPtr& properties);

// Sets one property; value is consumed when floating.
OSStatus write(SecretServiceSession& session, const char* path, const char* interface,
               const char* name, GVariant* value, SecretServiceSubject subject);

} // namespace SecretServiceProperties
