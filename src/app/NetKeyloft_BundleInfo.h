#pragma once

#include <QString>

// The application's bundle information: its version and build number, set when
// the program is built.
namespace NetKeyloft_BundleInfo {

// The value under key ("CFBundleShortVersionString", "BrenmoorBuildString"), or
// an empty string for a key the bundle does not hold.
QString value(const QString& key);

} // namespace NetKeyloft_BundleInfo
