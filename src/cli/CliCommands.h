#pragma once

#include "cli/CliCommand.h"

// What each command of keyloft-cli does; the table in CliCommandTable.cpp names them.
int runList(const CliInvocation& invocation, CliSession& session);
int runShow(const CliInvocation& invocation, CliSession& session);
int runAdd(const CliInvocation& invocation, CliSession& session);
int runRename(const CliInvocation& invocation, CliSession& session);
int runEdit(const CliInvocation& invocation, CliSession& session);
int runRemove(const CliInvocation& invocation, CliSession& session);
int runExport(const CliInvocation& invocation, CliSession& session);
int runImport(const CliInvocation& invocation, CliSession& session);
int runMerge(const CliInvocation& invocation, CliSession& session);
int runCreateKeychain(const CliInvocation& invocation, CliSession& session);
