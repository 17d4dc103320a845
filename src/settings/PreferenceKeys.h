#pragma once

#include <QLatin1String>

// The keys of the application's preferences; each value equals its name.
// NetKeyloft_Preferences registers their defaults.

// Path of the keychain file that holds the entries; "init" when none was chosen.
inline constexpr QLatin1String NKLPREFS_KeychainPath_Key{"NKLPREFS_KeychainPath_Key"};
// Continuous spell checking in the edit window's text views.
inline constexpr QLatin1String NKLPREFS_UseSpellChecker_Key{"NKLPREFS_UseSpellChecker_Key"};
// Sort key of the entry list: 0 creation order, 1 label, 2 date created, 3 uses.
inline constexpr QLatin1String NKLPREFS_SortBy_Key{"NKLPREFS_SortBy_Key"};
// Sort direction: true ascending.
inline constexpr QLatin1String NKLPREFS_SortAscending_Key{"NKLPREFS_SortAscending_Key"};
// The user wants the application started at login.
inline constexpr QLatin1String NKLPREFS_LoadAtStartup_Key{"NKLPREFS_LoadAtStartup_Key"};
// The first-launch registration among the login items has been done.
inline constexpr QLatin1String NKLPREFS_LoadAtStartupSet_Key{"NKLPREFS_LoadAtStartupSet_Key"};
// Minutes without use after which a keychain file locks; 0 for never.
inline constexpr QLatin1String NKLPREFS_LockAfterIdle_Key{"NKLPREFS_LockAfterIdle_Key"};
// Seconds a copied password stays on the clipboard before it is cleared; 0 never clears.
inline constexpr QLatin1String NKLPREFS_ClearClipboardAfter_Key{"NKLPREFS_ClearClipboardAfter_Key"};
// Copied user names are cleared from the clipboard as passwords are.
inline constexpr QLatin1String NKLPREFS_ClearCopiedUserNames_Key{
    "NKLPREFS_ClearCopiedUserNames_Key"};
// The password generator: length (8 to 128), the character classes it draws from, and
// whether it leaves out characters easily read as one another.
inline constexpr QLatin1String NKLPREFS_GeneratorLength_Key{"NKLPREFS_GeneratorLength_Key"};
inline constexpr QLatin1String NKLPREFS_GeneratorLowercase_Key{"NKLPREFS_GeneratorLowercase_Key"};
inline constexpr QLatin1String NKLPREFS_GeneratorUppercase_Key{"NKLPREFS_GeneratorUppercase_Key"};
inline constexpr QLatin1String NKLPREFS_GeneratorDigits_Key{"NKLPREFS_GeneratorDigits_Key"};
inline constexpr QLatin1String NKLPREFS_GeneratorSymbols_Key{"NKLPREFS_GeneratorSymbols_Key"};
inline constexpr QLatin1String NKLPREFS_GeneratorAvoidLookAlikes_Key{
    "NKLPREFS_GeneratorAvoidLookAlikes_Key"};
