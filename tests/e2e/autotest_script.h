#pragma once
// The script language: one command a line, '#' starts a comment, words with blanks are quoted
// with "...", and "$NAME" in a word is replaced by a variable whose value stays in that word.
#include <map>
#include <string>
#include <vector>

using Variables = std::map<std::string, std::string>;

// The words of one line (its comment already cut off), quotes removed.
std::vector<std::string> SplitWords(const std::string& line);
// `text` with every "$NAME" of a known variable replaced by its value; unknown names stay.
std::string ExpandVariables(const std::string& text, const Variables& variables);
// Adds the NAME=VALUE lines of a UTF-8 file ('#' lines skipped; "\r\n" in a value stands for
// CR LF). False when the file cannot be read.
bool ReadVariables(const std::string& path, Variables& variables);
