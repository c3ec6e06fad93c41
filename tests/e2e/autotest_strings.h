#pragma once
// Text between the script (UTF-8) and the window system (UTF-16).
#include <string>

// UTF-8 to UTF-16 and back.
std::wstring Widen(const std::string& s);
std::string Narrow(const std::wstring& w);
// CR and LF written as \r and \n, so that a text stays on one line of the log.
std::string Escaped(const std::string& s);
