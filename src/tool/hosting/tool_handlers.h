// The handlers of rdplaunch-name's commands, each in a file of its own.
#pragma once

#include "hosting/tool_commands.h"

namespace rdplaunch {

Answer MakeCommand(const Request& request);        // command_make.cpp
Answer CheckCommand(const Request& request);       // command_check.cpp
Answer RdpCommand(const Request& request);         // command_rdp.cpp
Answer VerifyCommand(const Request& request);      // command_verify.cpp
Answer SignaturesCommand(const Request& request);  // command_signatures.cpp
Answer IdentityCommand(const Request& request);    // command_signatures.cpp

}  // namespace rdplaunch
