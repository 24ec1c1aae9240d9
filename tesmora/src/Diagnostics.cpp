#include "tesmora/Diagnostics.h"

#include <algorithm>

namespace Tesmora {

DiagnosticSink::~DiagnosticSink() = default;

void DiagnosticLog::Report(const Diagnostic& diagnostic) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool known = std::any_of(reports_.begin(), reports_.end(), [&](const Diagnostic& seen) {
        return seen.severity == diagnostic.severity && seen.endpoint == diagnostic.endpoint &&
               seen.message == diagnostic.message;
    });
    if (!known) {
        reports_.push_back(diagnostic);
    }
}

std::vector<Diagnostic> DiagnosticLog::Reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
}

std::string Describe(const Diagnostic& diagnostic) {
    std::string text = diagnostic.endpoint + ": " + diagnostic.message;
    if (!diagnostic.hint.empty()) {
        text += " (" + diagnostic.hint + ")";
    }
    return text;
}

}  // namespace Tesmora
