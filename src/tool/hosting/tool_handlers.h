// rdplaunch-name's commands, each declared with its handler in a file of its own.
#pragma once

#include "hosting/tool_commands.h"

namespace rdplaunch {

extern const CommandRow kMakeCommand;        // command_make.cpp
extern const CommandRow kCheckCommand;       // command_check.cpp
extern const CommandRow kRdpCommand;         // command_rdp.cpp
extern const CommandRow kVerifyCommand;      // command_verify.cpp
extern const CommandRow kSignaturesCommand;  // command_signatures.cpp
extern const CommandRow kIdentityCommand;    // command_identity.cpp
extern const CommandRow kVersionCommand;     // command_version.cpp

}  // namespace rdplaunch
