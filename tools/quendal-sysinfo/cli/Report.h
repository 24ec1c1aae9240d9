// What the tool shows of a run: each scan's status, why remote calls failed, and the document
// in the human-readable text form.
//
// Texts from remote endpoints reach people here, so each value passes VisibleControls
// (Terminal.h) on its own, line ends included: a name holding ESC or BEL must not rewrite the
// screen, nor one holding a line end start a line that looks like the tool's.
// Nothing here throws but std::bad_alloc and ptree_bad_path (for a package without its keys).
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "SysinfoFleet.h"
#include "tesmora/Diagnostics.h"

namespace Quendal::Tool {

// The text form: the document's scalars ("MT:  \tQX01", ...), then "PACKAGES:" and the module's
// listing of the packages, when there are any; every value made visible.
std::string RenderText(const boost::property_tree::ptree& document);

// A copy of the document with every value made visible (line ends escaped), for the module's
// listing on a screen.
boost::property_tree::ptree VisibleDocument(const boost::property_tree::ptree& document);

// The result's own notes, which say what to make of all that follows, then the log records held
// back during the scan, then one line per scan ("GetMachineType: status 0 (Succeed.)") unless
// quiet, each followed by the endpoint's own failure where one ended its scan ("; in fact
// HOST:PORT: cannot connect ..."), then one line per distinct diagnostic, then, for a complete
// result, what the document lacks ("partial: the document lacks ..."); notes are left out when
// quiet, failures and what is missing never. Each diagnostic, note and missing part
// is made visible, wherever the lines go.
void PrintOutcome(std::ostream& out, const TargetResult& result,
                  const std::vector<Tesmora::Diagnostic>& diagnostics, bool quiet);

}  // namespace Quendal::Tool
