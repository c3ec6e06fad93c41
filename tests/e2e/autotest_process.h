#pragma once
// The programs a script starts.
#include <windows.h>

#include <string>
#include <vector>

struct Process {
  HANDLE handle = nullptr;
  DWORD id = 0;
};

// Starts the program `words[0]` with the arguments after it, each quoted. 0, or the system's
// error code when it cannot be started.
DWORD StartProcess(const std::vector<std::string>& words, Process& process);
// Ends the process when it still runs (exit code 99) and lets go of it.
void EndProcess(const Process& process);
