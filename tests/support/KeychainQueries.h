#pragma once

#include "platform/keychain/KeychainServices.h"

#include <QByteArray>

#include <memory>
#include <vector>

// Every item the search finds, in its order; empty when the search fails.
std::vector<std::unique_ptr<KeychainItemRef>>
searchAll(Keychain& keychain, const KeychainAttributeList& attributes, OSStatus* status = nullptr,
          FourCharCode itemClass = KeychainCodes::genericPasswordClass);

// The bytes of one attribute of item; fails the test when reading fails.
QByteArray attributeOf(Keychain& keychain, KeychainItemRef& item, FourCharCode tag);
