#pragma once
// The HID class driver and device-setup interfaces. MinGW-w64's HID headers carry no C
// linkage of their own and need NTSTATUS, which the lean windows.h leaves out.
#include <windows.h>
// After windows.h, which they build on.
#include <setupapi.h>
#include <winternl.h>

// hidsdi.h brings the parser's interface (hidpi.h) after the usage types it needs.
extern "C" {
#include <hidsdi.h>
}
