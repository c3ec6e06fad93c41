#include "autotest_windows.h"

#include <algorithm>

namespace {

struct FindRequest {
  DWORD processId;
  const std::wstring& title;
  const std::vector<HWND>& known;
  int control;  // 0: any window; else it must have this control
  HWND found;
};

BOOL CALLBACK FindInRequest(HWND hwnd, LPARAM param) {
  auto* request = reinterpret_cast<FindRequest*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == request->processId && IsWindowVisible(hwnd) && ClassName(hwnd) == L"#32770" &&
      WindowText(hwnd) == request->title && (request->control == 0 || GetDlgItem(hwnd, request->control) != nullptr) &&
      std::find(request->known.begin(), request->known.end(), hwnd) == request->known.end()) {
    request->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::wstring WindowText(HWND hwnd) {
  const int length = static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const auto copied =
      SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(length + 1), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(copied));
  return text;
}

std::wstring ClassName(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

HWND FindDialog(DWORD processId, const std::wstring& title, int control, const std::vector<HWND>& known) {
  FindRequest request{processId, title, known, control, nullptr};
  EnumWindows(&FindInRequest, reinterpret_cast<LPARAM>(&request));
  return request.found;
}
