// The launcher's entry point. It takes nothing from the command line: everything it
// needs travels in its own file name.
#include "launch/launch_sequence.h"

int main() { rdplaunch::RunProcess(rdplaunch::SystemPlatform(), rdplaunch::RunLaunchSequence); }
