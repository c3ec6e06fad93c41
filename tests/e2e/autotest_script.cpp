#include "autotest_script.h"

#include <cctype>
#include <fstream>

std::vector<std::string> SplitWords(const std::string& line) {
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

std::string ExpandVariables(const std::string& text, const Variables& variables) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '$') {
      out += text[i];
      continue;
    }
    size_t end = i + 1;
    while (end < text.size() && (isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) {
      ++end;
    }
    const auto it = variables.find(text.substr(i + 1, end - i - 1));
    out += it != variables.end() ? it->second : text.substr(i, end - i);
    i = end - 1;
  }
  return out;
}

bool ReadVariables(const std::string& path, Variables& variables) {
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
