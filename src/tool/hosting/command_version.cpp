// version: the tool's version, for --version and for a batch caller that checks what it talks to.
#include "hosting/tool_handlers.h"

namespace rdplaunch {

namespace {

struct VersionArguments {};

Answer Version(const VersionArguments&) {
  Answer answer;
  answer.headline = "rdplaunch-name " + std::string(ToolVersion());
  return answer.Json("version", std::string(ToolVersion()));
}

std::string Help() { return "Prints the tool's version (also as --version)."; }

}  // namespace

const CommandRow kVersionCommand{"version", {}, {}, Help, true, Bind<VersionArguments>::Run<Version>};

}  // namespace rdplaunch
