// Status registry and the status constants of the tool.
//
// A status is an int, (category << 16) | code, and 0 means success. Every constant below is
// initialised by RegisterErrorCode while the library loads, which records its message in one of
// two process-wide maps; the registry owns copies of all texts and keeps them until unload.
// Registration is meant for static initialisation only: creating the maps is safe against
// concurrent first use, but inserting into them takes no lock, so after loading the maps are
// read-only and may be read from any thread. RegisterErrorCode can throw only std::bad_alloc;
// the accessors never throw.
#pragma once

#include <map>
#include <string>

// Records the message for the status built from category and code and returns that status.
// Categories of 0 or below land in the general map, the rest in the category map under their
// category. A second registration of the same status replaces the earlier text. message must
// point to a NUL-terminated string; it is copied, so the caller keeps ownership.
int RegisterErrorCode(int category, int code, const char* message);

// Status value -> message, for categories of 0 or below.
const std::map<int, std::string>& GetGeneralErrorMap();

// Category -> (full status value -> message), for categories of 1 and above. The inner maps are
// keyed by the whole status value rather than the bare code so a value taken from a caller can
// be looked up without being taken apart.
const std::map<int, std::map<int, std::string>>& GetCategoryErrorMap();

namespace Quendal::Status {

// Category 0: success, failure and errors shared by every command.
extern const int SUCCEED;
extern const int GENERIC_FAILURE;
extern const int INVALID_PARAMETER;
extern const int MISSING_REQUIRED_PARAMETER;
extern const int INVALID_COMMAND;
extern const int INVALID_IP_ADDRESS;
extern const int INVALID_PORT_NUMBER;
extern const int FILE_NOT_FOUND;
extern const int FAILED_TO_OPEN_FILE;
extern const int FAILED_TO_READ_FILE;
extern const int FAILED_TO_WRITE_FILE;
extern const int DIRECTORY_NOT_FOUND;
extern const int FAILED_TO_CREATE_DIRECTORY;
extern const int INSUFFICIENT_DISK_SPACE;
extern const int OUT_OF_MEMORY;
extern const int FILE_ACCESS_DENIED;
extern const int INTERNAL_ERROR;
extern const int CONNECTION_FAILED;
extern const int CONNECTION_REFUSED;
extern const int CONNECTION_LOST;
extern const int HOST_UNREACHABLE;
extern const int AUTHENTICATION_FAILED;
extern const int INVALID_USER_OR_PASSWORD;
extern const int USER_ACCOUNT_LOCKED;
extern const int FUNCTION_NOT_SUPPORTED;
extern const int INSUFFICIENT_PRIVILEGE;
extern const int OPERATION_TIMED_OUT;
extern const int CONNECTION_TIMED_OUT;
extern const int RESPONSE_TIMED_OUT;
extern const int SECURE_HANDSHAKE_FAILED;
extern const int BMC_INTERNAL_ERROR;
extern const int BMC_BUSY;
extern const int BMC_NOT_READY;
extern const int SMM_INTERNAL_ERROR;
extern const int SMM_BUSY;
extern const int CMM_INTERNAL_ERROR;
extern const int CMM_BUSY;
extern const int INVALID_RESPONSE;
extern const int IPMI_COMMAND_FAILED;
extern const int IPMI_DRIVER_NOT_INSTALLED;
extern const int IPMI_INVALID_COMPLETION_CODE;
extern const int IPMI_SESSION_FAILED;
extern const int KCS_ACCESS_DENIED;
extern const int KCS_NOT_AVAILABLE;
extern const int KCS_TIMED_OUT;
extern const int IN_BAND_ACCESS_REQUIRES_ADMIN;
extern const int LAN_OVER_USB_NOT_AVAILABLE;
extern const int LAN_OVER_USB_DISABLED;
extern const int LAN_OVER_USB_DRIVER_NOT_INSTALLED;
extern const int LAN_OVER_USB_CONFIG_FAILED;
extern const int LAN_OVER_USB_IP_CONFLICT;
extern const int LAN_OVER_USB_RESTORE_FAILED;
extern const int NO_TARGET_SPECIFIED;
extern const int NO_TASK_TO_RUN;
extern const int TASK_CANCELLED;
extern const int ALL_TASKS_SUCCEEDED;
extern const int SOME_TASKS_FAILED;
extern const int SOME_TASKS_SKIPPED;
extern const int ALL_TASKS_FAILED;
extern const int ALL_TASKS_SKIPPED;
extern const int SOME_TASKS_FAILED_AND_SKIPPED;
extern const int TASK_PARTIALLY_COMPLETED;
extern const int REBOOT_REQUIRED;
extern const int TASK_ALREADY_RUNNING;
extern const int ABORTED_BY_USER;
extern const int UNKNOWN_ERROR;

// Category 1: firmware and software update, including OS detection.
extern const int UPDATE_PACKAGE_SKIPPED;
extern const int PACKAGE_NOT_APPLICABLE;
extern const int INSTALLED_VERSION_UP_TO_DATE;
extern const int FAILED_TO_FLASH_FIRMWARE;
extern const int FIRMWARE_FLASH_TIMED_OUT;
extern const int PACKAGE_SIGNATURE_INVALID;
extern const int PACKAGE_FILE_CORRUPTED;
extern const int PACKAGE_METADATA_MISSING;
extern const int FAILED_TO_PARSE_PACKAGE_METADATA;
extern const int PACKAGE_DEPENDENCY_NOT_MET;
extern const int FAILED_TO_EXTRACT_PACKAGE;
extern const int FAILED_TO_DOWNLOAD_PACKAGE;
extern const int FAILED_TO_DOWNLOAD_CATALOG;
extern const int OS_NOT_SUPPORTED;
extern const int FAILED_TO_GET_OS_TYPE;
extern const int FAILED_TO_GET_INSTALLED_VERSION;
extern const int MAINTENANCE_OS_BOOT_FAILED;
extern const int MAINTENANCE_OS_IMAGE_NOT_FOUND;
extern const int MAINTENANCE_OS_MOUNT_FAILED;
extern const int MAINTENANCE_OS_START_TIMED_OUT;
extern const int MAINTENANCE_OS_EXIT_FAILED;
extern const int REPOSITORY_NOT_FOUND;
extern const int REPOSITORY_EMPTY;
extern const int REPOSITORY_ACCESS_FAILED;
extern const int NO_APPLICABLE_UPDATE;
extern const int FAILED_TO_COPY_PACKAGE;
extern const int FAILED_TO_STAGE_PACKAGE;
extern const int FAILED_TO_ACTIVATE_FIRMWARE;
extern const int FIRMWARE_DOWNGRADE_NOT_ALLOWED;
extern const int FIRMWARE_ROLLBACK_FAILED;
extern const int DOWNLOAD_PROXY_AUTH_FAILED;
extern const int DOWNLOAD_CHECKSUM_MISMATCH;
extern const int DOWNLOAD_SITE_UNREACHABLE;
extern const int UPDATE_STAGED;
extern const int UPDATE_PENDING_ACTIVATION;
extern const int UPDATE_INSTALLED;
extern const int UPDATE_IN_PROGRESS;

// Category 2: file upload over libcurl.
extern const int LIBCURL_INIT_FAILED;
extern const int LIBCURL_HOST_NOT_RESOLVED;
extern const int LIBCURL_CONNECT_FAILED;
extern const int LIBCURL_READ_LOCAL_FILE_FAILED;
extern const int LIBCURL_UPLOAD_FAILED;
extern const int LIBCURL_TIMED_OUT;
extern const int LIBCURL_SSL_CONNECT_FAILED;
extern const int LIBCURL_LOGIN_DENIED;
extern const int LIBCURL_UNSUPPORTED_PROTOCOL;

// Category 3: remote diagnostics.
extern const int DIAGNOSTIC_START_FAILED;
extern const int DIAGNOSTIC_NOT_SUPPORTED;
extern const int DIAGNOSTIC_TIMED_OUT;
extern const int DIAGNOSTIC_RESULT_UNAVAILABLE;
extern const int DIAGNOSTIC_ALREADY_RUNNING;

// Category 4: BMC settings, certificates, users, passwords and batch commands.
extern const int FAILED_TO_GET_BMC_SETTINGS;
extern const int FAILED_TO_SET_BMC_SETTINGS;
extern const int SETTING_NOT_FOUND;
extern const int SETTING_VALUE_INVALID;
extern const int SETTING_READ_ONLY;
extern const int FAILED_TO_RESTORE_BMC_DEFAULTS;
extern const int FAILED_TO_SAVE_BMC_SETTINGS;
extern const int FAILED_TO_LOAD_BMC_SETTINGS;
extern const int FAILED_TO_RESET_BMC;
extern const int FAILED_TO_GENERATE_CSR;
extern const int FAILED_TO_IMPORT_CERTIFICATE;
extern const int FAILED_TO_EXPORT_CERTIFICATE;
extern const int CERTIFICATE_FILE_INVALID;
extern const int CERTIFICATE_EXPIRED;
extern const int FAILED_TO_DELETE_CERTIFICATE;
extern const int FAILED_TO_CREATE_USER;
extern const int FAILED_TO_DELETE_USER;
extern const int USER_ALREADY_EXISTS;
extern const int USER_NOT_FOUND;
extern const int USER_LIMIT_REACHED;
extern const int FAILED_TO_CHANGE_USER_PRIVILEGE;
extern const int FAILED_TO_CHANGE_PASSWORD;
extern const int PASSWORD_TOO_WEAK;
extern const int PASSWORD_RECENTLY_USED;
extern const int PASSWORD_LENGTH_OUT_OF_RANGE;
extern const int PASSWORD_EXPIRED;
extern const int BATCH_FILE_NOT_FOUND;
extern const int BATCH_FILE_SYNTAX_ERROR;
extern const int BATCH_COMMAND_FAILED;
extern const int BATCH_COMMAND_NOT_SUPPORTED;
extern const int BATCH_STOPPED_ON_ERROR;
extern const int BMC_RESTART_REQUIRED;
extern const int BMC_CONFIG_LOCKED;

// Category 10: the BMC's LAN-over-USB device.
extern const int LAN_OVER_USB_DEVICE_NOT_FOUND;
extern const int LAN_OVER_USB_ENABLE_FAILED;
extern const int LAN_OVER_USB_DISABLE_FAILED;
extern const int LAN_OVER_USB_GET_IP_FAILED;
extern const int LAN_OVER_USB_SET_IP_FAILED;
extern const int LAN_OVER_USB_DRIVER_LOAD_FAILED;
extern const int LAN_OVER_USB_NO_RESPONSE;
extern const int LAN_OVER_USB_ADD_ROUTE_FAILED;
extern const int LAN_OVER_USB_REMOVE_ROUTE_FAILED;
extern const int LAN_OVER_USB_UP_TIMED_OUT;

// Category 18: FFDC log download.
extern const int FFDC_TRIGGER_FAILED;
extern const int FFDC_NOT_SUPPORTED;
extern const int FFDC_COLLECTION_TIMED_OUT;
extern const int FFDC_COLLECTION_IN_PROGRESS;
extern const int FFDC_DOWNLOAD_FAILED;
extern const int FFDC_SAVE_FAILED;
extern const int FAILED_TO_GET_FFDC_LOG;
extern const int FFDC_FILE_NAME_INVALID;
extern const int FFDC_DELETE_FAILED;
extern const int FFDC_UPLOAD_FAILED;
extern const int FFDC_UPLOAD_SERVER_INVALID;

// Category 20: switch health check.
extern const int SWITCH_HEALTH_CHECK_NOT_SUPPORTED;

// Category 24: RAID configuration.
extern const int RAID_CONTROLLER_NOT_FOUND;
extern const int FAILED_TO_GET_RAID_CONFIG;
extern const int FAILED_TO_APPLY_RAID_CONFIG;
extern const int RAID_LEVEL_INVALID;
extern const int NOT_ENOUGH_DRIVES_FOR_RAID_LEVEL;
extern const int DRIVE_NOT_UNCONFIGURED_GOOD;
extern const int FAILED_TO_CREATE_VIRTUAL_DISK;
extern const int FAILED_TO_DELETE_VIRTUAL_DISK;
extern const int RAID_FAILED_ON_ALL_TARGETS;
extern const int RAID_FAILED_ON_SOME_TARGETS;
extern const int VIRTUAL_DISK_NOT_FOUND;
extern const int FAILED_TO_CLEAR_RAID_CONFIG;
extern const int RAID_CONFIG_FILE_INVALID;
extern const int RAID_OPERATION_NOT_SUPPORTED;
extern const int FAILED_TO_ASSIGN_HOT_SPARE;
extern const int DRIVE_NOT_FOUND;
extern const int FAILED_TO_IMPORT_FOREIGN_CONFIG;

// Category 35: remote physical presence.
extern const int FAILED_TO_ASSERT_PHYSICAL_PRESENCE;
extern const int FAILED_TO_DEASSERT_PHYSICAL_PRESENCE;
extern const int REMOTE_PHYSICAL_PRESENCE_DISABLED;
extern const int REMOTE_PHYSICAL_PRESENCE_NOT_SUPPORTED;

// Category 44: SMART data and booting to BIOS setup.
extern const int FAILED_TO_GET_SMART_DATA;
extern const int SMART_NOT_SUPPORTED;
extern const int SMART_PREDICTS_DRIVE_FAILURE;
extern const int FAILED_TO_SET_BOOT_TO_SETUP;
extern const int FAILED_TO_RESTART_INTO_SETUP;

// Category 58: service data log.
extern const int FAILED_TO_COLLECT_SERVICE_DATA;
extern const int FAILED_TO_DOWNLOAD_SERVICE_DATA;
extern const int SERVICE_DATA_NOT_AVAILABLE;

// Category 61: preconditions a request must meet before it runs.
extern const int OUT_OF_BAND_MODE_REQUIRED;
extern const int CHASSIS_POWER_OFF_REQUIRED;
extern const int UEFI_ADMIN_PASSWORD_REQUIRED;
extern const int PRIVILEGE_REQUIRED;

}  // namespace Quendal::Status
