#include "common/ErrorCode.h"

#include <map>
#include <string>

namespace {

// Constants in other translation units register themselves during dynamic initialisation, in
// an order nobody controls, so the maps must come into being on first use rather than as
// namespace-scope objects that might still be unconstructed when the first registration runs.
std::map<int, std::string>& MutableGeneralErrorMap() {
    static std::map<int, std::string> general_map;
    return general_map;
}

std::map<int, std::map<int, std::string>>& MutableCategoryErrorMap() {
    static std::map<int, std::map<int, std::string>> category_map;
    return category_map;
}

}  // namespace

int RegisterErrorCode(int category, int code, const char* message) {
    // Shift as unsigned: a negative category would make the signed shift undefined in C++17,
    // while the wrapped bit pattern is exactly the value we want to hand back.
    const int value = static_cast<int>(static_cast<unsigned int>(category) << 16) | code;
    std::string& entry = category <= 0 ? MutableGeneralErrorMap()[value]
                                       : MutableCategoryErrorMap()[category][value];
    entry.assign(message);
    return value;
}

const std::map<int, std::string>& GetGeneralErrorMap() {
    return MutableGeneralErrorMap();
}

const std::map<int, std::map<int, std::string>>& GetCategoryErrorMap() {
    return MutableCategoryErrorMap();
}

namespace Quendal::Status {

// Category 0: success, failure and errors shared by every command.
const int SUCCEED = RegisterErrorCode(0, 0, "Succeed.");
const int GENERIC_FAILURE = RegisterErrorCode(0, 1, "Generic Failure.");
const int INVALID_PARAMETER = RegisterErrorCode(0, 3, "Invalid parameter.");
const int MISSING_REQUIRED_PARAMETER = RegisterErrorCode(0, 4, "A required parameter is missing.");
const int INVALID_COMMAND = RegisterErrorCode(0, 5, "Invalid command.");
const int INVALID_IP_ADDRESS = RegisterErrorCode(0, 6, "Invalid IP address.");
const int INVALID_PORT_NUMBER = RegisterErrorCode(0, 7, "Invalid port number.");
const int FILE_NOT_FOUND = RegisterErrorCode(0, 8, "File not found.");
const int FAILED_TO_OPEN_FILE = RegisterErrorCode(0, 9, "Failed to open file.");
const int FAILED_TO_READ_FILE = RegisterErrorCode(0, 10, "Failed to read file.");
const int FAILED_TO_WRITE_FILE = RegisterErrorCode(0, 11, "Failed to write file.");
const int DIRECTORY_NOT_FOUND = RegisterErrorCode(0, 12, "Directory not found.");
const int FAILED_TO_CREATE_DIRECTORY = RegisterErrorCode(0, 13, "Failed to create directory.");
const int INSUFFICIENT_DISK_SPACE = RegisterErrorCode(0, 14, "Insufficient disk space.");
const int OUT_OF_MEMORY = RegisterErrorCode(0, 15, "Out of memory.");
const int FILE_ACCESS_DENIED = RegisterErrorCode(0, 16, "Access to the file is denied.");
const int INTERNAL_ERROR = RegisterErrorCode(0, 17, "Internal error.");
const int CONNECTION_FAILED = RegisterErrorCode(0, 18, "Failed to connect to the target system.");
const int CONNECTION_REFUSED = RegisterErrorCode(0, 19, "Connection refused by the target system.");
const int CONNECTION_LOST = RegisterErrorCode(0, 20, "Connection to the target system was lost.");
const int HOST_UNREACHABLE = RegisterErrorCode(0, 21, "Target host is unreachable.");
const int AUTHENTICATION_FAILED = RegisterErrorCode(0, 22, "Authentication failed.");
const int INVALID_USER_OR_PASSWORD = RegisterErrorCode(0, 23, "Invalid user name or password.");
const int USER_ACCOUNT_LOCKED = RegisterErrorCode(0, 24, "The user account is locked.");
const int FUNCTION_NOT_SUPPORTED =
    RegisterErrorCode(0, 25, "Function is not supported on target system.");
const int INSUFFICIENT_PRIVILEGE =
    RegisterErrorCode(0, 26, "The user does not have sufficient privilege.");
const int OPERATION_TIMED_OUT = RegisterErrorCode(0, 27, "Operation timed out.");
const int CONNECTION_TIMED_OUT = RegisterErrorCode(0, 28, "Connection timed out.");
const int RESPONSE_TIMED_OUT =
    RegisterErrorCode(0, 29, "Timed out waiting for a response from the target system.");
const int SECURE_HANDSHAKE_FAILED = RegisterErrorCode(0, 30, "Secure connection handshake failed.");
const int BMC_INTERNAL_ERROR = RegisterErrorCode(0, 32, "BMC internal error.");
const int BMC_BUSY = RegisterErrorCode(0, 33, "BMC is busy, try again later.");
const int BMC_NOT_READY = RegisterErrorCode(0, 34, "BMC is not ready.");
const int SMM_INTERNAL_ERROR = RegisterErrorCode(0, 35, "SMM internal error.");
const int SMM_BUSY = RegisterErrorCode(0, 36, "SMM is busy, try again later.");
const int CMM_INTERNAL_ERROR = RegisterErrorCode(0, 37, "CMM internal error.");
const int CMM_BUSY = RegisterErrorCode(0, 38, "CMM is busy, try again later.");
const int INVALID_RESPONSE = RegisterErrorCode(0, 39, "Invalid response from the target system.");
const int IPMI_COMMAND_FAILED = RegisterErrorCode(0, 40, "IPMI command failed.");
const int IPMI_DRIVER_NOT_INSTALLED = RegisterErrorCode(0, 41, "IPMI driver is not installed.");
const int IPMI_INVALID_COMPLETION_CODE =
    RegisterErrorCode(0, 42, "IPMI command returned an invalid completion code.");
const int IPMI_SESSION_FAILED = RegisterErrorCode(0, 43, "Failed to establish an IPMI session.");
const int KCS_ACCESS_DENIED = RegisterErrorCode(0, 44, "Access to the KCS interface is denied.");
const int KCS_NOT_AVAILABLE = RegisterErrorCode(0, 45, "KCS interface is not available.");
const int KCS_TIMED_OUT = RegisterErrorCode(0, 46, "KCS interface timed out.");
const int IN_BAND_ACCESS_REQUIRES_ADMIN =
    RegisterErrorCode(0, 47, "In-band access requires administrator or root privilege.");
const int LAN_OVER_USB_NOT_AVAILABLE =
    RegisterErrorCode(0, 48, "LAN-over-USB interface is not available.");
const int LAN_OVER_USB_DISABLED = RegisterErrorCode(0, 49, "LAN-over-USB is disabled on the BMC.");
const int LAN_OVER_USB_DRIVER_NOT_INSTALLED =
    RegisterErrorCode(0, 50, "LAN-over-USB driver is not installed.");
const int LAN_OVER_USB_CONFIG_FAILED =
    RegisterErrorCode(0, 51, "Failed to configure the LAN-over-USB interface.");
const int LAN_OVER_USB_IP_CONFLICT =
    RegisterErrorCode(0, 52, "LAN-over-USB IP address conflicts with another interface.");
const int LAN_OVER_USB_RESTORE_FAILED =
    RegisterErrorCode(0, 53, "Failed to restore the LAN-over-USB settings.");
const int NO_TARGET_SPECIFIED = RegisterErrorCode(0, 54, "No target system specified.");
const int NO_TASK_TO_RUN = RegisterErrorCode(0, 55, "No task to run.");
const int TASK_CANCELLED = RegisterErrorCode(0, 56, "The task was cancelled.");
const int ALL_TASKS_SUCCEEDED = RegisterErrorCode(0, 57, "All tasks completed successfully.");
const int SOME_TASKS_FAILED = RegisterErrorCode(0, 58, "One or more tasks failed.");
const int SOME_TASKS_SKIPPED = RegisterErrorCode(0, 59, "One or more tasks skipped.");
const int ALL_TASKS_FAILED = RegisterErrorCode(0, 60, "All tasks failed.");
const int ALL_TASKS_SKIPPED = RegisterErrorCode(0, 61, "All tasks skipped.");
const int SOME_TASKS_FAILED_AND_SKIPPED =
    RegisterErrorCode(0, 62, "One or more tasks failed and one or more tasks skipped.");
const int TASK_PARTIALLY_COMPLETED = RegisterErrorCode(0, 63, "The task completed partially.");
const int REBOOT_REQUIRED =
    RegisterErrorCode(0, 64, "A system reboot is required to complete the task.");
const int TASK_ALREADY_RUNNING = RegisterErrorCode(0, 65, "Another task is already running.");
const int ABORTED_BY_USER = RegisterErrorCode(0, 66, "Operation aborted by user.");
const int UNKNOWN_ERROR = RegisterErrorCode(0, 67, "Unknown error.");

// Category 1: firmware and software update, including OS detection.
const int UPDATE_PACKAGE_SKIPPED = RegisterErrorCode(1, 125, "Skip updating this package.");
const int PACKAGE_NOT_APPLICABLE =
    RegisterErrorCode(1, 124, "The package is not applicable to the target system.");
const int INSTALLED_VERSION_UP_TO_DATE =
    RegisterErrorCode(1, 123, "The installed version is already up to date.");
const int FAILED_TO_FLASH_FIRMWARE = RegisterErrorCode(1, 122, "Failed to flash the firmware.");
const int FIRMWARE_FLASH_TIMED_OUT = RegisterErrorCode(1, 121, "Firmware flash timed out.");
const int PACKAGE_SIGNATURE_INVALID =
    RegisterErrorCode(1, 120, "Failed to verify the package signature.");
const int PACKAGE_FILE_CORRUPTED = RegisterErrorCode(1, 119, "Package file is corrupted.");
const int PACKAGE_METADATA_MISSING = RegisterErrorCode(1, 118, "Package metadata file is missing.");
const int FAILED_TO_PARSE_PACKAGE_METADATA =
    RegisterErrorCode(1, 117, "Failed to parse the package metadata.");
const int PACKAGE_DEPENDENCY_NOT_MET =
    RegisterErrorCode(1, 116, "Package dependency is not satisfied.");
const int FAILED_TO_EXTRACT_PACKAGE = RegisterErrorCode(1, 115, "Failed to extract the package.");
const int FAILED_TO_DOWNLOAD_PACKAGE = RegisterErrorCode(1, 114, "Failed to download the package.");
const int FAILED_TO_DOWNLOAD_CATALOG =
    RegisterErrorCode(1, 113, "Failed to download the update catalog.");
const int OS_NOT_SUPPORTED =
    RegisterErrorCode(1, 112, "Current Operating System is not supported.");
const int FAILED_TO_GET_OS_TYPE = RegisterErrorCode(1, 111, "Failed to get OS type.");
const int FAILED_TO_GET_INSTALLED_VERSION =
    RegisterErrorCode(1, 110, "Failed to get the installed version.");
const int MAINTENANCE_OS_BOOT_FAILED =
    RegisterErrorCode(1, 109, "Failed to boot into the maintenance-mode OS.");
const int MAINTENANCE_OS_IMAGE_NOT_FOUND =
    RegisterErrorCode(1, 108, "Maintenance-mode OS image not found.");
const int MAINTENANCE_OS_MOUNT_FAILED =
    RegisterErrorCode(1, 107, "Failed to mount the maintenance-mode OS image.");
const int MAINTENANCE_OS_START_TIMED_OUT =
    RegisterErrorCode(1, 106, "Timed out waiting for the maintenance-mode OS to start.");
const int MAINTENANCE_OS_EXIT_FAILED =
    RegisterErrorCode(1, 105, "Failed to exit the maintenance-mode OS.");
const int REPOSITORY_NOT_FOUND = RegisterErrorCode(1, 104, "Update repository not found.");
const int REPOSITORY_EMPTY = RegisterErrorCode(1, 103, "Update repository is empty.");
const int REPOSITORY_ACCESS_FAILED =
    RegisterErrorCode(1, 102, "Failed to access the update repository.");
const int NO_APPLICABLE_UPDATE =
    RegisterErrorCode(1, 101, "No applicable update found in the repository.");
const int FAILED_TO_COPY_PACKAGE =
    RegisterErrorCode(1, 100, "Failed to copy the package to the target system.");
const int FAILED_TO_STAGE_PACKAGE = RegisterErrorCode(1, 99, "Failed to stage the package.");
const int FAILED_TO_ACTIVATE_FIRMWARE =
    RegisterErrorCode(1, 98, "Failed to activate the firmware.");
const int FIRMWARE_DOWNGRADE_NOT_ALLOWED =
    RegisterErrorCode(1, 97, "Firmware downgrade is not allowed.");
const int FIRMWARE_ROLLBACK_FAILED =
    RegisterErrorCode(1, 96, "Rollback to the previous firmware failed.");
const int DOWNLOAD_PROXY_AUTH_FAILED =
    RegisterErrorCode(1, 89, "Proxy authentication failed during download.");
const int DOWNLOAD_CHECKSUM_MISMATCH =
    RegisterErrorCode(1, 88, "Checksum of the downloaded file does not match.");
const int DOWNLOAD_SITE_UNREACHABLE =
    RegisterErrorCode(1, 87, "Failed to connect to the download site.");
const int UPDATE_STAGED = RegisterErrorCode(1, 86, "Staged");
const int UPDATE_PENDING_ACTIVATION = RegisterErrorCode(1, 85, "Pending activation");
const int UPDATE_INSTALLED = RegisterErrorCode(1, 84, "Installed");
const int UPDATE_IN_PROGRESS = RegisterErrorCode(1, 83, "In progress");

// Category 2: file upload over libcurl.
const int LIBCURL_INIT_FAILED = RegisterErrorCode(2, 125, "Libcurl error: Initialization failed.");
const int LIBCURL_HOST_NOT_RESOLVED =
    RegisterErrorCode(2, 124, "Libcurl error: Cannot resolve the host name.");
const int LIBCURL_CONNECT_FAILED =
    RegisterErrorCode(2, 123, "Libcurl error: Cannot connect to the server.");
const int LIBCURL_READ_LOCAL_FILE_FAILED =
    RegisterErrorCode(2, 122, "Libcurl error: Read local file error.");
const int LIBCURL_UPLOAD_FAILED = RegisterErrorCode(2, 121, "Libcurl error: Upload failed.");
const int LIBCURL_TIMED_OUT = RegisterErrorCode(2, 120, "Libcurl error: Transfer timed out.");
const int LIBCURL_SSL_CONNECT_FAILED =
    RegisterErrorCode(2, 119, "Libcurl error: SSL connection failed.");
const int LIBCURL_LOGIN_DENIED =
    RegisterErrorCode(2, 118, "Libcurl error: Login denied by the server.");
const int LIBCURL_UNSUPPORTED_PROTOCOL =
    RegisterErrorCode(2, 117, "Libcurl error: Protocol not supported.");

// Category 3: remote diagnostics.
const int DIAGNOSTIC_START_FAILED =
    RegisterErrorCode(3, 125, "Failed to start the remote diagnostic test.");
const int DIAGNOSTIC_NOT_SUPPORTED =
    RegisterErrorCode(3, 124, "Remote diagnostic test is not supported on the target system.");
const int DIAGNOSTIC_TIMED_OUT = RegisterErrorCode(3, 123, "Remote diagnostic test timed out.");
const int DIAGNOSTIC_RESULT_UNAVAILABLE =
    RegisterErrorCode(3, 122, "Failed to retrieve the remote diagnostic result.");
const int DIAGNOSTIC_ALREADY_RUNNING =
    RegisterErrorCode(3, 121, "Remote diagnostic test is already running.");

// Category 4: BMC settings, certificates, users, passwords and batch commands.
const int FAILED_TO_GET_BMC_SETTINGS = RegisterErrorCode(4, 125, "Failed to get BMC settings.");
const int FAILED_TO_SET_BMC_SETTINGS = RegisterErrorCode(4, 124, "Failed to set BMC settings.");
const int SETTING_NOT_FOUND = RegisterErrorCode(4, 123, "Setting not found.");
const int SETTING_VALUE_INVALID = RegisterErrorCode(4, 122, "Setting value is invalid.");
const int SETTING_READ_ONLY = RegisterErrorCode(4, 121, "Setting is read-only.");
const int FAILED_TO_RESTORE_BMC_DEFAULTS =
    RegisterErrorCode(4, 120, "Failed to restore BMC settings to defaults.");
const int FAILED_TO_SAVE_BMC_SETTINGS =
    RegisterErrorCode(4, 119, "Failed to save BMC settings to file.");
const int FAILED_TO_LOAD_BMC_SETTINGS =
    RegisterErrorCode(4, 118, "Failed to load BMC settings from file.");
const int FAILED_TO_RESET_BMC = RegisterErrorCode(4, 117, "Failed to reset the BMC.");
const int FAILED_TO_GENERATE_CSR =
    RegisterErrorCode(4, 116, "Failed to generate the certificate signing request.");
const int FAILED_TO_IMPORT_CERTIFICATE =
    RegisterErrorCode(4, 115, "Failed to import the certificate.");
const int FAILED_TO_EXPORT_CERTIFICATE =
    RegisterErrorCode(4, 114, "Failed to export the certificate.");
const int CERTIFICATE_FILE_INVALID = RegisterErrorCode(4, 113, "Certificate file is invalid.");
const int CERTIFICATE_EXPIRED = RegisterErrorCode(4, 112, "Certificate has expired.");
const int FAILED_TO_DELETE_CERTIFICATE =
    RegisterErrorCode(4, 111, "Failed to delete the certificate.");
const int FAILED_TO_CREATE_USER = RegisterErrorCode(4, 110, "Failed to create the user account.");
const int FAILED_TO_DELETE_USER = RegisterErrorCode(4, 109, "Failed to delete the user account.");
const int USER_ALREADY_EXISTS = RegisterErrorCode(4, 108, "User account already exists.");
const int USER_NOT_FOUND = RegisterErrorCode(4, 107, "User account not found.");
const int USER_LIMIT_REACHED =
    RegisterErrorCode(4, 106, "Maximum number of user accounts reached.");
const int FAILED_TO_CHANGE_USER_PRIVILEGE =
    RegisterErrorCode(4, 105, "Failed to change the user privilege.");
const int FAILED_TO_CHANGE_PASSWORD = RegisterErrorCode(4, 104, "Failed to change the password.");
const int PASSWORD_TOO_WEAK =
    RegisterErrorCode(4, 103, "Password does not meet the complexity rules.");
const int PASSWORD_RECENTLY_USED =
    RegisterErrorCode(4, 102, "Password was used recently and cannot be reused.");
const int PASSWORD_LENGTH_OUT_OF_RANGE =
    RegisterErrorCode(4, 101, "Password length is out of range.");
const int PASSWORD_EXPIRED = RegisterErrorCode(4, 100, "Password has expired.");
const int BATCH_FILE_NOT_FOUND = RegisterErrorCode(4, 99, "Batch file not found.");
const int BATCH_FILE_SYNTAX_ERROR = RegisterErrorCode(4, 98, "Syntax error in batch file.");
const int BATCH_COMMAND_FAILED = RegisterErrorCode(4, 97, "Batch command failed.");
const int BATCH_COMMAND_NOT_SUPPORTED =
    RegisterErrorCode(4, 96, "Command is not supported in batch mode.");
const int BATCH_STOPPED_ON_ERROR =
    RegisterErrorCode(4, 95, "Batch processing stopped at the first failed command.");
const int BMC_RESTART_REQUIRED =
    RegisterErrorCode(4, 93, "The BMC must be restarted for the setting to take effect.");
const int BMC_CONFIG_LOCKED =
    RegisterErrorCode(4, 92, "BMC configuration is locked by another session.");

// Category 10: the BMC's LAN-over-USB device.
const int LAN_OVER_USB_DEVICE_NOT_FOUND =
    RegisterErrorCode(10, 125, "Failed to find the LAN-over-USB device.");
const int LAN_OVER_USB_ENABLE_FAILED =
    RegisterErrorCode(10, 124, "Failed to enable the LAN-over-USB device.");
const int LAN_OVER_USB_DISABLE_FAILED =
    RegisterErrorCode(10, 123, "Failed to disable the LAN-over-USB device.");
const int LAN_OVER_USB_GET_IP_FAILED =
    RegisterErrorCode(10, 122, "Failed to get the IP address of the LAN-over-USB device.");
const int LAN_OVER_USB_SET_IP_FAILED =
    RegisterErrorCode(10, 121, "Failed to set the IP address of the LAN-over-USB device.");
const int LAN_OVER_USB_DRIVER_LOAD_FAILED =
    RegisterErrorCode(10, 120, "LAN-over-USB device driver failed to load.");
const int LAN_OVER_USB_NO_RESPONSE =
    RegisterErrorCode(10, 119, "The BMC does not respond over the LAN-over-USB device.");
const int LAN_OVER_USB_ADD_ROUTE_FAILED =
    RegisterErrorCode(10, 118, "Failed to add a route to the LAN-over-USB device.");
const int LAN_OVER_USB_REMOVE_ROUTE_FAILED =
    RegisterErrorCode(10, 117, "Failed to remove the route to the LAN-over-USB device.");
const int LAN_OVER_USB_UP_TIMED_OUT =
    RegisterErrorCode(10, 116, "Timed out waiting for the LAN-over-USB device to come up.");

// Category 18: FFDC log download.
const int FFDC_TRIGGER_FAILED =
    RegisterErrorCode(18, 125, "Failed to trigger FFDC log collection.");
const int FFDC_NOT_SUPPORTED =
    RegisterErrorCode(18, 124, "FFDC log collection is not supported on the target system.");
const int FFDC_COLLECTION_TIMED_OUT =
    RegisterErrorCode(18, 123, "Timed out waiting for FFDC log collection.");
const int FFDC_COLLECTION_IN_PROGRESS =
    RegisterErrorCode(18, 122, "FFDC log collection is already in progress.");
const int FFDC_DOWNLOAD_FAILED = RegisterErrorCode(18, 121, "Failed to download FFDC log.");
const int FFDC_SAVE_FAILED =
    RegisterErrorCode(18, 120, "Failed to save FFDC log to the local directory.");
const int FAILED_TO_GET_FFDC_LOG = RegisterErrorCode(18, 119, "Failed to get FFDC log. ");
const int FFDC_FILE_NAME_INVALID = RegisterErrorCode(18, 118, "FFDC log file name is invalid.");
const int FFDC_DELETE_FAILED =
    RegisterErrorCode(18, 117, "Failed to delete FFDC log from the target system.");
const int FFDC_UPLOAD_FAILED =
    RegisterErrorCode(18, 115, "Failed to upload FFDC log to the remote server.");
const int FFDC_UPLOAD_SERVER_INVALID =
    RegisterErrorCode(18, 114, "Remote server address for FFDC log upload is invalid.");

// Category 20: switch health check.
const int SWITCH_HEALTH_CHECK_NOT_SUPPORTED =
    RegisterErrorCode(20, 125, "Health check is not supported on this switch.");

// Category 24: RAID configuration.
const int RAID_CONTROLLER_NOT_FOUND = RegisterErrorCode(24, 125, "RAID controller not found.");
const int FAILED_TO_GET_RAID_CONFIG =
    RegisterErrorCode(24, 124, "Failed to get RAID configuration.");
const int FAILED_TO_APPLY_RAID_CONFIG =
    RegisterErrorCode(24, 123, "Failed to apply RAID configuration.");
const int RAID_LEVEL_INVALID = RegisterErrorCode(24, 122, "Invalid RAID level.");
const int NOT_ENOUGH_DRIVES_FOR_RAID_LEVEL =
    RegisterErrorCode(24, 121, "Not enough drives for the requested RAID level.");
const int DRIVE_NOT_UNCONFIGURED_GOOD =
    RegisterErrorCode(24, 120, "Drive is not in the unconfigured good state.");
const int FAILED_TO_CREATE_VIRTUAL_DISK =
    RegisterErrorCode(24, 119, "Failed to create the virtual disk.");
const int FAILED_TO_DELETE_VIRTUAL_DISK =
    RegisterErrorCode(24, 118, "Failed to delete the virtual disk.");
const int RAID_FAILED_ON_ALL_TARGETS =
    RegisterErrorCode(24, 117, "The operation fails on all targets.");
const int RAID_FAILED_ON_SOME_TARGETS =
    RegisterErrorCode(24, 116, "The operation fails on some targets.");
const int VIRTUAL_DISK_NOT_FOUND = RegisterErrorCode(24, 115, "Virtual disk not found.");
const int FAILED_TO_CLEAR_RAID_CONFIG =
    RegisterErrorCode(24, 114, "Failed to clear the RAID configuration.");
const int RAID_CONFIG_FILE_INVALID =
    RegisterErrorCode(24, 113, "RAID configuration file is invalid.");
const int RAID_OPERATION_NOT_SUPPORTED =
    RegisterErrorCode(24, 112, "The RAID controller does not support this operation.");
const int FAILED_TO_ASSIGN_HOT_SPARE =
    RegisterErrorCode(24, 109, "Failed to assign the hot spare drive.");
const int DRIVE_NOT_FOUND = RegisterErrorCode(24, 108, "Drive not found.");
const int FAILED_TO_IMPORT_FOREIGN_CONFIG =
    RegisterErrorCode(24, 107, "Failed to import the foreign configuration.");

// Category 35: remote physical presence.
const int FAILED_TO_ASSERT_PHYSICAL_PRESENCE =
    RegisterErrorCode(35, 125, "Failed to assert physical presence.");
const int FAILED_TO_DEASSERT_PHYSICAL_PRESENCE =
    RegisterErrorCode(35, 124, "Failed to deassert physical presence.");
const int REMOTE_PHYSICAL_PRESENCE_DISABLED =
    RegisterErrorCode(35, 123, "Remote physical presence is disabled.");
const int REMOTE_PHYSICAL_PRESENCE_NOT_SUPPORTED =
    RegisterErrorCode(35, 122, "Remote physical presence is not supported on the target system.");

// Category 44: SMART data and booting to BIOS setup.
const int FAILED_TO_GET_SMART_DATA = RegisterErrorCode(44, 125, "Failed to get SMART data.");
const int SMART_NOT_SUPPORTED = RegisterErrorCode(44, 124, "The drive does not support SMART.");
const int SMART_PREDICTS_DRIVE_FAILURE =
    RegisterErrorCode(44, 123, "SMART data predicts a drive failure.");
const int FAILED_TO_SET_BOOT_TO_SETUP =
    RegisterErrorCode(44, 122, "Failed to set the next boot to BIOS setup.");
const int FAILED_TO_RESTART_INTO_SETUP =
    RegisterErrorCode(44, 121, "Failed to restart the system into BIOS setup.");

// Category 58: service data log.
const int FAILED_TO_COLLECT_SERVICE_DATA =
    RegisterErrorCode(58, 125, "Failed to collect the service data log.");
const int FAILED_TO_DOWNLOAD_SERVICE_DATA =
    RegisterErrorCode(58, 124, "Failed to download the service data log.");
const int SERVICE_DATA_NOT_AVAILABLE =
    RegisterErrorCode(58, 123, "Service data log is not available.");

// Category 61: preconditions a request must meet before it runs.
const int OUT_OF_BAND_MODE_REQUIRED =
    RegisterErrorCode(61, 125, "This request is only supported in out-of-band mode.");
const int CHASSIS_POWER_OFF_REQUIRED =
    RegisterErrorCode(61, 124, "The Chassis requires to be powered off to perform this request. ");
const int UEFI_ADMIN_PASSWORD_REQUIRED =
    RegisterErrorCode(61, 123, "The UEFI administrator password is required for this request.");
const int PRIVILEGE_REQUIRED = RegisterErrorCode(
    61, 122, "The current user does not have the privilege to perform this request.");

}  // namespace Quendal::Status
