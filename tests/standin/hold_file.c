/* Holds a file open without sharing it for writing, for a given number of milliseconds,
 * so that the end-to-end tests can see the launcher meet a file another program has open.
 * Prints "held" once the file is open. Usage: hold_file PATH MILLISECONDS */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  printf("held\n");
  fflush(stdout);
  Sleep((DWORD)atol(argv[2]));
  CloseHandle(file);
  return 0;
}
