// The terminal the tool was started from, for asking a password without showing it. One
// implementation per platform (linux/, windows/).
#pragma once

#include <optional>
#include <string>

namespace Quendal::Tool {

// Whether the standard input is an interactive terminal.
bool StandardInputIsTerminal();

// Writes prompt to the standard error stream and reads one line from the standard input with
// echo off, restoring the terminal afterwards; nullopt at end of input.
std::optional<std::string> ReadHiddenLine(const std::string& prompt);

}  // namespace Quendal::Tool
