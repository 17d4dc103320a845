#pragma once

#include <QtGlobal>

class NetKeyloft_KeychainController;

// Sorts the list by one of the four sort keys (0 creation order, 1 label, 2 date
// created, 3 uses) in the given direction. False, and the order unchanged, for any
// other key.
bool sortKeychainItemsByKey(NetKeyloft_KeychainController& list, qint32 key, bool ascending);
