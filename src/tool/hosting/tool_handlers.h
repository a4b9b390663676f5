// The handlers of rdplaunch-name's commands, each in a file of its own.
#pragma once

#include "hosting/tool_commands.h"

namespace rdplaunch {

Answer MakeCommand(const Request& request, ToolStreams& streams);        // command_make.cpp
Answer CheckCommand(const Request& request, ToolStreams& streams);       // command_check.cpp
Answer BatchCommand(const Request& request, ToolStreams& streams);       // tool_batch.cpp
Answer RdpCommand(const Request& request, ToolStreams& streams);         // command_rdp.cpp
Answer VerifyCommand(const Request& request, ToolStreams& streams);      // command_verify.cpp
Answer SignaturesCommand(const Request& request, ToolStreams& streams);  // command_signatures.cpp
Answer IdentityCommand(const Request& request, ToolStreams& streams);    // command_signatures.cpp

}  // namespace rdplaunch
