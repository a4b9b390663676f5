// The operating-system services the launcher needs, as one interface: the Win32
// implementation is the only code that talks to Windows, and tests use a recording fake.
// Every text crosses this interface as code page 1251 bytes, whatever the system's own
// code page: the implementation converts at its side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rdplaunch {

using FileHandle = std::uintptr_t;
using ProcessHandle = std::uintptr_t;
using SystemErrorCode = std::uint32_t;  // 0 means success

inline constexpr std::size_t kModulePathCapacity = 261;

// Message box styles, with the values Windows gives them.
inline constexpr unsigned kBoxOk = 0x0000;
inline constexpr unsigned kBoxIconStop = 0x0010;
inline constexpr unsigned kBoxIconInformation = 0x0040;
inline constexpr unsigned kBoxTaskModal = 0x2000;

// A module file path in a fixed buffer, so that failure reporting never allocates.
struct ModulePath {
  char bytes[kModulePathCapacity]{};
  std::size_t length = 0;
  std::string_view View() const { return {bytes, length}; }
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The running executable and the system.
  virtual std::optional<std::string> OwnFileName() = 0;  // nothing when it has a character 1251 lacks
  virtual unsigned AnsiCodePage() = 0;                   // the code page non-Unicode programs use
  virtual unsigned WindowsMajorVersion() = 0;            // as recorded at start-up; 0 when the query failed
  virtual std::string SystemFolder() = 0;
  virtual std::optional<std::string> DesktopFolder() = 0;

  // Boxes. Both are modal and return when the user has dismissed them.
  virtual void ShowInformationBox(std::string_view text, std::string_view caption) = 0;
  virtual void ShowFailureBox(const char* text, const char* caption, unsigned style) = 0;

  // Files: each call returns the system's error code, 0 on success. A write that succeeds
  // may still have written fewer bytes than it was given. Closing and removing never
  // allocate: a file is also discarded on the way out of a processor fault.
  virtual SystemErrorCode CreateFileForWriting(const std::string& path, FileHandle& handle) = 0;
  virtual SystemErrorCode WriteFile(FileHandle handle, const char* bytes, std::size_t size, std::size_t& written) = 0;
  virtual SystemErrorCode CloseFile(FileHandle handle) = 0;
  virtual void RemoveFile(const std::string& path) = 0;

  // Programs: started hidden through the shell; WaitForExit blocks until the process
  // has ended and releases the handle.
  virtual SystemErrorCode StartHidden(const std::string& program, const std::string& parameters,
                                      ProcessHandle& process) = 0;
  virtual void WaitForExit(ProcessHandle process) = 0;
  virtual std::string SystemErrorText(SystemErrorCode code) = 0;

  // Code addresses, for the failure box: the module holding an address and its load address.
  virtual bool ModuleContaining(std::uintptr_t address, ModulePath& path, std::uintptr_t& base) = 0;
  virtual void OwnModule(ModulePath& path, std::uintptr_t& base) = 0;

  [[noreturn]] virtual void ExitProcess(int exitCode) = 0;
  // Ends the process without running anything more of it (no library or DLL shutdown
  // code), for when another thread may hold a lock that such code would wait for.
  [[noreturn]] virtual void EndProcessAtOnce(int exitCode) = 0;
};

// The platform of the running process (the Win32 one in the shipped executable).
Platform& SystemPlatform();

}  // namespace rdplaunch
