// The output room of quendal-sysinfo: how a document leaves the tool, and the files the tool
// writes and reads.
//   - Output.h: a document rendered in the listing, XML, JSON or INFO format, and text written
//     to a file in one step (WriteFileAtomically).
//   - ReplaceFile.h: the file layer under it and under the readers of the rooms above: a file
//     replaced in one step, a regular file read within a limit, a password file read up to its
//     first line, each by its platform's rules (linux/, windows/, behind SystemFiles.h).
//   - Text.h: the rules every format and the terminal step through a value by: UTF-8 decoded
//     one character or ill-formed sequence at a time, and a value as XML holds it.
//
// The lowest room: it includes the module and nothing else of the tool. A room above includes
// this header, not the ones behind it (docs/architecture.md).
#pragma once

#include "Output.h"
#include "ReplaceFile.h"
#include "Text.h"
