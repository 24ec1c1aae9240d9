#include "tesmora/linux/LinuxHost.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "tesmora/DeviceCollector.h"

namespace Tesmora {

namespace fs = std::filesystem;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v';
}

std::string Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// Whole content of a file; false when it cannot be opened or read. A directory opens fine on
// Linux and only fails on reading, which a stream iterator would take for an empty file.
bool ReadWhole(const fs::path& path, std::string& content) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Trimmed content of a small attribute file such as sys/module/NAME/version; empty when absent.
std::string ReadAttribute(const fs::path& path) {
    std::string content;
    if (!ReadWhole(path, content)) {
        return {};
    }
    return Trim(content);
}

// Last component of a symbolic link's target; empty when the link is missing. Only the name is
// used, so relative targets need not resolve, which keeps prepared trees simple.
std::string LinkTargetName(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    if (ec) {
        return {};
    }
    return target.filename().string();
}

// Module name as the kernel reports it for a module file path: the base name without its
// ".ko" suffix (and any compression suffix after it), with '-' as '_', because the kernel
// normalises module names that way while file names keep whatever the build used.
std::string ModuleNameFromFile(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
    const std::size_t ko = name.rfind(".ko");
    if (ko != std::string::npos && (ko + 3 == name.size() || name[ko + 3] == '.')) {
        name.erase(ko);
    }
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// The value part of an os-release assignment, read with the shell's quoting rules the file
// follows: backslash escapes outside single quotes, single quotes literal, and an unquoted
// blank ending the value. Inside double quotes only the characters that mean something to the
// shell are escapable; any other backslash stays as written.
std::string UnquoteShellValue(std::string_view raw) {
    std::string value;
    char quote = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (quote == '\'') {
            if (c == '\'') {
                quote = 0;
            } else {
                value += c;
            }
        } else if (quote == '"') {
            if (c == '"') {
                quote = 0;
            } else if (c == '\\' && i + 1 < raw.size() &&
                       std::string_view("\"\\$`").find(raw[i + 1]) != std::string_view::npos) {
                value += raw[++i];
            } else {
                value += c;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '\\' && i + 1 < raw.size()) {
            value += raw[++i];
        } else if (IsBlank(c)) {
            break;
        } else {
            value += c;
        }
    }
    return value;
}

std::unordered_map<std::string, std::string> ParseOsRelease(const std::string& content) {
    std::unordered_map<std::string, std::string> fields;
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == '#') {
            continue;
        }
        const std::size_t eq = trimmed.find('=');
        if (eq == std::string::npos || eq == 0) {
            continue;
        }
        fields[Trim(std::string_view(trimmed).substr(0, eq))] =
            UnquoteShellValue(std::string_view(trimmed).substr(eq + 1));
    }
    return fields;
}

std::string OsTypeText(const std::unordered_map<std::string, std::string>& fields) {
    const auto field = [&fields](const char* key) {
        const auto it = fields.find(key);
        return it == fields.end() ? std::string() : it->second;
    };
    std::string text = field("PRETTY_NAME");
    if (!text.empty()) {
        return text;
    }
    text = field("NAME");
    const std::string version = field("VERSION");
    if (!text.empty() && !version.empty()) {
        text += ' ';
    }
    return text + version;
}

std::string KernelRelease(const fs::path& root) {
    return ReadAttribute(root / "proc/sys/kernel/osrelease");
}

// Module name -> path of its file, from modules.dep. Paths are given as they lie on the system
// described ("/lib/modules/RELEASE/..."), not under the root being read, so a prepared tree
// reports the same names as the system it imitates.
std::unordered_map<std::string, std::string> ReadModuleFiles(const fs::path& root,
                                                             const std::string& release) {
    std::unordered_map<std::string, std::string> files;
    if (release.empty()) {
        return files;
    }
    std::ifstream dep(root / "lib/modules" / release / "modules.dep");
    std::string line;
    while (std::getline(dep, line)) {
        const std::size_t colon = line.find(':');
        const std::string key = Trim(std::string_view(line).substr(0, colon));
        if (key.empty()) {
            continue;
        }
        // Old depmod wrote absolute paths; current ones are relative to the release directory.
        std::string file = key.front() == '/' ? key : "/lib/modules/" + release + "/" + key;
        files.emplace(ModuleNameFromFile(key), std::move(file));
    }
    return files;
}

bool LiesUnderKernelTree(const std::string& file, const std::string& release) {
    const std::string kernel_tree = "/lib/modules/" + release + "/kernel/";
    return file.compare(0, kernel_tree.size(), kernel_tree) == 0;
}

// Devices that carry no disk of their own: memory-backed, layered on other disks, attached
// over the network, or optical. A virtual device usually lacks a "device" link anyway; the
// names catch those that have one.
bool IsSkippedBlockDevice(const std::string& name) {
    static constexpr std::string_view kPrefixes[] = {"loop", "ram", "zram", "dm-",
                                                     "md",   "nbd", "sr"};
    return std::any_of(std::begin(kPrefixes), std::end(kPrefixes),
                       [&name](std::string_view p) { return name.compare(0, p.size(), p) == 0; });
}

// The entries of a directory in name order; none when it is missing or unreadable.
std::vector<fs::path> SortedEntries(const fs::path& directory) {
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace

LinuxHost::LinuxHost(std::filesystem::path root) : root_(std::move(root)) {}

std::unique_ptr<LocalHost> MakeLocalHost() {
    return std::make_unique<LinuxHost>();
}

int LinuxHost::ReadOsType(std::string& os_type) {
    // /usr/lib/os-release is consulted only when /etc/os-release does not exist at all; a
    // present but useless /etc file wins, as the format's own rules require.
    fs::path path = root_ / "etc/os-release";
    std::error_code ec;
    if (fs::status(path, ec).type() == fs::file_type::not_found) {
        path = root_ / "usr/lib/os-release";
    }
    std::string content;
    if (!ReadWhole(path, content)) {
        return kOsReleaseUnreadable;
    }
    std::string text = OsTypeText(ParseOsRelease(content));
    if (text.empty()) {
        return kOsReleaseUnreadable;
    }
    os_type = std::move(text);
    return 0;
}

int LinuxHost::ListDrivers(std::vector<DriverData>& drivers,
                           DriverInfo::DriverInfoSetType set_type) {
    // A kernel built without module support has no proc/modules, yet its built-in drivers
    // still register on the buses; only when neither source exists is there nothing to list.
    const fs::path modules_path = root_ / "proc/modules";
    const fs::path buses = root_ / "sys/bus";
    std::error_code ec;
    const bool have_modules = fs::status(modules_path, ec).type() != fs::file_type::not_found;
    const bool have_buses = fs::is_directory(buses, ec);
    if (!have_modules && !have_buses) {
        return DriverInfo::kListUnavailable;
    }
    std::string modules;
    if (have_modules && !ReadWhole(modules_path, modules)) {
        return DriverInfo::kListFailed;
    }

    const std::string release = KernelRelease(root_);
    const auto files = ReadModuleFiles(root_, release);
    const fs::path sys_module = root_ / "sys/module";
    const auto describe_file = [&](DriverData& driver, const std::string& module) {
        const auto file = files.find(module);
        if (file != files.end()) {
            driver.file_name = file->second;
            driver.provider = LiesUnderKernelTree(file->second, release) ? "kernel" : "external";
        }
    };

    // Drivers of the kernel tree declare no version of their own: they are as new as the kernel
    // they came with. An external module without one stays without.
    const auto version_of = [&](const DriverData& driver, const std::string& module) {
        std::string version = ReadAttribute(sys_module / module / "version");
        if (version.empty() && (driver.provider == "kernel" || driver.provider == "built-in")) {
            version = release;
        }
        return version;
    };

    // Built up apart from the caller's vector so a failure part-way leaves it as it was.
    std::vector<DriverData> found;
    std::unordered_set<std::string> names;
    std::istringstream lines(modules);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        DriverData driver;
        if (!(fields >> driver.name) || !names.insert(driver.name).second) {
            continue;
        }
        describe_file(driver, driver.name);
        driver.version = version_of(driver, driver.name);
        found.push_back(std::move(driver));
    }
    const std::unordered_set<std::string> loaded_modules = names;

    // Every driver registered on a bus is part of the running kernel, built in or loaded; those
    // of a module already listed are not repeated.
    for (const fs::path& bus : SortedEntries(buses)) {
        for (const fs::path& driver_dir : SortedEntries(bus / "drivers")) {
            DriverData driver;
            driver.name = driver_dir.filename().string();
            std::string module = LinkTargetName(driver_dir / "module");
            if (names.count(driver.name) != 0 || loaded_modules.count(module) != 0) {
                continue;
            }
            names.insert(driver.name);
            if (module.empty()) {
                module = driver.name;
                std::replace(module.begin(), module.end(), '-', '_');
            }
            driver.description = bus.filename().string() + " bus driver";
            driver.provider = "built-in";
            describe_file(driver, module);
            driver.version = version_of(driver, module);
            found.push_back(std::move(driver));
        }
    }

    // Linux keeps no separate record of what was started at boot, so DRIVERS_BOOT (and any
    // value this code does not know) reports the running kernel's drivers.
    if (set_type == DriverInfo::DRIVERS_ALL && !release.empty()) {
        std::ifstream builtin(root_ / "lib/modules" / release / "modules.builtin");
        while (std::getline(builtin, line)) {
            const std::string entry = Trim(line);
            if (entry.empty()) {
                continue;
            }
            DriverData driver;
            driver.name = ModuleNameFromFile(entry);
            if (driver.name.empty() || !names.insert(driver.name).second) {
                continue;
            }
            driver.provider = "built-in";
            driver.version = version_of(driver, driver.name);
            found.push_back(std::move(driver));
        }
    }

    drivers.insert(drivers.end(), std::make_move_iterator(found.begin()),
                   std::make_move_iterator(found.end()));
    return 0;
}

int LinuxHost::ListDiskDrivers(std::vector<TSOptions::SoftwareIdentity_>& identities) {
    using TSSystemDevice::DeviceCollector;

    const fs::path block = root_ / "sys/block";
    std::error_code ec;
    std::vector<std::string> devices;
    for (fs::directory_iterator it(block, ec), end; !ec && it != end; it.increment(ec)) {
        devices.push_back(it->path().filename().string());
    }
    if (ec) {
        return DeviceCollector::kCollectFailed;
    }
    std::sort(devices.begin(), devices.end());

    struct DiskDriver {
        std::string name;
        fs::path link;  // the device's driver link, to find the driver's module through
        std::vector<std::string> devices;
    };
    std::vector<DiskDriver> found;
    for (const std::string& dev : devices) {
        const fs::path device = block / dev / "device";
        if (IsSkippedBlockDevice(dev)) {
            continue;
        }
        // Entries without a "device" link (virtual devices) have no driver link either and
        // drop out below, as do devices no driver is bound to. NVMe namespaces hang off the
        // controller's class device; the driver is bound to the PCI function one level further
        // down.
        fs::path link = device / "driver";
        std::string driver = LinkTargetName(link);
        if (driver.empty()) {
            link = device / "device/driver";
            driver = LinkTargetName(link);
        }
        if (driver.empty()) {
            continue;
        }
        auto group = std::find_if(found.begin(), found.end(),
                                  [&driver](const DiskDriver& d) { return d.name == driver; });
        if (group == found.end()) {
            found.push_back({driver, link, {}});
            group = std::prev(found.end());
        }
        group->devices.push_back(dev);
    }
    if (found.empty()) {
        return DeviceCollector::kNoDiskController;
    }

    const std::string release = KernelRelease(root_);
    std::vector<TSOptions::SoftwareIdentity_> result;
    for (const DiskDriver& driver : found) {
        std::string module = LinkTargetName(driver.link / "module");
        if (module.empty()) {
            module = driver.name;
            std::replace(module.begin(), module.end(), '-', '_');
        }
        // Drivers built from the kernel tree declare no version of their own; they are as new
        // as the kernel they came with.
        std::string version = ReadAttribute(root_ / "sys/module" / module / "version");
        if (version.empty()) {
            version = release;
        }

        TSOptions::SoftwareIdentity_ identity;
        identity.name = driver.name + " disk driver";
        identity.element_name = identity.name;
        identity.product_name = driver.name;
        identity.software_id = driver.name;
        std::transform(identity.software_id.begin(), identity.software_id.end(),
                       identity.software_id.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        identity.version_string = std::move(version);
        identity.classifications = "2";
        identity.classification_descriptions = "Driver";
        identity.description = "Disk driver for ";
        for (std::size_t i = 0; i < driver.devices.size(); ++i) {
            identity.description += (i == 0 ? "" : ", ") + driver.devices[i];
        }
        identity.manufacturer = "Linux";
        identity.instance_id = "disk-driver:" + driver.name;
        identity.target_device = driver.devices.front();
        identity.software_status = "Enabled";
        identity.is_pldm_update_supported = "0";
        identity.slot_type = TSOptions::SLOT_ONBOARD;
        result.push_back(std::move(identity));
    }
    identities.insert(identities.end(), std::make_move_iterator(result.begin()),
                      std::make_move_iterator(result.end()));
    return 0;
}

}  // namespace Tesmora
