#include "tests/device_win32/wine_hid.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

namespace qx80 {
namespace {

// The system handle table as ntdll returns it (information class 16).
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004L);

struct SystemHandleEntry {
  ULONG processId;
  UCHAR objectType;
  UCHAR flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};

struct SystemHandleTable {
  ULONG count;
  SystemHandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

size_t CountInSystemTable() {
  const auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) {
    return 0;
  }
  std::vector<unsigned char> buffer(1 << 16);
  LONG status = 0;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr)) ==
         kStatusInfoLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) {
    return 0;
  }
  const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
  const DWORD self = GetCurrentProcessId();
  size_t count = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    count += table->entries[i].processId == self ? 1 : 0;
  }
  return count;
}

}  // namespace

bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

size_t CountOwnHandles() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) {
    return count;
  }
  return CountInSystemTable();
}

void ReleaseBlockedCall(const std::function<void()>& blockingCall, const std::function<void()>& release) {
  std::promise<void> started;
  auto ended = std::async(std::launch::async, [&] {
    started.set_value();
    blockingCall();
  });
  started.get_future().wait();
  // Give the call time to block. The outcome does not depend on it: a release that comes
  // first must make the call fail at once, too.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  release();
  if (ended.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    std::fprintf(stderr, "a blocked call was not released\n");
    std::abort();
  }
}

}  // namespace qx80
