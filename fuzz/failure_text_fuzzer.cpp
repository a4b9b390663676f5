// Feeds arbitrary failure codes, addresses, class names, messages and module paths
// through the composition of the failure box and fallback box texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "failure/failure_text.h"
#include "fakes/fake_platform.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

template <typename T>
T Take(std::string_view& input) {
  T value{};
  const std::size_t n = input.size() < sizeof value ? input.size() : sizeof value;
  std::memcpy(&value, input.data(), n);
  input.remove_prefix(n);
  return value;
}

std::string TakeText(std::string_view& input) {
  const std::size_t length = Take<std::uint16_t>(input) % (input.size() + 1);
  std::string text(input.substr(0, length));
  input.remove_prefix(length);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rdplaunch;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto code = Take<std::int32_t>(input);
  const auto address = Take<std::uint32_t>(input);
  const int number = Take<std::uint16_t>(input) % 1000;
  const std::string className = TakeText(input);
  const std::string modulePath = TakeText(input);
  const std::string message(input);

  const std::string ioMessage = IoErrorMessage(code);
  Require(!ioMessage.empty());

  testing::FakePlatform platform;
  platform.ownPath = modulePath;
  FailureText text;
  ComposeFailureText(platform, className, message, address, text);
  Require(text.length <= kFailureTextLimit && text.bytes[text.length] == '\0');
  ComposeFailureText(platform, className, ioMessage, address, text);
  Require(text.length <= kFailureTextLimit);

  RuntimeErrorText fallback;
  FormatRuntimeErrorText(number, address, fallback);
  Require(std::strlen(fallback.bytes) == 29 && std::string_view(fallback.bytes, 14) == "Runtime error ");
  return 0;
}
