// qx80-autotest: drives Windows programs through their windows, for the end-to-end tests.
//
// It runs a script of one command a line against the processes it starts: find their
// top-level windows by title, read control texts and states, press buttons, send system
// commands, capture windows to bitmaps and check exit codes. Every expectation is retried
// until it holds or its time runs out, so the script needs no sleeps.
//
//   qx80-autotest.exe [--set NAME=VALUE]... [--texts FILE] SCRIPT
//
// Script lines ('#' starts a comment; words with blanks are quoted with "..."; "$NAME" in a
// word is replaced by a variable, whose value stays in that word; "within S" before a
// command gives its wait S seconds instead of 15):
//   start P EXE [ARG]...          start EXE with its arguments as process P
//   window W P TITLE [ID]         wait for a visible top-level dialog of P titled TITLE, other
//                                 than the windows already named (a message box titled as
//                                 its owner is found beside it); with ID, only one that has
//                                 control ID (65535: a message box), for two windows of one
//                                 title that may appear in either order
//   gone W                        wait until window W no longer exists
//   text W ID TEXT                control ID of W reads TEXT (ID 65535: a message box text)
//   prefix W ID TEXT              control ID of W starts with TEXT
//   class W ID CLASS              control ID of W has window class CLASS
//   enabled W ID 0|1              control ID of W is disabled or enabled
//   focused W ID                  control ID of W has the keyboard focus of W's thread
//   checked W ID 0|1              button ID of W is unchecked or checked
//   window-enabled W 0|1          window W itself is disabled or enabled
//   click W ID                    press button ID of W
//   command W ID                  send W the command ID and wait until it is handled (Enter
//                                 sends IDOK, Escape IDCANCEL)
//   progress W ID POS             progress bar ID of W stands at POS
//   moving W ID                   progress bar ID of W is seen moving: at a position strictly
//                                 between 0 and 100, or at two rising positions
//   red W ID 0|1                  control ID of W shows no pure red pixels on the screen, or some
//   syscommand W CMD              send system command CMD to W
//   key W enter|escape            type the key on the keyboard with W in the foreground
//   close W                       send W WM_CLOSE, as Task Manager's "End task" and taskkill
//                                 without /F do, and wait until it is handled
//   drop W FILE                   drop FILE on W: post WM_DROPFILES with a DROPFILES block
//                                 made in W's process, as the shell does
//   progress-over W ID POS        progress bar ID of W stands beyond POS
//   snapshot W FILE               capture W as it is on the screen into a BMP file
//   running P                     process P is still running
//   exit P CODE                   process P ends with exit code CODE
//   kill P                        end process P
//   ask FILE TEXT                 write TEXT into FILE for the program that runs this script
//                                 and wait until it has done what was asked (it removes FILE)
// Variables files hold NAME=VALUE lines in UTF-8; "\r\n" in a value stands for CR LF.
// clang-format off
#include <windows.h>  // windows.h first: the others build on its types
#include <commctrl.h>
#include <shlobj.h>  // DROPFILES
// clang-format on

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kDefaultTimeoutMs = 15000;
constexpr DWORD kPollMs = 50;
// A progress bar may cross its whole range in well under a second: it is sampled faster.
constexpr DWORD kProgressPollMs = 5;

std::wstring Widen(const std::string& s) {
  if (s.empty()) {
    return {};
  }
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) {
    return {};
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::string Escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

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

struct Process {
  HANDLE handle = nullptr;
  DWORD id = 0;
};

struct FindRequest {
  DWORD processId;
  std::wstring title;
  std::vector<HWND> known;
  HWND found;
  int control;  // 0: any window; else it must have this control
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param) {
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

// The pixels of a window's screen rectangle, bottom-up rows of 24-bit BGR.
struct ScreenPixels {
  int width = 0;
  int height = 0;
  DWORD stride = 0;
  std::vector<uint8_t> bgr;
};

bool Capture(HWND hwnd, ScreenPixels& pixels) {
  SetForegroundWindow(GetAncestor(hwnd, GA_ROOT));
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  Sleep(300);  // let the window system finish drawing before the pixels are read
  RECT r{};
  if (!GetWindowRect(hwnd, &r)) {
    return false;
  }
  pixels.width = r.right - r.left;
  pixels.height = r.bottom - r.top;
  pixels.stride = (static_cast<DWORD>(pixels.width) * 3 + 3) & ~3u;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = pixels.width;
  info.bmiHeader.biHeight = pixels.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied =
      bits != nullptr && BitBlt(memory, 0, 0, pixels.width, pixels.height, screen, r.left, r.top, SRCCOPY) != FALSE;
  GdiFlush();
  if (copied) {
    const auto* begin = static_cast<const uint8_t*>(bits);
    pixels.bgr.assign(begin, begin + pixels.stride * static_cast<DWORD>(pixels.height));
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return copied;
}

bool WriteBmp(const ScreenPixels& pixels, const std::wstring& file) {
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = pixels.width;
  info.biHeight = pixels.height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = static_cast<DWORD>(pixels.bgr.size());
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  header.bfSize = header.bfOffBits + info.biSizeImage;
  HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD done = 0;
  const bool written = WriteFile(out, &header, sizeof(header), &done, nullptr) &&
                       WriteFile(out, &info, sizeof(info), &done, nullptr) &&
                       WriteFile(out, pixels.bgr.data(), info.biSizeImage, &done, nullptr);
  CloseHandle(out);
  return written;
}

bool HasPureRed(const ScreenPixels& pixels) {
  for (int y = 0; y < pixels.height; ++y) {
    for (int x = 0; x < pixels.width; ++x) {
      const uint8_t* p = &pixels.bgr[y * pixels.stride + static_cast<DWORD>(x) * 3];
      if (p[0] == 0 && p[1] == 0 && p[2] == 255) {
        return true;
      }
    }
  }
  return false;
}

class Runner {
 public:
  std::map<std::string, std::string> m_variables;

  bool Run(const std::string& scriptPath) {
    std::ifstream script(scriptPath);
    if (!script) {
      return Fail(0, "cannot read the script " + scriptPath);
    }
    std::string line;
    int number = 0;
    while (std::getline(script, line)) {
      ++number;
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
      // Split before the variables are replaced: a value may hold blanks and quotation marks.
      const std::string code = line.substr(0, line.find('#'));
      auto words = Split(code);
      if (words.empty()) {
        continue;
      }
      for (auto& word : words) {
        word = Expand(word);
      }
      std::printf("  %d: %s\n", number, Escaped(Expand(code)).c_str());
      std::fflush(stdout);
      m_timeoutMs = kDefaultTimeoutMs;
      if (words[0] == "within" && words.size() > 2) {
        m_timeoutMs = static_cast<DWORD>(std::stoul(words[1])) * 1000;
        words.erase(words.begin(), words.begin() + 2);
      }
      std::string error;
      if (!Execute(words, error)) {
        return Fail(number, error);
      }
    }
    return true;
  }

  ~Runner() {
    for (auto& [name, process] : m_processes) {
      if (WaitForSingleObject(process.handle, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.handle, 99);
      }
      CloseHandle(process.handle);
    }
  }

 private:
  static bool Fail(int line, const std::string& error) {
    std::printf("FAIL at script line %d: %s\n", line, Escaped(error).c_str());
    return false;
  }

  std::string Expand(const std::string& line) const {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] != '$') {
        out += line[i];
        continue;
      }
      size_t end = i + 1;
      while (end < line.size() && (isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_')) {
        ++end;
      }
      const auto it = m_variables.find(line.substr(i + 1, end - i - 1));
      out += it != m_variables.end() ? it->second : line.substr(i, end - i);
      i = end - 1;
    }
    return out;
  }

  static std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
      if (line[i] == ' ' || line[i] == '\t') {
        ++i;
        continue;
      }
      std::string word;
      if (line[i] == '"') {
        const size_t end = line.find('"', i + 1);
        word = line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
        i = end == std::string::npos ? line.size() : end + 1;
      } else {
        const size_t end = line.find_first_of(" \t", i);
        word = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
        i = end == std::string::npos ? line.size() : end;
      }
      words.push_back(word);
    }
    return words;
  }

  // Retries `check` until it holds or the line's time runs out; `error` describes the last miss.
  template <typename Check>
  bool WaitFor(Check check, std::string& error, DWORD pollMs = kPollMs) const {
    const DWORD start = GetTickCount();
    while (true) {
      if (check(error)) {
        return true;
      }
      if (GetTickCount() - start > m_timeoutMs) {
        return false;
      }
      Sleep(pollMs);
    }
  }

  bool Window(const std::string& name, HWND& hwnd, std::string& error) {
    const auto it = m_windows.find(name);
    if (it == m_windows.end() || !IsWindow(it->second)) {
      error = "window " + name + " does not exist";
      return false;
    }
    hwnd = it->second;
    return true;
  }

  bool Control(const std::vector<std::string>& w, HWND& control, std::string& error) {
    HWND dialog = nullptr;
    if (!Window(w[1], dialog, error)) {
      return false;
    }
    control = GetDlgItem(dialog, std::stoi(w[2]));
    if (control == nullptr) {
      error = "window " + w[1] + " has no control " + w[2];
      return false;
    }
    return true;
  }

  // WaitFor over the control that w[1] and w[2] name; a missing window or control is a miss too.
  template <typename Check>
  bool WaitForControl(const std::vector<std::string>& w, Check check, std::string& error, DWORD pollMs = kPollMs) {
    return WaitFor(
        [&](std::string& e) {
          HWND control = nullptr;
          return Control(w, control, e) && check(control, e);
        },
        error, pollMs);
  }

  // Whether the command has exactly n - 1 arguments; the error says so when not.
  static bool Need(const std::vector<std::string>& w, size_t n, std::string& error) {
    if (w.size() == n) {
      return true;
    }
    error = w[0] + " takes " + std::to_string(n - 1) + " arguments";
    return false;
  }

  // start
  bool DoStart(const std::vector<std::string>& w, std::string& error) {
    if (w.size() < 3) {
      error = "start takes a process name, a program and its arguments";
      return false;
    }
    std::wstring commandLine;
    for (size_t i = 2; i < w.size(); ++i) {
      commandLine += (i > 2 ? L" \"" : L"\"") + Widen(w[i]) + L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      error = "cannot start " + w[2] + " (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
    CloseHandle(info.hThread);
    m_processes[w[1]] = {info.hProcess, info.dwProcessId};
    return true;
  }

  // window
  bool DoWindow(const std::vector<std::string>& w, std::string& error) {
    if (w.size() != 5 && !Need(w, 4, error)) {
      return false;
    }
    const auto p = m_processes.find(w[2]);
    if (p == m_processes.end()) {
      error = "no process " + w[2];
      return false;
    }
    const int control = w.size() > 4 ? std::stoi(w[4]) : 0;
    FindRequest request{p->second.id, Widen(w[3]), {}, nullptr, control};
    for (const auto& [name, hwnd] : m_windows) {
      if (name != w[1] && IsWindow(hwnd)) {
        request.known.push_back(hwnd);
      }
    }
    const bool found = WaitFor(
        [&](std::string& e) {
          request.found = nullptr;
          EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&request));
          e = "no window titled \"" + w[3] + "\" in process " + w[2];
          return request.found != nullptr;
        },
        error);
    if (found) {
      m_windows[w[1]] = request.found;
    }
    return found;
  }

  // gone
  bool DoGone(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 2, error)) {
      return false;
    }
    const HWND hwnd = m_windows[w[1]];
    return WaitFor(
        [&](std::string& e) {
          e = "window " + w[1] + " is still there";
          return !IsWindow(hwnd);
        },
        error);
  }

  // text, prefix, class
  bool DoText(const std::vector<std::string>& w, std::string& error) {
    const std::string& command = w[0];
    if (!Need(w, 4, error)) {
      return false;
    }
    return WaitForControl(
        w,
        [&](HWND control, std::string& e) {
          const std::string actual = Narrow(command == "class" ? ClassName(control) : WindowText(control));
          e = command + " of " + w[1] + "/" + w[2] + " is \"" + actual.substr(0, 200) + "\", not \"" + w[3] + "\"";
          if (command == "prefix") {
            return actual.rfind(w[3], 0) == 0;
          }
          return actual == w[3];
        },
        error);
  }

  // enabled, checked
  bool DoState(const std::vector<std::string>& w, std::string& error) {
    const std::string& command = w[0];
    if (!Need(w, 4, error)) {
      return false;
    }
    const bool want = w[3] == "1";
    return WaitForControl(
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
  bool DoFocused(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 3, error)) {
      return false;
    }
    return WaitForControl(
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
  bool DoWindowEnabled(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 3, error)) {
      return false;
    }
    const bool want = w[2] == "1";
    return WaitFor(
        [&](std::string& e) {
          HWND hwnd = nullptr;
          if (!Window(w[1], hwnd, e)) {
            return false;
          }
          e = "window " + w[1] + " enabled is " + (IsWindowEnabled(hwnd) ? "1" : "0");
          return (IsWindowEnabled(hwnd) != FALSE) == want;
        },
        error);
  }

  // click
  bool DoClick(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 3, error)) {
      return false;
    }
    HWND control = nullptr;
    if (!Control(w, control, error)) {
      return false;
    }
    // Posted, so that a modal loop the click opens does not block the driver.
    return PostMessageW(control, BM_CLICK, 0, 0) != FALSE;
  }

  // command
  bool DoCommand(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 3, error)) {
      return false;
    }
    HWND hwnd = nullptr;
    if (!Window(w[1], hwnd, error)) {
      return false;
    }
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(std::stoi(w[2]), BN_CLICKED), 0);
    return true;
  }

  // progress
  bool DoProgress(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 4, error)) {
      return false;
    }
    return WaitForControl(
        w,
        [&](HWND control, std::string& e) {
          const auto pos = SendMessageW(control, PBM_GETPOS, 0, 0);
          e = "progress of " + w[1] + "/" + w[2] + " is " + std::to_string(pos);
          return pos == std::stoi(w[3]);
        },
        error);
  }

  // progress-over
  bool DoProgressOver(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 4, error)) {
      return false;
    }
    return WaitForControl(
        w,
        [&](HWND control, std::string& e) {
          const auto pos = SendMessageW(control, PBM_GETPOS, 0, 0);
          e = "progress of " + w[1] + "/" + w[2] + " is " + std::to_string(pos);
          return pos > std::stoi(w[3]);
        },
        error, kProgressPollMs);
  }

  // moving
  bool DoMoving(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 3, error)) {
      return false;
    }
    LRESULT first = -1;
    return WaitForControl(
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
  bool DoRed(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 4, error)) {
      return false;
    }
    const bool want = w[3] == "1";
    return WaitForControl(
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
  bool DoSyscommand(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 3, error)) {
      return false;
    }
    HWND hwnd = nullptr;
    if (!Window(w[1], hwnd, error)) {
      return false;
    }
    return PostMessageW(hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(std::stoul(w[2], nullptr, 0)), 0) != FALSE;
  }

  // key
  bool DoKey(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 3, error)) {
      return false;
    }
    HWND hwnd = nullptr;
    if (!Window(w[1], hwnd, error)) {
      return false;
    }
    const WORD key = w[2] == "enter" ? VK_RETURN : w[2] == "escape" ? VK_ESCAPE : 0;
    if (key == 0) {
      error = "unknown key " + w[2];
      return false;
    }
    // Typed keys go to the foreground window's focus, as a user's would.
    const bool foreground = WaitFor(
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
  bool DoClose(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 2, error)) {
      return false;
    }
    HWND hwnd = nullptr;
    if (!Window(w[1], hwnd, error)) {
      return false;
    }
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(hwnd, WM_CLOSE, 0, 0, SMTO_NORMAL, m_timeoutMs, &result) == 0) {
      error = "window " + w[1] + " did not handle WM_CLOSE";
      return false;
    }
    return true;
  }

  // drop
  bool DoDrop(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 3, error)) {
      return false;
    }
    HWND hwnd = nullptr;
    if (!Window(w[1], hwnd, error)) {
      return false;
    }
    // The block as the shell makes it: the header, then the UTF-16 paths, each ended by a
    // zero, and one more zero. A drop handle is valid only in the receiving process, so the
    // block is written into that process's memory; the handle is its address, which the
    // receiver's DragQueryFileW reads and its DragFinish gives back (a page, kept when the
    // receiver's heap does not know it: harmless in a test).
    const std::wstring path = Widen(w[2]);
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
  bool DoSnapshot(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 3, error)) {
      return false;
    }
    HWND hwnd = nullptr;
    if (!Window(w[1], hwnd, error)) {
      return false;
    }
    ScreenPixels pixels;
    if (Capture(hwnd, pixels) && WriteBmp(pixels, Widen(w[2]))) {
      return true;
    }
    error = "cannot capture " + w[1] + " into " + w[2];
    return false;
  }

  // running, exit, kill
  bool DoProcess(const std::vector<std::string>& w, std::string& error) {
    const std::string& command = w[0];
    if (!Need(w, command == "exit" ? 3 : 2, error)) {
      return false;
    }
    const auto p = m_processes.find(w[1]);
    if (p == m_processes.end()) {
      error = "no process " + w[1];
      return false;
    }
    if (command == "kill") {
      TerminateProcess(p->second.handle, 0);
      return WaitForSingleObject(p->second.handle, m_timeoutMs) == WAIT_OBJECT_0;
    }
    if (command == "running") {
      error = "process " + w[1] + " has ended";
      return WaitForSingleObject(p->second.handle, 0) == WAIT_TIMEOUT;
    }
    if (WaitForSingleObject(p->second.handle, m_timeoutMs) != WAIT_OBJECT_0) {
      error = "process " + w[1] + " is still running";
      return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(p->second.handle, &code);
    error = "process " + w[1] + " ended with " + std::to_string(code) + ", not " + w[2];
    return code == static_cast<DWORD>(std::stoul(w[2]));
  }

  // ask
  bool DoAsk(const std::vector<std::string>& w, std::string& error) {
    if (!Need(w, 3, error)) {
      return false;
    }
    return Ask(Widen(w[1]), w[2], error);
  }

  // The script's commands, each to its handler.
  bool Execute(const std::vector<std::string>& w, std::string& error) {
    using Handler = bool (Runner::*)(const std::vector<std::string>&, std::string&);
    static constexpr std::pair<std::string_view, Handler> kCommands[] = {
        {"start", &Runner::DoStart},
        {"window", &Runner::DoWindow},
        {"gone", &Runner::DoGone},
        {"text", &Runner::DoText},
        {"prefix", &Runner::DoText},
        {"class", &Runner::DoText},
        {"enabled", &Runner::DoState},
        {"checked", &Runner::DoState},
        {"focused", &Runner::DoFocused},
        {"window-enabled", &Runner::DoWindowEnabled},
        {"click", &Runner::DoClick},
        {"command", &Runner::DoCommand},
        {"progress", &Runner::DoProgress},
        {"moving", &Runner::DoMoving},
        {"red", &Runner::DoRed},
        {"syscommand", &Runner::DoSyscommand},
        {"key", &Runner::DoKey},
        {"snapshot", &Runner::DoSnapshot},
        {"close", &Runner::DoClose},
        {"drop", &Runner::DoDrop},
        {"progress-over", &Runner::DoProgressOver},
        {"running", &Runner::DoProcess},
        {"exit", &Runner::DoProcess},
        {"kill", &Runner::DoProcess},
        {"ask", &Runner::DoAsk},
    };
    for (const auto& [name, handler] : kCommands) {
      if (w[0] == name) {
        return (this->*handler)(w, error);
      }
    }
    error = "unknown command " + w[0];
    return false;
  }

  // Written beside the file and renamed into place, so that the reader never sees half of it.
  bool Ask(const std::wstring& file, const std::string& text, std::string& error) const {
    const std::wstring partial = file + L".partial";
    HANDLE out = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
      error = "cannot write " + Narrow(partial);
      return false;
    }
    DWORD done = 0;
    const bool written = WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) != FALSE;
    CloseHandle(out);
    if (!written || !MoveFileExW(partial.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      error = "cannot write " + Narrow(file);
      return false;
    }
    return WaitFor(
        [&](std::string& e) {
          e = "nobody took the request \"" + text + "\" in " + Narrow(file);
          return GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES;
        },
        error);
  }

  DWORD m_timeoutMs = kDefaultTimeoutMs;
  std::map<std::string, Process> m_processes;
  std::map<std::string, HWND> m_windows;
};

bool ReadVariables(const std::string& path, std::map<std::string, std::string>& variables) {
  std::ifstream in(path);
  if (!in) {
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    const size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string::npos) {
      continue;
    }
    std::string value = line.substr(eq + 1);
    for (size_t at = value.find("\\r\\n"); at != std::string::npos; at = value.find("\\r\\n", at + 2)) {
      value.replace(at, 4, "\r\n");
    }
    variables[line.substr(0, eq)] = value;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Runner runner;
  std::string script;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = Narrow(argv[i]);
    if (arg == "--set" && i + 1 < argc) {
      const std::string pair = Narrow(argv[++i]);
      const size_t eq = pair.find('=');
      runner.m_variables[pair.substr(0, eq)] = eq == std::string::npos ? "" : pair.substr(eq + 1);
    } else if (arg == "--texts" && i + 1 < argc) {
      const std::string path = Narrow(argv[++i]);
      if (!ReadVariables(path, runner.m_variables)) {
        std::printf("cannot read %s\n", path.c_str());
        return 2;
      }
    } else {
      script = arg;
    }
  }
  if (script.empty()) {
    std::printf("usage: qx80-autotest [--set NAME=VALUE]... [--texts FILE] SCRIPT\n");
    return 2;
  }
  const bool passed = runner.Run(script);
  std::printf("%s\n", passed ? "PASSED" : "FAILED");
  return passed ? 0 : 1;
}
