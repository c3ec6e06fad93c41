#pragma once
// Reading and finding the windows of the programs under test.
#include <windows.h>

#include <string>
#include <vector>

std::wstring WindowText(HWND hwnd);
std::wstring ClassName(HWND hwnd);
// A visible top-level dialog of process `processId` titled `title` that is none of `known`;
// with `control` other than 0, only one that has that control. Null when there is none.
HWND FindDialog(DWORD processId, const std::wstring& title, int control, const std::vector<HWND>& known);
