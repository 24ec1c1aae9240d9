// The terminal the tool was started from: for asking a password without showing it, for knowing
// when output goes to a screen that control bytes could rewrite, and for making such bytes
// visible before they reach it. One implementation per platform (linux/, windows/), apart from
// VisibleControls, which is the same everywhere (Terminal.cpp).
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace Quendal::Tool {

// Whether the standard input is an interactive terminal.
bool StandardInputIsTerminal();

// Whether stream is std::cout or std::cerr and writes to a terminal (a console on Windows).
bool StreamIsTerminal(std::ostream& stream);

// Writes prompt to the standard error stream and reads one line from the standard input with
// echo off; nullopt at end of input. The terminal gets its echo back however reading ends,
// also when a signal (Ctrl-C, SIGTERM, a hang-up) ends the process meanwhile.
std::optional<std::string> ReadHiddenLine(const std::string& prompt);

// Control bytes other than tab and line feed, and DEL, as "\xHH"; everything else unchanged.
std::string VisibleControls(const std::string& text);

}  // namespace Quendal::Tool
