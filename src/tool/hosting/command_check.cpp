// check: what the launcher would do with a file of a given name.
#include "hosting/tool_handlers.h"
#include "hosting/tool_inputs.h"
#include "hosting/tool_text.h"
#include "rdpfile/connection_file.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

struct CheckArguments {
  std::string name;
  bool showPassword = false;
};

std::string Utf8(std::string_view cp1251) { return Cp1251ToUtf8(cp1251); }

// A copy already on a user's machine is what it is: the warning says why Windows or a
// browser would not have delivered this name intact, and the rest still tells what it does.
Answer Check(const CheckArguments& arguments) {
  auto checked = CheckedName(arguments.name);
  if (Answer* refused = std::get_if<Answer>(&checked)) return std::move(*refused);
  const NameCheck& check = std::get<NameCheck>(checked);
  const LaunchFields& f = check.read.fields;
  const std::string password =
      arguments.showPassword || f.password.empty() ? Utf8(f.password) : std::string(kMaskedPassword);
  const bool valid = check.renameReason.empty();

  Answer answer;
  answer.Json("valid", valid);
  if (!check.browserChange.empty()) {
    answer.Text("warning", "a browser changes this name when it saves it (it holds " + check.browserChange + ")");
  }
  answer.Both("user", "user name", Utf8(f.userName)).Both("password", "password", password);
  answer.Json("browser_safe", check.browserChange.empty());
  if (!valid) {
    return answer.Refusal("the launcher shows the rename message", check.renameReason);
  }
  const ConnectionTarget& t = check.read.profile->target;
  const std::string_view companion = check.read.profile->companionHost;
  answer.Text("desktop file", Utf8(RdpFileName(t.displayName))).Json("display_name", Utf8(t.displayName));
  answer.Both("alias", "alias", Utf8(t.alias)).Json("host", std::string(t.host)).Json("port", std::string(t.port));
  answer.Text("server", std::string(t.host) + ":" + std::string(t.port));
  companion.empty() ? answer.Json("companion_host", nullptr) : answer.Json("companion_host", std::string(companion));
  return answer.Text("companion", companion.empty() ? std::string("none")
                                                    : Utf8(RdpFileName(kCompanionApplication.displayName)) + " on " +
                                                          std::string(companion));
}

using B = Bind<CheckArguments>;
constexpr Parameter kValues[] = {
    B::Value<&CheckArguments::name>("NAME", "a launcher's file name, a folder in front of it or not", "name")};
constexpr Parameter kOptions[] = {
    B::Flag<&CheckArguments::showPassword>("--show-password", "show the password instead of ***", "show_password")};

std::string Help() {
  return "Tells what the launcher would do with a file of that name (a path is fine), and\n"
         "warns when Windows or a browser would not deliver the name intact.";
}

}  // namespace

const CommandRow kCheckCommand{"check", kValues, kOptions, Help, true, B::Run<Check>};

}  // namespace rdplaunch
