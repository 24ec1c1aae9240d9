// The fleet room of quendal-sysinfo: reaching endpoints and scanning them, one or many.
//   - Targets.h: the scans of each kind of target and the document each builds.
//   - Remote.h: the backend that answers the in-house libraries for the run, and the checks of
//     an endpoint's address and bay.
//   - Password.h: where an endpoint's password comes from; UsageError, the error of bad input.
//   - Terminal.h: the terminal: hidden input, and control bytes made visible before they
//     reach a screen.
//   - FleetSystem.h: what runs need of the platform: the user's request to stop, which a fleet
//     and the single-target scans heed alike.
//   - Pins.h: --pin, and the pin subcommand, which shows an endpoint's certificate.
//   - Fleet.h: the fleet subcommands. Their endpoint file, jobs, scanning, summary, progress,
//     shards and pins (FleetFile.h, FleetJobs.h, FleetScan.h, Summary.h, Progress.h,
//     FleetTools.h, FleetPins.h) stay behind this header.
//
// Includes the documents and output rooms, the module and the in-house libraries; never the cli.
// The cli includes this header, not the ones behind it (docs/architecture.md).
#pragma once

#include "DiffJson.h"
#include "Fleet.h"
#include "FleetSystem.h"
#include "Password.h"
#include "Pins.h"
#include "Remote.h"
#include "Targets.h"
#include "Terminal.h"
