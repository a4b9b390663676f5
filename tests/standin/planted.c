/* A DLL placed beside the launcher by the end-to-end tests, the way an attacker would
 * plant one in a download folder: the launcher must never load it by name. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
