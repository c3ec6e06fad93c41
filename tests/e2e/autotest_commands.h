#pragma once
// The commands of the script language (described at the top of autotest_main.cpp).
#include <string>
#include <vector>

#include "autotest_session.h"

using Words = std::vector<std::string>;

// Runs the command `w[0]` with the arguments after it. False with `error` set when it fails
// or is unknown.
bool Execute(Session& session, const Words& w, std::string& error);
