// The terminal the tool was started from: for asking a password without showing it, for knowing
// when output goes to a screen, and for making what a screen would obey visible before it gets
// there. One implementation per platform (linux/, windows/), apart from VisibleControls and
// VisibleLog, which are the same everywhere (Terminal.cpp).
//
// Whatever an endpoint sent may hold bytes a terminal obeys (ESC sequences retitle or clear it,
// a C1 CSI does the same on many, a line end starts a line that looks like the tool's own). The
// tool shows such bytes as escapes in every text meant for people, wherever it goes: messages,
// notes and log records always (a pipe often ends at a screen: tee, less -R); the text form of a
// document always; the module's listing and the stored formats only on a screen, since elsewhere
// they are data that must stay byte for byte what the module and the writers made.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "tesmora/Log.h"

namespace Quendal::Tool {

// Whether the standard input is an interactive terminal.
bool StandardInputIsTerminal();

// Whether stream is std::cout or std::cerr and writes to a terminal (a console on Windows).
bool StreamIsTerminal(std::ostream& stream);

// Writes prompt to the standard error stream and reads one line from the standard input with
// echo off; nullopt at end of input. The terminal gets its echo back however reading ends,
// also when a signal (Ctrl-C, SIGTERM, a hang-up) ends the process meanwhile.
std::optional<std::string> ReadHiddenLine(const std::string& prompt);

// kKept: a text of many lines, whose line feeds are its own. kEscaped: one line, or one value
// within a line, where a line feed would start a line that is not there.
enum class LineEnds { kKept, kEscaped };

// The text with what a terminal would obey as "\xHH", one escape per byte: the C0 controls other
// than TAB (and LF, when line ends are kept), DEL, the C1 controls U+0080..U+009F, and every
// byte of an ill-formed UTF-8 sequence (a raw 0x9B is a CSI to an 8-bit terminal). Everything
// else, backslashes included, is unchanged.
std::string VisibleControls(std::string_view text, LineEnds line_ends = LineEnds::kKept);

// Writes text to stream and flushes it; through VisibleControls when stream is a terminal. For
// the tool's tables and documents, which are data elsewhere.
void ShowText(std::ostream& stream, const std::string& text);

// The libraries' log records as the default sink writes them ("[LEVEL] FILE:LINE: TEXT", one
// line each, to the standard error stream), with the text passed through VisibleControls: the
// module logs values an endpoint sent.
class VisibleLog : public Tesmora::LogSink {
public:
    void Write(const Tesmora::LogRecord& record) override;
};

// One record as VisibleLog writes it, line end included, for records held back and told later.
std::string LogLine(const Tesmora::LogRecord& record);

}  // namespace Quendal::Tool
