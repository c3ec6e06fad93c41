// The commands of the script language, each a function over the session; kCommands at the
// end names them.
// clang-format off
#include <windows.h>  // windows.h first: the others build on its types
#include <commctrl.h>
#include <shlobj.h>  // DROPFILES
// clang-format on

#include "autotest_commands.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "autotest_bmp.h"
#include "autotest_capture.h"
#include "autotest_strings.h"
#include "autotest_windows.h"
#include "platform/utf.h"

namespace {

// A progress bar may cross its whole range in well under a second: it is sampled faster.
constexpr DWORD kProgressPollMs = 5;

// Whether the command has exactly n - 1 arguments; the error says so when not.
bool Need(const Words& w, size_t n, std::string& error) {
  if (w.size() == n) {
    return true;
  }
  error = w[0] + " takes " + std::to_string(n - 1) + " arguments";
  return false;
}

// start
bool DoStart(Session& s, const Words& w, std::string& error) {
  if (w.size() < 3) {
    error = "start takes a process name, a program and its arguments";
    return false;
  }
  Process process;
  const DWORD failure = StartProcess({w.begin() + 2, w.end()}, process);
  if (failure != 0) {
    error = "cannot start " + w[2] + " (error " + std::to_string(failure) + ")";
    return false;
  }
  s.processes[w[1]] = process;
  return true;
}

// window
bool DoWindow(Session& s, const Words& w, std::string& error) {
  if (w.size() != 5 && !Need(w, 4, error)) {
    return false;
  }
  const auto p = s.processes.find(w[2]);
  if (p == s.processes.end()) {
    error = "no process " + w[2];
    return false;
  }
  const int control = w.size() > 4 ? std::stoi(w[4]) : 0;
  const std::wstring title = qx80::WideFromUtf8(w[3]);
  std::vector<HWND> known;
  for (const auto& [name, hwnd] : s.windows) {
    if (name != w[1] && IsWindow(hwnd)) {
      known.push_back(hwnd);
    }
  }
  HWND found = nullptr;
  const bool appeared = s.WaitFor(
      [&](std::string& e) {
        found = FindDialog(p->second.id, title, control, known);
        e = "no window titled \"" + w[3] + "\" in process " + w[2];
        return found != nullptr;
      },
      error);
  if (appeared) {
    s.windows[w[1]] = found;
  }
  return appeared;
}

// gone
bool DoGone(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 2, error)) {
    return false;
  }
  const HWND hwnd = s.windows[w[1]];
  return s.WaitFor(
      [&](std::string& e) {
        e = "window " + w[1] + " is still there";
        return !IsWindow(hwnd);
      },
      error);
}

// text, prefix, class
bool DoText(Session& s, const Words& w, std::string& error) {
  const std::string& command = w[0];
  if (!Need(w, 4, error)) {
    return false;
  }
  return s.WaitForControl(
      w,
      [&](HWND control, std::string& e) {
        const std::string actual = qx80::Utf8FromWide(command == "class" ? ClassName(control) : WindowText(control));
        e = command + " of " + w[1] + "/" + w[2] + " is \"" + actual.substr(0, 200) + "\", not \"" + w[3] + "\"";
        if (command == "prefix") {
          return actual.rfind(w[3], 0) == 0;
        }
        return actual == w[3];
      },
      error);
}

// enabled, checked
bool DoState(Session& s, const Words& w, std::string& error) {
  const std::string& command = w[0];
  if (!Need(w, 4, error)) {
    return false;
  }
  const bool want = w[3] == "1";
  return s.WaitForControl(
      w,
      [&](HWND control, std::string& e) {
        const bool actual = command == "enabled" ? IsWindowEnabled(control) != FALSE
                                                 : SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
        e = command + " of " + w[1] + "/" + w[2] + " is " + (actual ? "1" : "0");
        return actual == want;
      },
      error);
}

// focused
bool DoFocused(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 3, error)) {
    return false;
  }
  return s.WaitForControl(
      w,
      [&](HWND control, std::string& e) {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        const bool read = GetGUIThreadInfo(GetWindowThreadProcessId(control, nullptr), &info) != FALSE;
        e = "focus of " + w[1] + "'s thread is on control " +
            (read && info.hwndFocus != nullptr ? std::to_string(GetDlgCtrlID(info.hwndFocus)) : "none") + ", not " +
            w[2];
        return read && info.hwndFocus == control;
      },
      error);
}

// window-enabled
bool DoWindowEnabled(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 3, error)) {
    return false;
  }
  const bool want = w[2] == "1";
  return s.WaitFor(
      [&](std::string& e) {
        HWND hwnd = nullptr;
        if (!s.Window(w[1], hwnd, e)) {
          return false;
        }
        e = "window " + w[1] + " enabled is " + (IsWindowEnabled(hwnd) ? "1" : "0");
        return (IsWindowEnabled(hwnd) != FALSE) == want;
      },
      error);
}

// click
bool DoClick(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 3, error)) {
    return false;
  }
  HWND control = nullptr;
  if (!s.Control(w, control, error)) {
    return false;
  }
  // Posted, so that a modal loop the click opens does not block the driver.
  return PostMessageW(control, BM_CLICK, 0, 0) != FALSE;
}

// command
bool DoCommand(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 3, error)) {
    return false;
  }
  HWND hwnd = nullptr;
  if (!s.Window(w[1], hwnd, error)) {
    return false;
  }
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(std::stoi(w[2]), BN_CLICKED), 0);
  return true;
}

// progress
bool DoProgress(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 4, error)) {
    return false;
  }
  return s.WaitForControl(
      w,
      [&](HWND control, std::string& e) {
        const auto pos = SendMessageW(control, PBM_GETPOS, 0, 0);
        e = "progress of " + w[1] + "/" + w[2] + " is " + std::to_string(pos);
        return pos == std::stoi(w[3]);
      },
      error);
}

// progress-over
bool DoProgressOver(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 4, error)) {
    return false;
  }
  return s.WaitForControl(
      w,
      [&](HWND control, std::string& e) {
        const auto pos = SendMessageW(control, PBM_GETPOS, 0, 0);
        e = "progress of " + w[1] + "/" + w[2] + " is " + std::to_string(pos);
        return pos > std::stoi(w[3]);
      },
      error, kProgressPollMs);
}

// moving
bool DoMoving(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 3, error)) {
    return false;
  }
  LRESULT first = -1;
  return s.WaitForControl(
      w,
      [&](HWND control, std::string& e) {
        const LRESULT pos = SendMessageW(control, PBM_GETPOS, 0, 0);
        if (first < 0) {
          first = pos;
        }
        e = "progress of " + w[1] + "/" + w[2] + " stayed at " + std::to_string(pos);
        return (pos > 0 && pos < 100) || pos > first;
      },
      error, kProgressPollMs);
}

// red
bool DoRed(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 4, error)) {
    return false;
  }
  const bool want = w[3] == "1";
  return s.WaitForControl(
      w,
      [&](HWND control, std::string& e) {
        ScreenPixels pixels;
        if (!Capture(control, pixels)) {
          e = "cannot capture control " + w[1] + "/" + w[2];
          return false;
        }
        const bool red = HasPureRed(pixels);
        e = "control " + w[1] + "/" + w[2] + (red ? " shows" : " shows no") + " pure red";
        return red == want;
      },
      error);
}

// syscommand
bool DoSyscommand(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 3, error)) {
    return false;
  }
  HWND hwnd = nullptr;
  if (!s.Window(w[1], hwnd, error)) {
    return false;
  }
  return PostMessageW(hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(std::stoul(w[2], nullptr, 0)), 0) != FALSE;
}

// key
bool DoKey(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 3, error)) {
    return false;
  }
  HWND hwnd = nullptr;
  if (!s.Window(w[1], hwnd, error)) {
    return false;
  }
  const WORD key = w[2] == "enter" ? VK_RETURN : w[2] == "escape" ? VK_ESCAPE : 0;
  if (key == 0) {
    error = "unknown key " + w[2];
    return false;
  }
  // Typed keys go to the foreground window's focus, as a user's would.
  const bool foreground = s.WaitFor(
      [&](std::string& e) {
        SetForegroundWindow(hwnd);
        e = "window " + w[1] + " does not come to the foreground";
        return GetForegroundWindow() == hwnd;
      },
      error);
  if (!foreground) {
    return false;
  }
  INPUT typed[2] = {};
  typed[0].type = INPUT_KEYBOARD;
  typed[0].ki.wVk = key;
  typed[1] = typed[0];
  typed[1].ki.dwFlags = KEYEVENTF_KEYUP;
  if (SendInput(2, typed, sizeof(INPUT)) != 2) {
    error = "cannot type " + w[2];
    return false;
  }
  return true;
}

// close
bool DoClose(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 2, error)) {
    return false;
  }
  HWND hwnd = nullptr;
  if (!s.Window(w[1], hwnd, error)) {
    return false;
  }
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(hwnd, WM_CLOSE, 0, 0, SMTO_NORMAL, s.timeoutMs, &result) == 0) {
    error = "window " + w[1] + " did not handle WM_CLOSE";
    return false;
  }
  return true;
}

// drop
bool DoDrop(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 3, error)) {
    return false;
  }
  HWND hwnd = nullptr;
  if (!s.Window(w[1], hwnd, error)) {
    return false;
  }
  // The block as the shell makes it: the header, then the UTF-16 paths, each ended by a
  // zero, and one more zero. A drop handle is valid only in the receiving process, so the
  // block is written into that process's memory; the handle is its address, which the
  // receiver's DragQueryFileW reads and its DragFinish gives back (a page, kept when the
  // receiver's heap does not know it: harmless in a test).
  const std::wstring path = qx80::WideFromUtf8(w[2]);
  std::vector<uint8_t> block(sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t), 0);
  DROPFILES header{};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = TRUE;
  std::memcpy(block.data(), &header, sizeof(header));
  std::memcpy(block.data() + sizeof(header), path.data(), path.size() * sizeof(wchar_t));
  DWORD processId = 0;
  GetWindowThreadProcessId(hwnd, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) {
    error = "cannot open the process of window " + w[1];
    return false;
  }
  void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  const bool written =
      remote != nullptr && WriteProcessMemory(process, remote, block.data(), block.size(), nullptr) != FALSE;
  CloseHandle(process);
  if (!written || PostMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) == FALSE) {
    error = "cannot drop " + w[2] + " on window " + w[1];
    return false;
  }
  return true;
}

// snapshot
bool DoSnapshot(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 3, error)) {
    return false;
  }
  HWND hwnd = nullptr;
  if (!s.Window(w[1], hwnd, error)) {
    return false;
  }
  ScreenPixels pixels;
  if (Capture(hwnd, pixels) && WriteBmp(pixels, qx80::WideFromUtf8(w[2]))) {
    return true;
  }
  error = "cannot capture " + w[1] + " into " + w[2];
  return false;
}

// running, exit, kill
bool DoProcess(Session& s, const Words& w, std::string& error) {
  const std::string& command = w[0];
  if (!Need(w, command == "exit" ? 3 : 2, error)) {
    return false;
  }
  const auto p = s.processes.find(w[1]);
  if (p == s.processes.end()) {
    error = "no process " + w[1];
    return false;
  }
  if (command == "kill") {
    TerminateProcess(p->second.handle, 0);
    return WaitForSingleObject(p->second.handle, s.timeoutMs) == WAIT_OBJECT_0;
  }
  if (command == "running") {
    error = "process " + w[1] + " has ended";
    return WaitForSingleObject(p->second.handle, 0) == WAIT_TIMEOUT;
  }
  if (WaitForSingleObject(p->second.handle, s.timeoutMs) != WAIT_OBJECT_0) {
    error = "process " + w[1] + " is still running";
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(p->second.handle, &code);
  error = "process " + w[1] + " ended with " + std::to_string(code) + ", not " + w[2];
  return code == static_cast<DWORD>(std::stoul(w[2]));
}

// Written beside the file and renamed into place, so that the reader never sees half of it.
bool Ask(const Session& s, const std::wstring& file, const std::string& text, std::string& error) {
  const std::wstring partial = file + L".partial";
  HANDLE out = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    error = "cannot write " + qx80::Utf8FromWide(partial);
    return false;
  }
  DWORD done = 0;
  const bool written = WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) != FALSE;
  CloseHandle(out);
  if (!written || !MoveFileExW(partial.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error = "cannot write " + qx80::Utf8FromWide(file);
    return false;
  }
  return s.WaitFor(
      [&](std::string& e) {
        e = "nobody took the request \"" + text + "\" in " + qx80::Utf8FromWide(file);
        return GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES;
      },
      error);
}

// ask
bool DoAsk(Session& s, const Words& w, std::string& error) {
  if (!Need(w, 3, error)) {
    return false;
  }
  return Ask(s, qx80::WideFromUtf8(w[1]), w[2], error);
}

using Handler = bool (*)(Session&, const Words&, std::string&);

// The script's commands, each to its handler.
constexpr std::pair<std::string_view, Handler> kCommands[] = {
    {"start", &DoStart},
    {"window", &DoWindow},
    {"gone", &DoGone},
    {"text", &DoText},
    {"prefix", &DoText},
    {"class", &DoText},
    {"enabled", &DoState},
    {"checked", &DoState},
    {"focused", &DoFocused},
    {"window-enabled", &DoWindowEnabled},
    {"click", &DoClick},
    {"command", &DoCommand},
    {"progress", &DoProgress},
    {"moving", &DoMoving},
    {"red", &DoRed},
    {"syscommand", &DoSyscommand},
    {"key", &DoKey},
    {"snapshot", &DoSnapshot},
    {"close", &DoClose},
    {"drop", &DoDrop},
    {"progress-over", &DoProgressOver},
    {"running", &DoProcess},
    {"exit", &DoProcess},
    {"kill", &DoProcess},
    {"ask", &DoAsk},
};

}  // namespace

bool Execute(Session& session, const Words& w, std::string& error) {
  for (const auto& [name, handler] : kCommands) {
    if (w[0] == name) {
      return handler(session, w, error);
    }
  }
  error = "unknown command " + w[0];
  return false;
}
