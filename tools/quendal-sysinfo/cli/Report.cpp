#include "Report.h"

#include <algorithm>
#include <iterator>
#include <sstream>

#include "SystemInfo.h"

namespace Quendal::Tool {

namespace {

// Causes that end an endpoint's scan as a whole: nothing the statuses say was read there.
constexpr Tesmora::Cause kEndpointFailures[] = {
    Tesmora::Cause::kAuthentication,
    Tesmora::Cause::kNameNotResolved,
    Tesmora::Cause::kUnreachable,
    Tesmora::Cause::kCertificate,
    Tesmora::Cause::kTls,
    Tesmora::Cause::kTimeout,
    Tesmora::Cause::kWrongService,
    Tesmora::Cause::kRedirect,
};

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
        for (const std::string& note : result.notes) {
            out << "quendal-sysinfo: note: " << VisibleControls(note, LineEnds::kEscaped) << '\n';
        }
    }
    for (const Tesmora::LogRecord& record : result.held_log) {
        out << LogLine(record);
    }
    if (!quiet) {
        // Where the endpoint failed as a whole, every status is explained by that, whatever
        // the module made of it ("not a CMM", "Succeed.").
        const auto failed = std::find_if(
            diagnostics.begin(), diagnostics.end(), [](const Tesmora::Diagnostic& diagnostic) {
                return diagnostic.severity == Tesmora::Severity::kError &&
                       std::find(std::begin(kEndpointFailures), std::end(kEndpointFailures),
                                 diagnostic.cause) != std::end(kEndpointFailures);
            });
        for (const ScanReport& scan : result.scans) {
            out << scan.scan << ": status " << scan.status << " (" << scan.meaning << ")";
            if (failed != diagnostics.end()) {
                out << "; in fact "
                    << VisibleControls(failed->endpoint + ": " + failed->message,
                                       LineEnds::kEscaped);
            }
            out << '\n';
        }
    }
    for (const Tesmora::Diagnostic& diagnostic : diagnostics) {
        if (quiet && diagnostic.severity == Tesmora::Severity::kNote) {
            continue;
        }
        out << "quendal-sysinfo: " << SeverityWord(diagnostic.severity) << ": "
            << VisibleControls(Tesmora::Describe(diagnostic), LineEnds::kEscaped) << '\n';
    }
    if (result.complete) {
        for (const std::string& missing : result.missing) {
            out << "quendal-sysinfo: partial: the document lacks "
                << VisibleControls(missing, LineEnds::kEscaped) << '\n';
        }
    }
}

}  // namespace Quendal::Tool
