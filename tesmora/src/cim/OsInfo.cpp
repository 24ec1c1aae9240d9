#include "cim/OsInfo.h"

#include <algorithm>
#include <cctype>

namespace Tesmora::Cim {

namespace {

bool IsTrue(const std::string& text) {
    std::string lower;
    for (const char c : text) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower == "true";
}

bool IsCount(const std::string& text) {
    return !text.empty() && text.size() < 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

const Instance* OperatingSystemOf(const std::vector<Instance>& identities) {
    for (const Instance& identity : identities) {
        const Property* classifications = identity.Find("Classifications");
        if (classifications != nullptr &&
            std::find(classifications->values.begin(), classifications->values.end(),
                      kOperatingSystemClassification) != classifications->values.end()) {
            return &identity;
        }
    }
    return nullptr;
}

std::string VersionOf(const Instance& identity) {
    if (std::string text = identity.Text("VersionString"); !text.empty()) {
        return text;
    }
    // The numeric parts, where the text is not given.
    const std::string major = identity.Text("MajorVersion");
    if (major.empty()) {
        return std::string();
    }
    const std::string minor = identity.Text("MinorVersion");
    const std::string revision = identity.Text("RevisionNumber");
    return major + "." + (minor.empty() ? "0" : minor) + "." + (revision.empty() ? "0" : revision);
}

std::string BuildOf(const Instance& identity) {
    const std::string large = identity.Text("LargeBuildNumber");
    const std::string small = identity.Text("BuildNumber");
    // BuildNumber is 16 bits wide; IsLargeBuildNumber says the 64-bit one holds the build.
    if (!large.empty() && (IsTrue(identity.Text("IsLargeBuildNumber")) || small.empty())) {
        return large;
    }
    return small;
}

}  // namespace

const std::vector<std::string>& SoftwareIdentityProperties() {
    static const std::vector<std::string> kProperties = {
        "InstanceID",       "ElementName",       "Classifications", "VersionString",
        "MajorVersion",     "MinorVersion",      "RevisionNumber",  "BuildNumber",
        "LargeBuildNumber", "IsLargeBuildNumber"};
    return kProperties;
}

const std::vector<std::string>& ProcessorProperties() {
    static const std::vector<std::string> kProperties = {"DeviceID", "AddressWidth"};
    return kProperties;
}

OSINFO OsInfoFrom(const std::vector<Instance>& identities,
                  const std::vector<Instance>& processors) {
    const Instance* os = OperatingSystemOf(identities);
    if (os == nullptr) {
        throw Error(Cause::kMissingResource,
                    "none of the " + std::to_string(identities.size()) + " instances of " +
                        kSoftwareIdentityClass +
                        " is an operating system's (Classifications holding " +
                        kOperatingSystemClassification + ")");
    }
    OSINFO info;
    info.version = VersionOf(*os);
    if (info.version.empty()) {
        throw Error(Cause::kMissingResource,
                    "the operating system's software identity (" + os->class_name +
                        ") holds no version (VersionString or MajorVersion)");
    }
    info.build = BuildOf(*os);
    bool any_width = false;
    for (const Instance& processor : processors) {
        const std::string width = processor.Text("AddressWidth");
        if (IsCount(width)) {
            any_width = true;
            if (std::stoul(width) >= 64) {
                info.architecture = 1;
            }
        }
    }
    if (!any_width) {
        // Never a guess: a 64-bit host documented as "32 bit" would be worse than none.
        throw Error(Cause::kMissingResource,
                    "none of the " + std::to_string(processors.size()) + " instances of " +
                        kProcessorClass +
                        " tells its AddressWidth, so the host's architecture is not known");
    }
    return info;
}

OSINFO ReadOsInfo(Client& client) {
    const std::vector<Instance> identities =
        client.EnumerateInstances(kSoftwareIdentityClass, SoftwareIdentityProperties());
    std::vector<Instance> processors;
    try {
        processors = client.EnumerateInstances(kProcessorClass, ProcessorProperties());
    } catch (const Error& error) {
        if (error.cause() != Cause::kMissingResource) {
            throw;
        }
        throw Error(error.cause(),
                    std::string(error.what()) + ", so the host's architecture is not known");
    }
    return OsInfoFrom(identities, processors);
}

}  // namespace Tesmora::Cim
