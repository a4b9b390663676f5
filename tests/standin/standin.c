/* Stand-in for a system tool (cmdkey.exe, mstsc.exe) in the end-to-end tests. It
 * appends to the file named by STANDIN_LOG what it was started with: its own name, the
 * raw command line and each argument as Windows splits it (as hexadecimal ANSI bytes, and
 * again as hexadecimal UTF-8, which holds every character whatever the code page),
 * the .rdp files beside the file it was handed, and when it started (Unix time in ms).
 * STANDIN_SLEEP_MS keeps it running for a while, STANDIN_EXIT_CODE sets its exit code.
 * Just before it ends it records again the .rdp files and whether the program that
 * started it is still running: both are facts about the moment the tool is still alive,
 * so a test can tell whether its starter waited, without racing it. */
#include <windows.h>

#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tlhelp32.h>

static void WriteHex(FILE* log, const char* bytes) {
  for (; *bytes; ++bytes) fprintf(log, "%02x", (unsigned char)*bytes);
}

static const char* BaseName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  return name;
}

static void ListConnectionFiles(FILE* log, const char* tag, const char* fileArgument) {
  char pattern[MAX_PATH * 2];
  const char* name = BaseName(fileArgument);
  size_t folderLength = (size_t)(name - fileArgument);
  if (folderLength == 0 || folderLength >= MAX_PATH) return;
  memcpy(pattern, fileArgument, folderLength);
  strcpy(pattern + folderLength, "*.rdp");
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    fprintf(log, "%s ", tag);
    WriteHex(log, found.cFileName);
    fprintf(log, " %lu\n", (unsigned long)found.nFileSizeLow);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

/* 1 when the process that started this one is still running, 0 when it has ended. */
static int ParentIsRunning(void) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry = {.dwSize = sizeof entry};
  DWORD parent = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  HANDLE process = parent != 0 ? OpenProcess(SYNCHRONIZE, FALSE, parent) : NULL;
  if (process == NULL) return 0;
  int running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

int main(void) {
  char logPath[MAX_PATH];
  if (!GetEnvironmentVariableA("STANDIN_LOG", logPath, sizeof logPath)) return 0;
  char ownPath[MAX_PATH];
  GetModuleFileNameA(NULL, ownPath, sizeof ownPath);
  FILE* log = fopen(logPath, "ab");
  if (log == NULL) return 3;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks = {.LowPart = now.dwLowDateTime, .HighPart = now.dwHighDateTime};
  fprintf(log, "BEGIN %s\nTIME %llu\nCMDLINE ", BaseName(ownPath),
          (unsigned long long)((ticks.QuadPart - 116444736000000000ULL) / 10000));
  WriteHex(log, GetCommandLineA());
  fprintf(log, "\n");

  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  char lastArgument[MAX_PATH * 4] = "";
  for (int i = 1; arguments != NULL && i < count; ++i) {
    WideCharToMultiByte(CP_ACP, 0, arguments[i], -1, lastArgument, sizeof lastArgument, NULL, NULL);
    fprintf(log, "ARG ");
    WriteHex(log, lastArgument);
    char utf8[MAX_PATH * 4] = "";
    WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, utf8, sizeof utf8, NULL, NULL);
    fprintf(log, "\nARGU ");
    WriteHex(log, utf8);
    fprintf(log, "\n");
  }
  if (count > 1) ListConnectionFiles(log, "FILE", lastArgument);
  fclose(log);

  char value[32];
  if (GetEnvironmentVariableA("STANDIN_SLEEP_MS", value, sizeof value)) Sleep((DWORD)atol(value));
  int exitCode = 0;
  if (GetEnvironmentVariableA("STANDIN_EXIT_CODE", value, sizeof value)) exitCode = atoi(value);

  log = fopen(logPath, "ab");
  if (log != NULL) {
    if (count > 1) ListConnectionFiles(log, "ENDFILE", lastArgument);
    fprintf(log, "PARENT %d\n", ParentIsRunning());
    fprintf(log, "END %s\n", BaseName(ownPath));
    fclose(log);
  }
  return exitCode;
}
