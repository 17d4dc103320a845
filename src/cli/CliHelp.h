#pragma once

#include "cli/CliCommand.h"

#include <QString>

// The help texts of keyloft-cli, made from the command table.
namespace CliHelp {

QString general();
QString forCommand(const CliCommandSpec& command);
QString version();

} // namespace CliHelp
