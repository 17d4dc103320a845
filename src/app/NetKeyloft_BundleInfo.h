#pragma once

#include <QString>

// The application's bundle information: its version and build number, and the address
// of its update feed, set when the program is built.
namespace NetKeyloft_BundleInfo {

// The value under key ("CFBundleShortVersionString", "BrenmoorBuildString",
// "KeyloftUpdateFeedURL"), or an empty string for a key the bundle does not hold.
QString value(const QString& key);

} // namespace NetKeyloft_BundleInfo
