#include "FleetJobs.h"

#include <boost/property_tree/ptree.hpp>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "Password.h"
#include "SysinfoDocuments.h"

namespace Quendal::Tool {

namespace fs = std::filesystem;

std::size_t PackagesOf(const boost::property_tree::ptree& document) {
    const auto packages = document.get_child_optional("CONTENT.PACKAGES");
    return packages ? packages->count("PACKAGE") : 0;
}

Format FleetFormatOf(const std::string& name) {
    for (const auto& [known, format] : FormatNames()) {
        if (known == name && format != Format::kListing) {
            return format;
        }
    }
    throw UsageError("fleet: --format " + name +
                     ": a fleet writes documents that fleet diff reads back: xml, json or info");
}

// Users and passwords for every endpoint, each source read once; every problem told at once.
std::vector<Job> PrepareJobs(const FleetFile& file, const std::string& name,
                             const FleetGlobals& globals, const Tesmora::Inventory* inventory,
                             const std::string& extension) {
    std::vector<std::string> problems;
    std::map<std::string, std::string> read;  // source -> password
    struct WipedAtTheEnd {
        std::map<std::string, std::string>& read;
        ~WipedAtTheEnd() {
            for (auto& [source, password] : read) {
                WipeSecret(password);
            }
        }
    } wiped{read};
    const auto password = [&](bool from_file, const std::string& source,
                              std::string& why) -> std::optional<std::string> {
        const std::string key = (from_file ? "file:" : "env:") + source;
        if (const auto known = read.find(key); known != read.end()) {
            return known->second;
        }
        if (from_file) {
            try {
                return read[key] = ObtainPassword(PasswordSources{source, "", ""});
            } catch (const UsageError& error) {
                why = error.what();
                return std::nullopt;
            }
        }
        const char* value = std::getenv(source.c_str());
        if (value == nullptr || *value == '\0') {
            why = source + " is not set";
            return std::nullopt;
        }
        return read[key] = value;
    };
    std::vector<Job> jobs;
    // Reserved: a vector that grows leaves copies of short passwords in the storage it frees.
    jobs.reserve(file.endpoints.size());
    for (const FleetEndpoint& endpoint : file.endpoints) {
        Job job;
        job.endpoint = endpoint;
        const auto problem = [&](const std::string& what) {
            if (problems.size() < kMaxProblems) {
                problems.push_back(name + ":" + std::to_string(endpoint.line) + ": " + what);
            }
        };
        Connection& connection = job.connection;
        connection.host = endpoint.host;
        connection.port = endpoint.port;
        connection.user = endpoint.user.empty() ? globals.user : endpoint.user;
        if (connection.user.empty()) {
            problem("user: none: give user, or --user or QUENDAL_USER");
        }
        std::string why;
        std::optional<std::string> found;
        switch (endpoint.password_from) {
            case PasswordFrom::kEnvironment:
                found = password(false, endpoint.password_source, why);
                break;
            case PasswordFrom::kFile:
                found = password(true, endpoint.password_source, why);
                break;
            case PasswordFrom::kInline:
                found = endpoint.password_source;
                break;
            case PasswordFrom::kDefault:
                found = globals.password_file.empty() ? password(false, globals.password_env, why)
                                                      : password(true, globals.password_file, why);
                if (!found) {
                    why += "; give password_env or password_file, --password-file, or set " +
                           globals.password_env;
                }
                break;
        }
        if (found) {
            connection.password = *found;
            WipeSecret(*found);
        } else {
            problem("password: " + why);
        }
        if (inventory != nullptr && inventory->Find(endpoint.host) == nullptr) {
            problem("host: the inventory lists no endpoint " + endpoint.host);
        }
        const char* type = "CMM";
        switch (endpoint.kind) {
            case FleetKind::kServer:
                connection.type = Tesmora::TesmoraConnection::kEndpointBMC;
                type = "BMC";
                break;
            case FleetKind::kEsxi:
                connection.type = Tesmora::TesmoraConnection::kEndpointNone;
                type = "";
                break;
            case FleetKind::kSmm:
                connection.type = Tesmora::TesmoraConnection::kEndpointSMM;
                type = "SMM";
                break;
            case FleetKind::kCmm:
            case FleetKind::kSwitch:
                connection.type = Tesmora::TesmoraConnection::kEndpointCMM;
                break;
        }
        job.bmc_type = globals.bmc_type.value_or(type);
        job.document = DocumentNameOf(endpoint, extension);
        EndpointOutcome& outcome = job.outcome;
        outcome.kind = KindName(endpoint.kind);
        outcome.host = endpoint.host;
        outcome.port = endpoint.port;
        outcome.bay = endpoint.bay;
        outcome.status = kStatusNotScanned;
        outcome.failure = kFailureCancelled;
        outcome.causes = {"the run was stopped before this endpoint was scanned"};
        jobs.push_back(std::move(job));
        WipePasswords(job);  // what a short one's move left behind
    }
    if (!problems.empty()) {
        std::string message;
        for (const std::string& line : problems) {
            message += (message.empty() ? "" : "\n") + line;
        }
        throw UsageError(message);
    }
    return jobs;
}

TargetResult ScanJob(const Job& job) {
    switch (job.endpoint.kind) {
        case FleetKind::kServer:
            return ScanServer(job.connection, job.bmc_type);
        case FleetKind::kSmm:
            return ScanSmm(job.connection, job.bmc_type);
        case FleetKind::kCmm:
            return ScanCmm(job.connection, job.bmc_type);
        case FleetKind::kSwitch:
            return ScanSwitch(job.connection, job.endpoint.bay, job.bmc_type);
        case FleetKind::kEsxi:
            break;
    }
    return ScanEsxi(job.connection, job.bmc_type);
}

void WipePasswords(Job& job) noexcept {
    WipeSecret(job.connection.password);
    if (job.endpoint.password_from == PasswordFrom::kInline) {
        WipeSecret(job.endpoint.password_source);
    }
}

std::map<std::string, EndpointOutcome> PreviousOutcomes(const std::string& summary_path) {
    std::map<std::string, EndpointOutcome> previous;
    std::error_code error;
    if (!fs::exists(summary_path, error)) {
        return previous;
    }
    for (EndpointOutcome& outcome : ReadSummary(summary_path).endpoints) {
        if (outcome.status == kStatusOk || outcome.status == kStatusResumed) {
            std::string key = OutcomeKey(outcome);
            previous.emplace(std::move(key), std::move(outcome));
        }
    }
    return previous;
}

void ResumeJob(Job& job, const std::string& output_dir,
               const std::map<std::string, EndpointOutcome>& previous) {
    const auto found = previous.find(OutcomeKey(job.outcome));
    // Another format's document is not this run's: the endpoint is scanned again.
    if (found == previous.end() || found->second.document != job.document) {
        return;
    }
    try {
        ReadDocument((fs::path(output_dir) / job.document).string());
    } catch (const DocumentError&) {
        return;  // gone or damaged since: scanned again
    }
    EndpointOutcome outcome = found->second;
    outcome.status = kStatusResumed;
    outcome.failure.clear();
    outcome.causes.clear();
    job.outcome = std::move(outcome);
}

}  // namespace Quendal::Tool
