#include "tesmora/Inventory.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>
#include <utility>

namespace Tesmora {

namespace {

using Json = nlohmann::json;

// The library calls a host of each kind can be told to fail, and whether their result is one
// of the library's four-valued result enumerations (0 to 3) rather than a free integer.
struct CallName {
    const char* name;
    EndpointKind kind;
    bool enumerated;
};

constexpr CallName kCallNames[] = {
    {"IsCMM", EndpointKind::kCMM, false},
    {"GetChassisInfo", EndpointKind::kCMM, false},
    {"GetCMMData", EndpointKind::kCMM, false},
    {"GetSwitchType", EndpointKind::kCMM, false},
    {"GetIOModuleDataByBayID", EndpointKind::kCMM, false},
    {"GetPassThruData", EndpointKind::kCMM, false},
    {"GetSmmMT", EndpointKind::kSMM, true},
    {"GetSmmSN", EndpointKind::kSMM, true},
    {"GetSmmFirmware", EndpointKind::kSMM, true},
    {"GetPSUFirmware", EndpointKind::kSMM, true},
    {"GetMachineType", EndpointKind::kBMC, true},
    {"GetPLDMSoftwareIdentities", EndpointKind::kBMC, false},
    {"osinfoGetVersion", EndpointKind::kESXi, true},
};

constexpr int kLastEnumeratedCode = 3;

struct KindName {
    const char* name;
    EndpointKind kind;
};

constexpr KindName kKindNames[] = {
    {"cmm", EndpointKind::kCMM},
    {"smm", EndpointKind::kSMM},
    {"bmc", EndpointKind::kBMC},
    {"esxi", EndpointKind::kESXi},
};

const char* NameOf(EndpointKind kind) {
    for (const KindName& entry : kKindNames) {
        if (entry.kind == kind) {
            return entry.name;
        }
    }
    return "?";
}

using IdentityText = std::string TSOptions::SoftwareIdentity_::*;

struct IdentityMember {
    const char* name;
    IdentityText member;
};

constexpr IdentityMember kIdentityTexts[] = {
    {"description", &TSOptions::SoftwareIdentity_::description},
    {"element_name", &TSOptions::SoftwareIdentity_::element_name},
    {"product_name", &TSOptions::SoftwareIdentity_::product_name},
    {"manufacturer", &TSOptions::SoftwareIdentity_::manufacturer},
    {"name", &TSOptions::SoftwareIdentity_::name},
    {"version_string", &TSOptions::SoftwareIdentity_::version_string},
    {"classifications", &TSOptions::SoftwareIdentity_::classifications},
    {"classification_descriptions", &TSOptions::SoftwareIdentity_::classification_descriptions},
    {"identity_info_value", &TSOptions::SoftwareIdentity_::identity_info_value},
    {"software_id", &TSOptions::SoftwareIdentity_::software_id},
    {"subdevice_id", &TSOptions::SoftwareIdentity_::subdevice_id},
    {"release_date", &TSOptions::SoftwareIdentity_::release_date},
    {"software_status", &TSOptions::SoftwareIdentity_::software_status},
    {"software_role", &TSOptions::SoftwareIdentity_::software_role},
    {"identity_info_type", &TSOptions::SoftwareIdentity_::identity_info_type},
    {"is_pldm_update_supported", &TSOptions::SoftwareIdentity_::is_pldm_update_supported},
    {"instance_id", &TSOptions::SoftwareIdentity_::instance_id},
    {"associated_adapter_slot", &TSOptions::SoftwareIdentity_::associated_adapter_slot},
    {"last_update_error", &TSOptions::SoftwareIdentity_::last_update_error},
    {"last_update_error_string", &TSOptions::SoftwareIdentity_::last_update_error_string},
    {"target_device", &TSOptions::SoftwareIdentity_::target_device},
};

// RFC 6901 escaping, so that an address or key holding '/' still names one place.
std::string PointerStep(const std::string& key) {
    std::string step = "/";
    for (const char c : key) {
        if (c == '~') {
            step += "~0";
        } else if (c == '/') {
            step += "~1";
        } else {
            step += c;
        }
    }
    return step;
}

std::string Describe(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::boolean:
            return "a boolean";
        case Json::value_t::string:
            return "a string";
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
            return "an integer";
        case Json::value_t::number_float:
            return "a floating-point number";
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "an array";
        default:
            return "something else";
    }
}

// Documentation inside the file: such keys are skipped wherever members are checked.
bool IsRemark(const std::string& key) {
    return key == "comment" || (!key.empty() && key.front() == '_');
}

// Reading one file: every error names the file and the JSON pointer of the offending value.
class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    [[noreturn]] void Fail(const std::string& path, const std::string& message) const {
        throw InventoryError(source_ + ": at " + (path.empty() ? "the top level" : path) + ": " +
                             message);
    }

    void Expect(const Json& value, bool matches, const char* expected,
                const std::string& path) const {
        if (!matches) {
            Fail(path, std::string("expected ") + expected + ", found " + Describe(value));
        }
    }

    std::string Text(const Json& value, const std::string& path) const {
        Expect(value, value.is_string(), "a string", path);
        return value.get<std::string>();
    }

    bool Flag(const Json& value, const std::string& path) const {
        Expect(value, value.is_boolean(), "a boolean", path);
        return value.get<bool>();
    }

    int Integer(const Json& value, const std::string& path) const {
        Expect(value, value.is_number_integer(), "an integer", path);
        const bool fits = value.is_number_unsigned()
                              ? value.get<std::uint64_t>() <=
                                    static_cast<std::uint64_t>(std::numeric_limits<int>::max())
                              : value.get<std::int64_t>() >= std::numeric_limits<int>::min() &&
                                    value.get<std::int64_t>() <= std::numeric_limits<int>::max();
        if (!fits) {
            Fail(path, "expected an integer, found one out of range");
        }
        return value.get<int>();
    }

private:
    std::string source_;
};

// The members of one JSON object, checked against the names it may hold.
class Members {
public:
    Members(const Reader& reader, const Json& object, std::string path,
            const std::vector<const char*>& allowed)
        : reader_(reader), object_(object), path_(std::move(path)) {
        reader_.Expect(object_, object_.is_object(), "an object", path_);
        for (const auto& [key, value] : object_.items()) {
            const bool known = std::any_of(allowed.begin(), allowed.end(),
                                           [&key = key](const char* name) { return key == name; });
            if (!known && !IsRemark(key)) {
                reader_.Fail(PathOf(key), "unknown member");
            }
        }
    }

    const std::string& Path() const { return path_; }
    std::string PathOf(const std::string& key) const { return path_ + PointerStep(key); }

    const Json* Find(const char* key) const {
        const auto found = object_.find(key);
        return found == object_.end() ? nullptr : &*found;
    }

    const Json& Required(const char* key) const {
        const Json* value = Find(key);
        if (value == nullptr) {
            reader_.Fail(path_, std::string("missing member \"") + key + "\"");
        }
        return *value;
    }

    std::string Text(const char* key) const {
        const Json* value = Find(key);
        return value == nullptr ? std::string() : reader_.Text(*value, PathOf(key));
    }

    bool Flag(const char* key) const {
        const Json* value = Find(key);
        return value != nullptr && reader_.Flag(*value, PathOf(key));
    }

    int Integer(const char* key, int fallback) const {
        const Json* value = Find(key);
        return value == nullptr ? fallback : reader_.Integer(*value, PathOf(key));
    }

    // Calls read(element, path) for each element of the array under key, if there is one.
    template <typename Read>
    void EachElement(const char* key, Read read) const {
        const Json* array = Find(key);
        if (array == nullptr) {
            return;
        }
        const std::string path = PathOf(key);
        reader_.Expect(*array, array->is_array(), "an array", path);
        for (std::size_t index = 0; index < array->size(); ++index) {
            read((*array)[index], path + "/" + std::to_string(index));
        }
    }

    // Calls read(name, value, path) for each member of the object under key, if there is one.
    template <typename Read>
    void EachMember(const char* key, Read read) const {
        const Json* object = Find(key);
        if (object == nullptr) {
            return;
        }
        const std::string path = PathOf(key);
        reader_.Expect(*object, object->is_object(), "an object", path);
        for (const auto& [name, value] : object->items()) {
            if (!IsRemark(name)) {
                read(name, value, path + PointerStep(name));
            }
        }
    }

private:
    const Reader& reader_;
    const Json& object_;
    std::string path_;
};

CIMIOFirmware ReadModuleFirmware(const Reader& reader, const Json& value, const std::string& path) {
    const Members members(reader, value, path,
                          {"id", "name", "version", "pass_through_id_part3", "classification"});
    CIMIOFirmware firmware;
    firmware.Id = members.Text("id");
    firmware.Name = members.Text("name");
    firmware.Version = members.Text("version");
    firmware.PassThruIdPart3 = members.Text("pass_through_id_part3");
    firmware.Classification = members.Integer("classification", -1);
    return firmware;
}

CIMIOData ReadModule(const Reader& reader, const Json& value, const std::string& path) {
    const Members members(reader, value, path,
                          {"pass_through", "id_part1", "id_part2", "firmware"});
    CIMIOData module;
    module.IsPassThrough = members.Flag("pass_through");
    module.PassThruIdPart1 = members.Text("id_part1");
    module.PassThruIdPart2 = members.Text("id_part2");
    members.EachElement("firmware", [&](const Json& element, const std::string& element_path) {
        module.Firmware.push_back(ReadModuleFirmware(reader, element, element_path));
    });
    return module;
}

int BayNumber(const Reader& reader, const std::string& key, const std::string& path) {
    // Leading zeros would let "1" and "01" name the same bay.
    const bool digits =
        !key.empty() && key.size() <= 9 && (key.size() == 1 || key[0] != '0') &&
        std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits) {
        reader.Fail(path, "expected a bay number in decimal digits");
    }
    return std::stoi(key);
}

ChassisBay ReadBay(const Reader& reader, const Json& value, const std::string& path) {
    const Members members(reader, value, path, {"kind", "modules"});
    ChassisBay bay;
    const std::string kind_path = members.PathOf("kind");
    const std::string kind = reader.Text(members.Required("kind"), kind_path);
    if (kind == "io-module") {
        bay.switch_type = CMMInventory::kIOModuleSwitch;
    } else if (kind == "pass-through") {
        bay.switch_type = CMMInventory::kPassThroughModule;
    } else {
        reader.Fail(kind_path,
                    "unknown bay kind \"" + kind + "\" (expected io-module or pass-through)");
    }
    members.EachElement("modules", [&](const Json& element, const std::string& element_path) {
        bay.modules.push_back(ReadModule(reader, element, element_path));
    });
    return bay;
}

void ReadChassis(const Reader& reader, const Members& host, InventoryEndpoint& endpoint) {
    if (const Json* chassis = host.Find("chassis")) {
        const Members members(reader, *chassis, host.PathOf("chassis"),
                              {"machine_type_model", "serial_number", "name"});
        endpoint.chassis.MachineTypeModel = members.Text("machine_type_model");
        endpoint.chassis.SerialNumber = members.Text("serial_number");
        endpoint.chassis.Name = members.Text("name");
    }
    host.EachElement("cmms", [&](const Json& element, const std::string& path) {
        const Members members(reader, element, path,
                              {"firmware_version", "secondary", "build_id", "release_date"});
        CMMData cmm;
        cmm.FirmwareVersion = members.Text("firmware_version");
        cmm.IsSecondary = members.Flag("secondary") ? 1 : 0;
        cmm.BuildId = members.Text("build_id");
        cmm.ReleaseDate = members.Text("release_date");
        endpoint.cmms.push_back(std::move(cmm));
    });
    host.EachMember("bays",
                    [&](const std::string& key, const Json& value, const std::string& path) {
                        endpoint.bays[BayNumber(reader, key, path)] = ReadBay(reader, value, path);
                    });
}

void ReadEnclosure(const Reader& reader, const Members& host, InventoryEndpoint& endpoint) {
    if (const Json* firmware = host.Find("firmware")) {
        const Members members(reader, *firmware, host.PathOf("firmware"),
                              {"id", "version", "classification", "description", "name"});
        endpoint.smm_firmware.id = members.Text("id");
        endpoint.smm_firmware.version = members.Text("version");
        endpoint.smm_firmware.classification = members.Text("classification");
        endpoint.smm_firmware.description = members.Text("description");
        endpoint.smm_firmware.name = members.Text("name");
    }
    host.EachElement("power_supplies", [&](const Json& element, const std::string& path) {
        const Members members(reader, element, path,
                              {"name", "id", "version", "slot_num", "description"});
        PSUFwInfo supply;
        supply.name = members.Text("name");
        supply.id = members.Text("id");
        supply.version = members.Text("version");
        supply.slot_num = members.Text("slot_num");
        supply.description = members.Text("description");
        endpoint.power_supplies.push_back(std::move(supply));
    });
}

TSOptions::SoftwareIdentity_ ReadIdentity(const Reader& reader, const Json& value,
                                          const std::string& path) {
    // Built from the table so that the accepted names are exactly the record's members.
    std::vector<const char*> names;
    for (const IdentityMember& entry : kIdentityTexts) {
        names.push_back(entry.name);
    }
    names.push_back("slot_type");
    const Members members(reader, value, path, names);
    TSOptions::SoftwareIdentity_ identity;
    for (const IdentityMember& entry : kIdentityTexts) {
        identity.*entry.member = members.Text(entry.name);
    }
    identity.slot_type = static_cast<TSOptions::Slot_Type>(members.Integer("slot_type", 0));
    return identity;
}

void ReadFailures(const Reader& reader, const Members& host, InventoryEndpoint& endpoint) {
    host.EachMember(
        "failures", [&](const std::string& call, const Json& value, const std::string& path) {
            const CallName* known = nullptr;
            std::string choices;
            for (const CallName& entry : kCallNames) {
                if (entry.kind != endpoint.kind) {
                    continue;
                }
                choices += choices.empty() ? "" : ", ";
                choices += entry.name;
                if (call == entry.name) {
                    known = &entry;
                }
            }
            if (known == nullptr) {
                reader.Fail(path, std::string("unknown call name for a ") + NameOf(endpoint.kind) +
                                      " endpoint (expected one of " + choices + ")");
            }
            const int code = reader.Integer(value, path);
            // Those libraries hand out enumerators; a number outside the enumeration could not
            // come from them.
            if (known->enumerated && (code < 0 || code > kLastEnumeratedCode)) {
                reader.Fail(path, "expected a result code from 0 to " +
                                      std::to_string(kLastEnumeratedCode) + ", found " +
                                      std::to_string(code));
            }
            endpoint.failures[call] = code;
        });
}

InventoryEndpoint ReadHost(const Reader& reader, const Json& value, const std::string& path) {
    reader.Expect(value, value.is_object(), "an object", path);
    const auto kind_member = value.find("kind");
    if (kind_member == value.end()) {
        reader.Fail(path, "missing member \"kind\"");
    }
    const std::string kind_path = path + "/kind";
    const std::string kind = reader.Text(*kind_member, kind_path);
    const KindName* kind_entry =
        std::find_if(std::begin(kKindNames), std::end(kKindNames),
                     [&](const KindName& entry) { return kind == entry.name; });
    if (kind_entry == std::end(kKindNames)) {
        reader.Fail(kind_path,
                    "unknown endpoint kind \"" + kind + "\" (expected cmm, smm, bmc or esxi)");
    }

    InventoryEndpoint endpoint;
    endpoint.kind = kind_entry->kind;
    const std::vector<const char*> cmm = {"kind",    "credentials", "failures",
                                          "chassis", "cmms",        "bays"};
    const std::vector<const char*> smm = {"kind",          "credentials",   "failures",
                                          "machine_type",  "serial_number", "firmware",
                                          "power_supplies"};
    const std::vector<const char*> bmc = {"kind",         "credentials",   "failures",
                                          "machine_type", "serial_number", "identities"};
    const std::vector<const char*> esxi = {"kind",    "credentials", "failures",
                                           "version", "build",       "architecture"};
    const Members host(reader, value, path,
                       endpoint.kind == EndpointKind::kCMM   ? cmm
                       : endpoint.kind == EndpointKind::kSMM ? smm
                       : endpoint.kind == EndpointKind::kBMC ? bmc
                                                             : esxi);

    if (const Json* credentials = host.Find("credentials")) {
        const Members members(reader, *credentials, host.PathOf("credentials"),
                              {"user", "password"});
        endpoint.credentials = InventoryCredentials{
            reader.Text(members.Required("user"), members.PathOf("user")),
            reader.Text(members.Required("password"), members.PathOf("password"))};
    }
    ReadFailures(reader, host, endpoint);

    switch (endpoint.kind) {
        case EndpointKind::kCMM:
            ReadChassis(reader, host, endpoint);
            break;
        case EndpointKind::kSMM:
            endpoint.machine_type = host.Text("machine_type");
            endpoint.serial_number = host.Text("serial_number");
            ReadEnclosure(reader, host, endpoint);
            break;
        case EndpointKind::kBMC:
            endpoint.machine_type = host.Text("machine_type");
            endpoint.serial_number = host.Text("serial_number");
            host.EachElement("identities", [&](const Json& element, const std::string& at) {
                endpoint.identities.push_back(ReadIdentity(reader, element, at));
            });
            break;
        case EndpointKind::kESXi:
            endpoint.os.version = host.Text("version");
            endpoint.os.build = host.Text("build");
            endpoint.os.architecture = host.Integer("architecture", 0);
            break;
    }
    return endpoint;
}

// Where a parse error happened, counted from 1 the way editors do. The parser reports the
// offset just past the character it stopped at; its own line count is off by one when that
// character ends a line, so the place is worked out from the text.
std::string LineAndColumn(const std::string& text, std::size_t byte) {
    const std::size_t offset = std::min(byte == 0 ? 0 : byte - 1, text.size());
    const std::size_t line = 1 + std::count(text.begin(), text.begin() + offset, '\n');
    const std::size_t line_start = text.rfind('\n', offset == 0 ? std::string::npos : offset - 1);
    const std::size_t column =
        offset == 0 ? 1 : offset - (line_start == std::string::npos ? 0 : line_start + 1) + 1;
    return std::to_string(line) + ":" + std::to_string(column);
}

// The parser's own words without its prefix and without the text it last read, which may be
// part of a password.
std::string ParserMessage(const std::string& what) {
    std::string message = what;
    const std::size_t column = message.find(", column ");
    if (column != std::string::npos) {
        const std::size_t colon = message.find(": ", column);
        if (colon != std::string::npos) {
            message.erase(0, colon + 2);
        }
    }
    const std::size_t last_read = message.find("; last read: ");
    if (last_read != std::string::npos) {
        const std::size_t expected = message.find("; expected", last_read);
        message.erase(last_read,
                      expected == std::string::npos ? std::string::npos : expected - last_read);
    }
    return message;
}

// The parser keeps the last of two equal keys; an address pasted twice would silently drop a
// host, so repeats are refused. Tracks where the parser is to name the place.
class RepeatedKeyCheck {
public:
    explicit RepeatedKeyCheck(const Reader& reader) : reader_(reader) {}

    bool operator()(int, Json::parse_event_t event, const Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
                frames_.push_back(Frame{false, 0, std::string(), {}});
                break;
            case Json::parse_event_t::array_start:
                frames_.push_back(Frame{true, 0, std::string(), {}});
                break;
            case Json::parse_event_t::key: {
                Frame& frame = frames_.back();
                frame.key = parsed.get<std::string>();
                if (!frame.keys.insert(frame.key).second) {
                    reader_.Fail(Path(), "member repeated");
                }
                break;
            }
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                frames_.pop_back();
                NextElement();
                break;
            case Json::parse_event_t::value:
                NextElement();
                break;
        }
        return true;
    }

private:
    struct Frame {
        bool array;
        std::size_t index;
        std::string key;
        std::set<std::string> keys;
    };

    void NextElement() {
        if (!frames_.empty() && frames_.back().array) {
            ++frames_.back().index;
        }
    }

    std::string Path() const {
        std::string path;
        for (const Frame& frame : frames_) {
            path += frame.array ? "/" + std::to_string(frame.index) : PointerStep(frame.key);
        }
        return path;
    }

    const Reader& reader_;
    std::vector<Frame> frames_;
};

}  // namespace

InventoryError::InventoryError(const std::string& message) : std::runtime_error(message) {}

std::optional<int> InventoryEndpoint::FailureOf(const std::string& call) const {
    const auto found = failures.find(call);
    if (found == failures.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool InventoryEndpoint::Admits(const std::string& user, const std::string& password) const {
    return !credentials || (credentials->user == user && credentials->password == password);
}

std::shared_ptr<const Inventory> Inventory::Load(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        throw InventoryError(path + ": cannot open: " + std::generic_category().message(errno));
    }
    std::string text;
    char buffer[8192];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, count);
    }
    if (std::ferror(file.get())) {
        throw InventoryError(path + ": cannot open: " + std::generic_category().message(errno));
    }
    return Parse(text, path);
}

std::shared_ptr<const Inventory> Inventory::Parse(const std::string& json_text,
                                                  const std::string& source_name) {
    const Reader reader(source_name);
    Json document;
    try {
        document = Json::parse(json_text, RepeatedKeyCheck(reader));
    } catch (const Json::parse_error& error) {
        throw InventoryError(source_name + ":" + LineAndColumn(json_text, error.byte) + ": " +
                             ParserMessage(error.what()));
    }

    const Members top(reader, document, "", {"hosts"});
    auto inventory = std::make_shared<Inventory>();
    top.Required("hosts");
    top.EachMember("hosts",
                   [&](const std::string& address, const Json& value, const std::string& path) {
                       if (address.empty()) {
                           reader.Fail(path, "expected a host address, found an empty name");
                       }
                       inventory->hosts_.emplace(address, ReadHost(reader, value, path));
                   });
    return inventory;
}

const InventoryEndpoint* Inventory::Find(const std::string& address) const {
    const auto found = hosts_.find(address);
    return found == hosts_.end() ? nullptr : &found->second;
}

}  // namespace Tesmora
