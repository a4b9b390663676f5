// A command line's answer from rdplaunch-name, as the tool's tests ask for it.
#pragma once

#include <string>
#include <vector>

#include "hosting/tool_parse.h"

namespace rdplaunch::testing {

// The answer to a command line, with no standard input.
inline Answer Answered(const std::vector<std::string>& arguments) { return RunCommand(ParseCommandLine(arguments)); }

}  // namespace rdplaunch::testing
