#include "autotest_process.h"

#include "autotest_strings.h"
#include "platform/utf.h"

DWORD StartProcess(const std::vector<std::string>& words, Process& process) {
  std::wstring commandLine;
  for (size_t i = 0; i < words.size(); ++i) {
    commandLine += (i > 0 ? L" \"" : L"\"") + qx80::WideFromUtf8(words[i]) + L"\"";
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return GetLastError();
  }
  CloseHandle(info.hThread);
  process = {info.hProcess, info.dwProcessId};
  return 0;
}

void EndProcess(const Process& process) {
  if (WaitForSingleObject(process.handle, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process.handle, 99);
  }
  CloseHandle(process.handle);
}
