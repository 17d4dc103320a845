#pragma once

#include <cstdint>

// Results of keychain operations: 0 for success, a negative code for a failure.
// The numbers are the ones desktop keychain services have always used, so a
// status read in a log or an alert means the same on every backend.
using OSStatus = std::int32_t;

enum KeychainStatusCode : OSStatus {
    errSecSuccess = 0,
    errSecUnimplemented = -4,
    errSecDiskFull = -34,
    errSecIO = -36,
    errSecOpWr = -49,
    errSecParam = -50,
    errSecWrPerm = -61,
    errSecAllocate = -108,
    errSecUserCanceled = -128,
    errSecNotAvailable = -25291,
    errSecReadOnly = -25292,
    errSecAuthFailed = -25293,
    errSecNoSuchKeychain = -25294,
    errSecInvalidKeychain = -25295,
    errSecDuplicateKeychain = -25296,
    errSecDuplicateItem = -25299,
    errSecItemNotFound = -25300,
    errSecDataTooLarge = -25302,
    errSecNoSuchAttr = -25303,
    errSecInvalidItemRef = -25304,
    errSecInvalidSearchRef = -25305,
    errSecNoSuchClass = -25306,
    errSecNoDefaultKeychain = -25307,
    errSecInteractionNotAllowed = -25308,
    errSecInteractionRequired = -25315, // a prompt was shown but not answered in time
    errSecDecode = -26275,
};
