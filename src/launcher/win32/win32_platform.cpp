// The Windows implementation of the platform: the only file that includes <windows.h>.
// The launcher's texts are code page 1251 whatever language Windows runs in, so every
// text crosses into Windows through the Unicode ("W") functions, converted here from
// and to code page 1251; the system's own ANSI code page is never used for them.

// The interface comes first: were one of its names a <windows.h> macro, the
// overrides below would no longer match it and the build would stop.
#include "platform/platform.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "failure/failure_reporting.h"
#include "failure/failure_text.h"
#include "name/launch_name.h"

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

constexpr UINT kLauncherCodePage = 1251;
constexpr DWORD kLongPathCapacity = 32768;  // the longest path Windows has, in UTF-16 units
constexpr UINT kInformationStyle = kBoxOk | kBoxIconInformation;
constexpr WORD kRussianLanguage = 0x04E3;
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;
constexpr ULONG kStackKeptForFaultReports = 64 * 1024;

static_assert(kBoxOk == MB_OK && kBoxIconStop == MB_ICONSTOP && kBoxIconInformation == MB_ICONINFORMATION &&
              kBoxTaskModal == MB_TASKMODAL);
// The shell checks the request's size: 60 bytes in a 32-bit program, 112 in a 64-bit one.
static_assert(sizeof(SHELLEXECUTEINFOW) == (sizeof(void*) == 4 ? 60 : 112), "the shell request's size");

// Code page 1251 text as UTF-16, with its terminating zero. A vector rather than std::wstring: the library's
// wide string would bring a second string implementation into the executable.
class WideText {
 public:
  explicit WideText(std::string_view cp1251) {
    const int size = static_cast<int>(cp1251.size());
    const int length = size == 0 ? 0 : MultiByteToWideChar(kLauncherCodePage, 0, cp1251.data(), size, nullptr, 0);
    units_.resize(static_cast<std::size_t>(length) + 1);
    if (length > 0) MultiByteToWideChar(kLauncherCodePage, 0, cp1251.data(), size, units_.data(), length);
  }
  const wchar_t* c_str() const { return units_.data(); }

 private:
  std::vector<wchar_t> units_;
};

// UTF-16 text as code page 1251, or nothing when it has a character 1251 lacks: no
// character may silently become another one (a best fit) or a '?'.
std::optional<std::string> ExactCp1251(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  std::string text(WideCharToMultiByte(kLauncherCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, nullptr,
                                       &usedDefault),
                   '\0');
  WideCharToMultiByte(kLauncherCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, text.data(),
                      static_cast<int>(text.size()), nullptr, &usedDefault);
  if (usedDefault || text.empty()) return std::nullopt;
  return text;
}

// Only the system directory may supply DLLs that are loaded later (shell extensions,
// delay-loaded parts of the system): the launcher runs from a download folder. Both
// calls are looked up at run time so that Windows XP, which lacks the first, starts;
// where only the second exists it removes the current folder from the search and no more.
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

void PrepareFaultReports();

class Win32Platform final : public Platform {
 public:
  Win32Platform()
      : majorVersion_(QueryWindowsMajorVersion()),
        wideModulePath_(kLongPathCapacity),
        modulePath_(kLongPathCapacity),
        widePathToRemove_(kLongPathCapacity) {
    RestrictDllSearchToSystemDirectory();
    PrepareFaultReports();
  }

  // The name part is found in UTF-16, and only it must be code page 1251: the folder may
  // hold anything.
  std::optional<std::string> OwnFileName() override {
    std::vector<wchar_t> path(kLongPathCapacity);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), kLongPathCapacity);
    if (length == 0 || length >= kLongPathCapacity) return std::string();
    return ExactCp1251(FileNamePart(std::wstring_view(path.data(), length)));
  }

  unsigned AnsiCodePage() override { return GetACP(); }

  unsigned WindowsMajorVersion() override { return majorVersion_; }

  // A system folder that 1251 cannot name gives no path at all, so no tool is started
  // from a folder of a similar name.
  std::string SystemFolder() override {
    wchar_t folder[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return {};
    return ExactCp1251(std::wstring_view(folder, length)).value_or(std::string());
  }

  // A desktop folder that 1251 cannot name (a user name in another script) is reached by
  // its short name where the volume has one; otherwise the lookup fails.
  std::optional<std::string> DesktopFolder() override {
    wchar_t folder[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT, folder))) return std::nullopt;
    if (std::optional<std::string> exact = ExactCp1251(folder)) return exact;
    wchar_t shortFolder[MAX_PATH + 1] = {};
    const DWORD length = GetShortPathNameW(folder, shortFolder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return std::nullopt;
    return ExactCp1251(std::wstring_view(shortFolder, length));
  }

  void ShowInformationBox(std::string_view text, std::string_view caption) override {
    MessageBoxExW(nullptr, WideText(text).c_str(), WideText(caption).c_str(), kInformationStyle, kRussianLanguage);
  }

  // Converted in fixed buffers: reporting a failure never needs the heap.
  void ShowFailureBox(const char* text, const char* caption, unsigned style) override {
    wchar_t wideText[kFailureTextLimit + 1];
    wchar_t wideCaption[80];
    if (MultiByteToWideChar(kLauncherCodePage, 0, text, -1, wideText, kFailureTextLimit + 1) == 0) wideText[0] = 0;
    if (MultiByteToWideChar(kLauncherCodePage, 0, caption, -1, wideCaption, 80) == 0) wideCaption[0] = 0;
    MessageBoxW(nullptr, wideText, wideCaption, style);
  }

  SystemErrorCode CreateFileForWriting(const std::string& path, FileHandle& handle) override {
    HANDLE file = CreateFileW(WideText(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    handle = reinterpret_cast<FileHandle>(file);
    return 0;
  }

  SystemErrorCode WriteFile(FileHandle handle, const char* bytes, std::size_t size, std::size_t& written) override {
    DWORD count = 0;
    const BOOL done = ::WriteFile(reinterpret_cast<HANDLE>(handle), bytes, static_cast<DWORD>(size), &count, nullptr);
    written = count;
    return done ? 0 : GetLastError();
  }

  SystemErrorCode CloseFile(FileHandle handle) override {
    return CloseHandle(reinterpret_cast<HANDLE>(handle)) ? 0 : GetLastError();
  }

  // Converted in a buffer made at start-up: a file is also removed on the way out of a
  // processor fault, when the heap may be held by the faulting thread.
  void RemoveFile(const std::string& path) override {
    const int length = MultiByteToWideChar(kLauncherCodePage, 0, path.data(), static_cast<int>(path.size()),
                                           widePathToRemove_.data(), kLongPathCapacity - 1);
    if (length == 0) return;
    widePathToRemove_[length] = 0;
    DeleteFileW(widePathToRemove_.data());
  }

  // The request asks for the process handle and the hidden show state; no verb, no
  // directory. Texts are never passed as null pointers. The tool receives its command
  // line in UTF-16, so its arguments arrive intact in every Windows language.
  SystemErrorCode StartHidden(const std::string& program, const std::string& parameters,
                              ProcessHandle& process) override {
    const WideText wideProgram(program);
    const WideText wideParameters(parameters);
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.lpFile = wideProgram.c_str();
    request.lpParameters = wideParameters.c_str();
    request.nShow = SW_HIDE;
    if (!ShellExecuteExW(&request)) {
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
  }

  // English where the system has it; a character of another language that 1251 lacks
  // shows as '?'.
  std::string SystemErrorText(SystemErrorCode code) override {
    wchar_t text[512];
    DWORD length = 0;
    for (const DWORD language : {static_cast<DWORD>(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), DWORD{0}}) {
      length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, language, text,
                              512, nullptr);
      if (length != 0) break;
    }
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) {
      --length;
    }
    if (length == 0) return "system error " + std::to_string(code);
    std::string narrow(length, '?');
    WideCharToMultiByte(kLauncherCodePage, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(length), narrow.data(),
                        static_cast<int>(length), "?", nullptr);
    return narrow;
  }

  bool ModuleContaining(std::uintptr_t address, ModulePath& path, std::uintptr_t& base) override {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0) return false;
    if (region.State != MEM_COMMIT) return false;
    base = reinterpret_cast<std::uintptr_t>(region.AllocationBase);
    return ModulePathOf(static_cast<HMODULE>(region.AllocationBase), path);
  }

  void OwnModule(ModulePath& path, std::uintptr_t& base) override {
    ModulePathOf(nullptr, path);
    base = reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
  }

  [[noreturn]] void ExitProcess(int exitCode) override { ::ExitProcess(static_cast<UINT>(exitCode)); }

  // ExitProcess would run the DLLs' shutdown code (the C run-time's frees its buffers),
  // which waits for ever for a lock held by a thread that faulted.
  [[noreturn]] void EndProcessAtOnce(int exitCode) override {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    ::ExitProcess(static_cast<UINT>(exitCode));  // not reached
  }

 private:
  // A module's path for the failure box, in buffers made at start-up so that reporting
  // needs no heap: the path as code page 1251 (a character 1251 lacks shows as '?');
  // when it is longer than the box's buffer, its end, which holds the file name.
  bool ModulePathOf(HMODULE module, ModulePath& path) {
    const DWORD length = GetModuleFileNameW(module, wideModulePath_.data(), kLongPathCapacity);
    path.length = 0;
    if (length == 0 || length >= kLongPathCapacity) return false;
    const int size = WideCharToMultiByte(kLauncherCodePage, WC_NO_BEST_FIT_CHARS, wideModulePath_.data(),
                                         static_cast<int>(length), modulePath_.data(), kLongPathCapacity, "?", nullptr);
    const std::size_t kept = static_cast<std::size_t>(size) < kModulePathCapacity ? size : kModulePathCapacity - 1;
    for (std::size_t i = 0; i < kept; ++i) path.bytes[i] = modulePath_[size - kept + i];
    path.length = kept;
    return kept > 0;
  }

  unsigned majorVersion_;
  std::vector<wchar_t> wideModulePath_;
  std::vector<char> modulePath_;
  std::vector<wchar_t> widePathToRemove_;
};

// The fault being reported. Only one is: a second fault while it is reported ends the
// process at once.
volatile LONG faultBeingReported = 0;
EXCEPTION_RECORD reportedFault;
HANDLE stackOverflowReported = nullptr;  // an event, set when a stack overflow waits for its report

LONG WINAPI ReportProcessorFault(EXCEPTION_POINTERS* pointers);
LONG WINAPI HandOverStackOverflow(EXCEPTION_POINTERS* pointers);

[[noreturn]] void ReportFault() {
  HandleProcessorFault(SystemPlatform(), reportedFault.ExceptionCode,
                       reinterpret_cast<std::uintptr_t>(reportedFault.ExceptionAddress));
}

DWORD WINAPI ReportStackOverflow(void*) {
  WaitForSingleObject(stackOverflowReported, INFINITE);
  ReportFault();
}

// After a stack overflow the faulting thread has almost no stack left, too little even
// to start a thread. So a thread with a stack of its own waits from the start to report
// one, and the system is asked to keep some stack for the fault handler (looked up at
// run time: Windows XP lacks it). Without that thread a stack overflow is reported on the
// spot, as far as the stack allows.
void PrepareFaultReports() {
  if (HMODULE kernel = GetModuleHandleA("kernel32.dll")) {
    using SetThreadStackGuaranteeFn = BOOL(WINAPI*)(PULONG);
    auto guarantee = reinterpret_cast<SetThreadStackGuaranteeFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadStackGuarantee")));
    ULONG size = kStackKeptForFaultReports;
    if (guarantee != nullptr) guarantee(&size);
  }
  stackOverflowReported = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE reporter =
      stackOverflowReported != nullptr ? CreateThread(nullptr, 0, ReportStackOverflow, nullptr, 0, nullptr) : nullptr;
  if (reporter != nullptr) {
    CloseHandle(reporter);
    AddVectoredExceptionHandler(1, HandOverStackOverflow);
  } else if (stackOverflowReported != nullptr) {
    CloseHandle(stackOverflowReported);
    stackOverflowReported = nullptr;
  }
  SetUnhandledExceptionFilter(ReportProcessorFault);
}

// A processor fault that nothing handled: reported in the failure box (or the fallback
// box when the failure-reporting layer is not in place); the process ends there. It is
// reported on the spot, where the locks the thread holds (the heap's, say) cannot keep
// another thread waiting.
LONG WINAPI ReportProcessorFault(EXCEPTION_POINTERS* pointers) {
  if (InterlockedExchange(&faultBeingReported, 1) != 0) ::ExitProcess(kExitFailureBox);
  reportedFault = *pointers->ExceptionRecord;
  ReportFault();
}

// A stack overflow is handed to the waiting thread before the system looks for handlers
// frame by frame, which would need stack the thread no longer has. Nothing in the
// launcher handles one, so it always ends the run.
LONG WINAPI HandOverStackOverflow(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW) return EXCEPTION_CONTINUE_SEARCH;
  if (InterlockedExchange(&faultBeingReported, 1) != 0) ::ExitProcess(kExitFailureBox);
  reportedFault = *pointers->ExceptionRecord;
  SetEvent(stackOverflowReported);
  Sleep(INFINITE);  // the report ends the process
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

Platform& SystemPlatform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace rdplaunch
