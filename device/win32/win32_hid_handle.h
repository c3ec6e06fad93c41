#pragma once
// The Win32 HidHandle: whole reports moved with overlapped ReadFile/WriteFile, one
// OVERLAPPED record and one manual-reset event per direction.
//
// It works on any handle opened with FILE_FLAG_OVERLAPPED; the HID specifics (path, ids,
// report lengths, report id) are found by the backend before it is made.
#include <memory>

#include "device/hid_backend.h"
#include "device/win32/win32_unique_handle.h"

namespace qx80 {

// Takes ownership of `file`. Null when `file` is not valid or an event cannot be created;
// nothing stays open then.
std::unique_ptr<HidHandle> MakeWin32HidHandle(UniqueHandle file, const HidInterfaceCaps& caps);

}  // namespace qx80
