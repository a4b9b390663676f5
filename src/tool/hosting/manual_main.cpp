// Writes rdplaunch-name's manual page (roff) to standard output: the build makes the page
// from the same rows as the tool's help, so the two never disagree.
#include <iostream>

#include "hosting/tool_commands.h"

int main() {
  std::cout << rdplaunch::ManualPage() << std::flush;
  return std::cout ? 0 : 1;
}
