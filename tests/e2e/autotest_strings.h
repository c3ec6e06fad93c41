#pragma once
// Text for the log (UTF-8 and UTF-16 convert by platform/utf.h).
#include <string>

// CR and LF written as \r and \n, so that a text stays on one line of the log.
std::string Escaped(const std::string& s);
