// The Windows implementation of the platform: the only file that includes <windows.h>.
// All texts cross into Windows as ANSI bytes through the "A" functions.

// The interface comes first: were one of its names a <windows.h> macro, the
// overrides below would no longer match it and the build would stop.
#include "platform/platform.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdlib>
#include <exception>

#include "failure/failure_reporting.h"

namespace rdplaunch {

namespace {

// Closes a kernel handle on every path.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

constexpr DWORD kDesktopBufferSize = 4097;
constexpr UINT kInformationStyle = kBoxOk | kBoxIconInformation;
static_assert(kBoxOk == MB_OK && kBoxIconStop == MB_ICONSTOP && kBoxIconInformation == MB_ICONINFORMATION &&
              kBoxTaskModal == MB_TASKMODAL);
constexpr WORD kRussianLanguage = 0x04E3;
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;

// The shell checks the request's size: 60 bytes in a 32-bit program, 112 in a 64-bit one.
static_assert(sizeof(SHELLEXECUTEINFOA) == (sizeof(void*) == 4 ? 60 : 112), "the shell request's size");

// Only the system directory may supply DLLs that are loaded later (shell extensions,
// delay-loaded parts of the system): the launcher runs from a download folder. Both
// calls are looked up at run time so that Windows XP, which lacks the first, starts.
void RestrictDllSearchToSystemDirectory() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(kLoadLibrarySearchSystem32)) return;
  auto setDirectory =
      reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (setDirectory != nullptr) setDirectory("");
}

unsigned QueryWindowsMajorVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return 0;
#pragma GCC diagnostic pop
  return info.dwMajorVersion;
}

LONG WINAPI ReportProcessorFault(EXCEPTION_POINTERS* pointers);

class Win32Platform final : public Platform {
 public:
  Win32Platform() : majorVersion_(QueryWindowsMajorVersion()) {
    RestrictDllSearchToSystemDirectory();
    SetUnhandledExceptionFilter(ReportProcessorFault);
  }

  std::string OwnModulePath() override {
    char path[kModulePathCapacity];
    const DWORD length = GetModuleFileNameA(nullptr, path, kModulePathCapacity);
    return std::string(path, length > kModulePathCapacity ? kModulePathCapacity : length);
  }

  LeadBytes SystemLeadBytes() override {
    LeadBytes leadBytes;
    for (unsigned byte = 0; byte < 256; ++byte) leadBytes[byte] = IsDBCSLeadByte(static_cast<BYTE>(byte)) != 0;
    return leadBytes;
  }

  unsigned WindowsMajorVersion() override { return majorVersion_; }

  std::string SystemFolder() override {
    char folder[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return {};
    return std::string(folder, length);
  }

  std::optional<std::string> DesktopFolder() override {
    char folder[kDesktopBufferSize] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT, folder))) return std::nullopt;
    return std::string(folder, strnlen(folder, sizeof folder));
  }

  void ShowInformationBox(std::string_view text, std::string_view caption) override {
    const std::string textZ(text);
    const std::string captionZ(caption);
    MessageBoxExA(nullptr, textZ.c_str(), captionZ.c_str(), kInformationStyle, kRussianLanguage);
  }

  void ShowFailureBox(const char* text, const char* caption, unsigned style) override {
    MessageBoxA(nullptr, text, caption, style);
  }

  SystemErrorCode CreateFileForWriting(const std::string& path, FileHandle& handle) override {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    handle = reinterpret_cast<FileHandle>(file);
    return 0;
  }

  SystemErrorCode WriteFile(FileHandle handle, const char* bytes, std::size_t size) override {
    DWORD written = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(handle), bytes, static_cast<DWORD>(size), &written, nullptr)) {
      return GetLastError();
    }
    return 0;
  }

  SystemErrorCode CloseFile(FileHandle handle) override {
    return CloseHandle(reinterpret_cast<HANDLE>(handle)) ? 0 : GetLastError();
  }

  void RemoveFile(const std::string& path) override { DeleteFileA(path.c_str()); }

  // The request asks for the process handle and the hidden show state; no verb, no
  // directory. Texts are never passed as null pointers.
  SystemErrorCode StartHidden(const std::string& program, const std::string& parameters,
                              ProcessHandle& process) override {
    SHELLEXECUTEINFOA request{};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.lpFile = program.c_str();
    request.lpParameters = parameters.c_str();
    request.nShow = SW_HIDE;
    if (!ShellExecuteExA(&request)) {
      const DWORD code = GetLastError();
      return code != 0 ? code : ERROR_FILE_NOT_FOUND;
    }
    process = reinterpret_cast<ProcessHandle>(request.hProcess);
    return 0;
  }

  // Blocks on the handle itself: no polling, no processor time while the tool runs,
  // and a tool that ends with exit code 259 is seen to end like any other.
  void WaitForExit(ProcessHandle process) override {
    UniqueHandle handle(reinterpret_cast<HANDLE>(process));
    if (handle.Get() == nullptr) return;
    WaitForSingleObject(handle.Get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(handle.Get(), &exitCode);
  }

  std::string SystemErrorText(SystemErrorCode code) override {
    char text[512];
    DWORD length = 0;
    for (const DWORD language : {static_cast<DWORD>(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), DWORD{0}}) {
      length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, language, text,
                              sizeof text, nullptr);
      if (length != 0) break;
    }
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) --length;
    if (length == 0) return "system error " + std::to_string(code);
    return std::string(text, length);
  }

  bool ModuleContaining(std::uintptr_t address, ModulePath& path, std::uintptr_t& base) override {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0) return false;
    if (region.State != MEM_COMMIT) return false;
    path.length = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path.bytes, kModulePathCapacity);
    if (path.length >= kModulePathCapacity) path.length = kModulePathCapacity - 1;
    base = reinterpret_cast<std::uintptr_t>(region.AllocationBase);
    return path.length > 0;
  }

  void OwnModule(ModulePath& path, std::uintptr_t& base) override {
    path.length = GetModuleFileNameA(nullptr, path.bytes, kModulePathCapacity);
    if (path.length >= kModulePathCapacity) path.length = kModulePathCapacity - 1;
    base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
  }

  [[noreturn]] void ExitProcess(int exitCode) override { ::ExitProcess(static_cast<UINT>(exitCode)); }

 private:
  unsigned majorVersion_;
};

// A processor fault that nothing handled: reported in the failure box (or the fallback
// box when the failure-reporting layer is not in place); the process ends there.
LONG WINAPI ReportProcessorFault(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  HandleProcessorFault(SystemPlatform(), record->ExceptionCode,
                       reinterpret_cast<std::uintptr_t>(record->ExceptionAddress));
}

}  // namespace

Platform& SystemPlatform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace rdplaunch
