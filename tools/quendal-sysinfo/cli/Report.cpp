#include "Report.h"

#include <sstream>

#include "SystemInfo.h"

namespace Quendal::Tool {

namespace {

const char* SeverityWord(Tesmora::Severity severity) {
    switch (severity) {
        case Tesmora::Severity::kError:
            return "error";
        case Tesmora::Severity::kWarning:
            return "warning";
        case Tesmora::Severity::kNote:
            return "note";
    }
    return "note";
}

void MakeVisible(boost::property_tree::ptree& tree) {
    tree.data() = VisibleControls(tree.data(), LineEnds::kEscaped);
    for (auto& child : tree) {
        MakeVisible(child.second);
    }
}

}  // namespace

boost::property_tree::ptree VisibleDocument(const boost::property_tree::ptree& document) {
    boost::property_tree::ptree visible = document;
    MakeVisible(visible);
    return visible;
}

std::string RenderText(const boost::property_tree::ptree& original) {
    const boost::property_tree::ptree document = VisibleDocument(original);
    std::ostringstream text;
    const auto content = document.get_child_optional("CONTENT");
    bool packages = false;
    if (content) {
        for (const auto& [key, node] : *content) {
            if (key == "PACKAGES") {
                packages = !node.empty();
            } else {
                text << key << ":  \t" << node.data() << '\n';
            }
        }
    }
    if (packages) {
        std::stringstream listing;
        SystemInfoPTree::PrintPropertyTree(document, listing);
        text << "PACKAGES:\n" << listing.str();
    }
    return text.str();
}

void PrintOutcome(std::ostream& out, const TargetResult& result,
                  const std::vector<Tesmora::Diagnostic>& diagnostics, bool quiet) {
    if (!quiet) {
        for (const ScanReport& scan : result.scans) {
            out << scan.scan << ": status " << scan.status << " (" << scan.meaning << ")\n";
        }
    }
    for (const Tesmora::Diagnostic& diagnostic : diagnostics) {
        if (quiet && diagnostic.severity == Tesmora::Severity::kNote) {
            continue;
        }
        out << "quendal-sysinfo: " << SeverityWord(diagnostic.severity) << ": "
            << VisibleControls(Tesmora::Describe(diagnostic), LineEnds::kEscaped) << '\n';
    }
    if (!quiet) {
        for (const std::string& note : result.notes) {
            out << "quendal-sysinfo: note: " << VisibleControls(note, LineEnds::kEscaped) << '\n';
        }
    }
}

}  // namespace Quendal::Tool
