// The cli room of quendal-sysinfo: the program itself. main.cpp holds its options, the
// single-target subcommands, diff and the exit statuses; Report.h what it shows of a run (each
// scan's status, why remote calls failed, the document's text form).
//
// The top room: it includes the front headers of every room below (SysinfoFleet.h,
// SysinfoDocuments.h, SysinfoOutput.h), and nothing of the tool includes it but main.cpp
// (docs/architecture.md).
#pragma once

#include "Report.h"
