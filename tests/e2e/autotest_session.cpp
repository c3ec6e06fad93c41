#include "autotest_session.h"

Session::~Session() {
  for (const auto& [name, process] : processes) {
    EndProcess(process);
  }
}

bool Session::Window(const std::string& name, HWND& hwnd, std::string& error) const {
  const auto it = windows.find(name);
  if (it == windows.end() || !IsWindow(it->second)) {
    error = "window " + name + " does not exist";
    return false;
  }
  hwnd = it->second;
  return true;
}

bool Session::Control(const std::vector<std::string>& w, HWND& control, std::string& error) const {
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
