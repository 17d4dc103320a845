#pragma once

#include <QString>

#include <chrono>
#include <cstddef>
#include <optional>

class Clipboard;
class ClipboardClearer;
class Dialogs;

// String helpers that the whole program uses.
namespace NetKeyloftStringUtils {

// Makes text the clipboard's only content, marked as a secret for clipboard managers;
// when the clipboard does not take it, tells the user so and answers false.
bool toPasteboard(const QString& text, Clipboard& clipboard, Dialogs& dialogs);
// The same, and when the text was copied, clearer (when given) takes it off the clipboard
// again after clearAfter (never without one).
bool toPasteboard(const QString& text, Clipboard& clipboard, Dialogs& dialogs,
                  ClipboardClearer* clearer, std::optional<std::chrono::milliseconds> clearAfter);

// Looks key up in the translations (a key without a text shows the key itself)
// and shows it in a blocking alert.
void toErrorMessageLocalized(const QString& key, Dialogs& dialogs);

// The text behind a translation key, or the key itself when it has none.
QString localizedString(const QString& key);

// A new random UUID: 36 upper-case hexadecimal characters in groups of
// 8-4-4-4-12 joined by hyphens, no braces.
QString uuid();

// Decodes exactly length bytes as strict UTF-8; a NUL byte is a character.
// Bytes that are not valid UTF-8 give a null string.
QString stringWithData(const char* bytes, std::size_t length);

} // namespace NetKeyloftStringUtils
