#pragma once
// Device paths travel through the backend interface as UTF-8; Win32 wants UTF-16.
#include <string>

namespace qx80 {

std::string Utf8FromWide(const wchar_t* text);
// Empty when `text` is not valid UTF-8.
std::wstring WideFromUtf8(const std::string& text);

}  // namespace qx80
