#pragma once

#include "platform/SecretBytes.h"

#include <QString>

#include <optional>

// The user's terminal and the standard streams, as the command line needs them.
// Prompts and questions go to the controlling terminal (/dev/tty), not to the
// standard streams, so they work while standard input and output are redirected.
namespace Terminal {

// Whether a controlling terminal can be opened for prompts.
bool isAvailable();
bool stdinIsTerminal();
bool stdoutIsTerminal();

// Asks on the terminal with echo off and returns the line typed, without its end of
// line; no value when there is no terminal or input ended before a line was given.
std::optional<SecretBytes> readSecret(const QString& prompt);

// Asks for a new secret twice on the terminal, again while the two differ.
std::optional<SecretBytes> readNewSecret(const QString& prompt);

// Asks a yes-or-no question on the terminal; only an answer starting with y or Y is
// yes. No value when there is no terminal.
std::optional<bool> confirm(const QString& question);

// Reads the first line from descriptor fd, without its end of line (a file without a
// line end gives all of it). No value when the descriptor is not open for reading.
std::optional<SecretBytes> readLineFromDescriptor(int fd);

// Reads all of standard input, dropping one final line end ("\n" or "\r\n").
// No value when standard input cannot be read.
std::optional<SecretBytes> readAllStandardInput();

// Writes bytes to standard output or standard error as they are, no conversion.
bool writeOut(const char* bytes, std::size_t size);
void writeErr(const QString& text);
bool writeOut(const QString& text);

} // namespace Terminal
