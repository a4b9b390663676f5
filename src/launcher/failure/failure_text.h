// The texts of the failure box and of the fallback box, composed in fixed buffers so
// that reporting a failure (memory exhaustion included) never needs the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace rdplaunch {

inline constexpr std::size_t kFailureTextLimit = 1024;
inline constexpr std::size_t kModuleNameLimit = 260;

struct FailureText {
  char bytes[kFailureTextLimit + 1]{};
  std::size_t length = 0;
  std::string_view View() const { return {bytes, length}; }
};

// Room for a module name with its password field replaced by "***".
struct ModuleName {
  char bytes[kModuleNameLimit + 4]{};
  std::size_t length = 0;
  std::string_view View() const { return {bytes, length}; }
};

std::string IoErrorMessage(std::int32_t code);

void TakeModuleName(std::string_view modulePath, ModuleName& name);
void MaskPasswordField(ModuleName& name);
void FormatFailureText(std::string_view className, std::string_view moduleName, std::uint32_t offset,
                       std::string_view message, FailureText& text);
void ComposeFailureText(Platform& platform, std::string_view className, std::string_view message,
                        std::uintptr_t address, FailureText& text);

// "Runtime error NNN at XXXXXXXX": 29 characters and a terminating zero.
struct RuntimeErrorText {
  char bytes[30] = "Runtime error     at 00000000";
};
void FormatRuntimeErrorText(int number, std::uintptr_t address, RuntimeErrorText& text);

}  // namespace rdplaunch
