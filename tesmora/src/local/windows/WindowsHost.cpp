#include "tesmora/windows/WindowsHost.h"

#include <windows.h>
// psapi.h builds on the types windows.h declares.
#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "tesmora/DeviceCollector.h"
#include "local/windows/WindowsEdition.h"

namespace Tesmora {

namespace {

constexpr const char* kCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

std::string RegistryText(const char* key, const char* value) {
    DWORD size = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0) {
        return std::string();
    }
    std::string text(size, '\0');
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
        ERROR_SUCCESS) {
        return std::string();
    }
    text.resize(text.find('\0') == std::string::npos ? size : text.find('\0'));
    return text;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string WindowsDirectory() {
    char directory[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(directory, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string("C:\\Windows") : std::string(directory);
}

// Driver paths come as the kernel and the service database write them: "\SystemRoot\...",
// "\??\C:\..." or relative to the Windows directory. Version resources need a plain path.
std::string PlainPath(std::string path) {
    const std::string system_root = "\\systemroot\\";
    const std::string nt_prefix = "\\??\\";
    if (Lower(path.substr(0, system_root.size())) == system_root) {
        return WindowsDirectory() + "\\" + path.substr(system_root.size());
    }
    if (path.compare(0, nt_prefix.size(), nt_prefix) == 0) {
        return path.substr(nt_prefix.size());
    }
    if (path.size() > 1 && path[1] != ':' && path[0] != '\\') {
        return WindowsDirectory() + "\\" + path;
    }
    return path;
}

std::string BaseName(const std::string& path) {
    const auto separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string WithoutExtension(const std::string& name) {
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// What a file's version resource says about it; empty members where it says nothing.
struct FileFacts {
    std::string version;
    std::string description;
    std::string company;
};

FileFacts ReadFileFacts(const std::string& path) {
    FileFacts facts;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) {
        return facts;
    }
    std::string data(size, '\0');
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) {
        return facts;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) &&
        fixed != nullptr) {
        facts.version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                        std::to_string(LOWORD(fixed->dwFileVersionLS));
    }
    struct Translation {
        WORD language;
        WORD code_page;
    }* translation = nullptr;
    if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translation), &length) &&
        length >= sizeof(Translation)) {
        const auto text = [&](const char* name) {
            char key[96];
            std::snprintf(key, sizeof(key), "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                          translation->code_page, name);
            char* value = nullptr;
            UINT value_length = 0;
            if (VerQueryValueA(data.data(), key, reinterpret_cast<void**>(&value), &value_length) &&
                value != nullptr) {
                return std::string(value);
            }
            return std::string();
        };
        facts.description = text("FileDescription");
        facts.company = text("CompanyName");
    }
    return facts;
}

DriverData DescribeDriver(const std::string& name, const std::string& path,
                          const std::string& fallback_description) {
    DriverData driver;
    driver.name = name;
    driver.file_name = PlainPath(path);
    const FileFacts facts = ReadFileFacts(driver.file_name);
    driver.version = facts.version;
    driver.description = facts.description.empty() ? fallback_description : facts.description;
    driver.provider = facts.company;
    return driver;
}

// A driver service as the service control manager describes it.
struct DriverService {
    std::string name;
    std::string display_name;
    std::string binary_path;
    std::string load_order_group;
    DWORD start_type = 0;
    bool running = false;
};

// Every kernel and file-system driver service; false when the manager cannot be asked.
bool ListDriverServices(std::vector<DriverService>& services) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == nullptr) {
        return false;
    }
    DWORD needed = 0;
    DWORD count = 0;
    DWORD resume = 0;
    EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, SERVICE_DRIVER, SERVICE_STATE_ALL, nullptr,
                          0, &needed, &count, &resume, nullptr);
    std::string buffer(needed + sizeof(ENUM_SERVICE_STATUS_PROCESSA), '\0');
    resume = 0;
    const bool listed =
        EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, SERVICE_DRIVER, SERVICE_STATE_ALL,
                              reinterpret_cast<BYTE*>(buffer.data()),
                              static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr);
    if (listed) {
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) {
            DriverService service;
            service.name = entries[i].lpServiceName;
            service.display_name = entries[i].lpDisplayName ? entries[i].lpDisplayName : "";
            service.running = entries[i].ServiceStatusProcess.dwCurrentState == SERVICE_RUNNING;
            SC_HANDLE handle =
                OpenServiceA(manager, entries[i].lpServiceName, SERVICE_QUERY_CONFIG);
            if (handle != nullptr) {
                DWORD config_size = 0;
                QueryServiceConfigA(handle, nullptr, 0, &config_size);
                std::string config(config_size + sizeof(QUERY_SERVICE_CONFIGA), '\0');
                auto* query = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(config.data());
                if (QueryServiceConfigA(handle, query, static_cast<DWORD>(config.size()),
                                        &config_size)) {
                    service.binary_path = query->lpBinaryPathName ? query->lpBinaryPathName : "";
                    service.load_order_group =
                        query->lpLoadOrderGroup ? query->lpLoadOrderGroup : "";
                    service.start_type = query->dwStartType;
                }
                CloseServiceHandle(handle);
            }
            services.push_back(std::move(service));
        }
    }
    CloseServiceHandle(manager);
    return listed;
}

// The driver images loaded in the kernel right now; false when they cannot be listed.
bool ListLoadedDriverImages(std::vector<DriverData>& drivers) {
    std::vector<LPVOID> bases(1024);
    DWORD needed = 0;
    if (!EnumDeviceDrivers(bases.data(), static_cast<DWORD>(bases.size() * sizeof(LPVOID)),
                           &needed)) {
        return false;
    }
    if (needed > bases.size() * sizeof(LPVOID)) {
        bases.resize(needed / sizeof(LPVOID));
        if (!EnumDeviceDrivers(bases.data(), static_cast<DWORD>(bases.size() * sizeof(LPVOID)),
                               &needed)) {
            return false;
        }
    }
    const std::size_t count = std::min<std::size_t>(needed / sizeof(LPVOID), bases.size());
    for (std::size_t i = 0; i < count; ++i) {
        char base_name[MAX_PATH] = {};
        char file_name[MAX_PATH] = {};
        if (GetDeviceDriverBaseNameA(bases[i], base_name, MAX_PATH) == 0) {
            continue;
        }
        GetDeviceDriverFileNameA(bases[i], file_name, MAX_PATH);
        drivers.push_back(
            DescribeDriver(WithoutExtension(base_name), file_name[0] ? file_name : base_name, ""));
    }
    return true;
}

}  // namespace

std::unique_ptr<LocalHost> MakeLocalHost() {
    return std::make_unique<WindowsHost>();
}

int WindowsHost::ReadOsType(std::string& os_type) {
    const std::string product = RegistryText(kCurrentVersionKey, "ProductName");
    const std::string edition = RegistryText(kCurrentVersionKey, "EditionID");
    const std::string build_text = RegistryText(kCurrentVersionKey, "CurrentBuildNumber");
    unsigned long build = 0;
    std::sscanf(build_text.c_str(), "%lu", &build);
    std::string text = WindowsOsTypeText(product, edition, build);
    if (text.empty()) {
        return kRegistryUnreadable;
    }
    os_type = std::move(text);
    return 0;
}

int WindowsHost::ListDrivers(std::vector<DriverData>& drivers,
                             DriverInfo::DriverInfoSetType set_type) {
    std::vector<DriverData> found;
    const bool images_listed =
        set_type != DriverInfo::DRIVERS_BOOT && ListLoadedDriverImages(found);
    std::vector<DriverService> services;
    const bool services_listed = ListDriverServices(services);
    if (!images_listed && !services_listed) {
        return DriverInfo::kListUnavailable;
    }

    // A service whose image is already listed as loaded is the same driver.
    std::set<std::string> images;
    for (const DriverData& driver : found) {
        images.insert(Lower(BaseName(driver.file_name)));
    }
    for (const DriverService& service : services) {
        const bool wanted = set_type == DriverInfo::DRIVERS_ALL ||
                            (set_type == DriverInfo::DRIVERS_BOOT &&
                             (service.start_type == SERVICE_BOOT_START ||
                              service.start_type == SERVICE_SYSTEM_START)) ||
                            (set_type != DriverInfo::DRIVERS_BOOT && service.running);
        if (!wanted || images.count(Lower(BaseName(service.binary_path))) != 0) {
            continue;
        }
        found.push_back(DescribeDriver(service.name, service.binary_path, service.display_name));
    }
    drivers.insert(drivers.end(), found.begin(), found.end());
    return 0;
}

int WindowsHost::ListDiskDrivers(std::vector<TSOptions::SoftwareIdentity_>& identities) {
    using TSSystemDevice::DeviceCollector;
    std::vector<DriverService> services;
    if (!ListDriverServices(services)) {
        return DeviceCollector::kCollectFailed;
    }
    std::vector<TSOptions::SoftwareIdentity_> found;
    for (const DriverService& service : services) {
        if (!service.running || Lower(service.load_order_group) != "scsi miniport") {
            continue;
        }
        const DriverData driver =
            DescribeDriver(service.name, service.binary_path, service.display_name);
        TSOptions::SoftwareIdentity_ identity;
        identity.name = service.display_name.empty() ? service.name : service.display_name;
        identity.element_name = identity.name;
        identity.product_name = service.name;
        identity.manufacturer = driver.provider;
        identity.software_id = service.name;
        std::transform(identity.software_id.begin(), identity.software_id.end(),
                       identity.software_id.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        identity.version_string = driver.version;
        identity.classifications = "2";
        identity.classification_descriptions = "Driver";
        identity.description = driver.description;
        identity.instance_id = "disk-driver:" + service.name;
        identity.target_device = driver.file_name;
        identity.software_status = "Enabled";
        identity.is_pldm_update_supported = "0";
        identity.slot_type = TSOptions::SLOT_ONBOARD;
        found.push_back(std::move(identity));
    }
    if (found.empty()) {
        return DeviceCollector::kNoDiskController;
    }
    identities.insert(identities.end(), found.begin(), found.end());
    return 0;
}

}  // namespace Tesmora
