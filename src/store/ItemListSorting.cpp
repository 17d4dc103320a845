#include "store/ItemListSorting.h"

#include "store/NetKeyloft_KeychainController.h"

bool sortKeychainItemsByKey(NetKeyloft_KeychainController& list, qint32 key, bool ascending)
{
    switch (key) {
    case 0:
        list.sortKeychainItemsByIndexAscending(ascending);
        return true;
    case 1:
        list.sortKeychainItemsByLableAscending(ascending);
        return true;
    case 2:
        list.sortKeychainItemsByDateCreatedAscending(ascending);
        return true;
    case 3:
        list.sortKeychainItemsByCountUsedAscending(ascending);
        return true;
    default:
        return false;
    }
}
