/* The least a program can do to start a tool the way the launcher does: one hidden
 * ShellExecuteExA of the cmdkey stand-in, awaited. The start-up benchmark's second baseline. */
#include <windows.h>

#include <shellapi.h>

int main(void) {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH - 16);
  lstrcpyA(path + length, "\\cmdkey.exe");
  SHELLEXECUTEINFOA request = {0};
  request.cbSize = sizeof request;
  request.fMask = SEE_MASK_NOCLOSEPROCESS;
  request.lpFile = path;
  request.lpParameters = "";
  request.nShow = SW_HIDE;
  if (!ShellExecuteExA(&request)) return 1;
  WaitForSingleObject(request.hProcess, INFINITE);
  CloseHandle(request.hProcess);
  return 0;
}
