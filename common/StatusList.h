// Every status of the tool, each on one line: QUENDAL_STATUS(NAME, category, code, message).
//
// The one place a status is defined. common/ErrorCode.cpp turns each line into a constant that
// registers itself while the library loads; common/StatusTable.h turns the same lines into a
// table fixed at compile time, which the tool reads its texts from without building a registry
// of its own. A status added here reaches both.
//
// No include guard: each includer defines QUENDAL_STATUS, includes this file and undefines it.

// Category 0: success, failure and errors shared by every command.
QUENDAL_STATUS(SUCCEED, 0, 0, "Succeed.")
QUENDAL_STATUS(GENERIC_FAILURE, 0, 1, "Generic Failure.")
QUENDAL_STATUS(INVALID_PARAMETER, 0, 3, "Invalid parameter.")
QUENDAL_STATUS(MISSING_REQUIRED_PARAMETER, 0, 4, "A required parameter is missing.")
QUENDAL_STATUS(INVALID_COMMAND, 0, 5, "Invalid command.")
QUENDAL_STATUS(INVALID_IP_ADDRESS, 0, 6, "Invalid IP address.")
QUENDAL_STATUS(INVALID_PORT_NUMBER, 0, 7, "Invalid port number.")
QUENDAL_STATUS(FILE_NOT_FOUND, 0, 8, "File not found.")
QUENDAL_STATUS(FAILED_TO_OPEN_FILE, 0, 9, "Failed to open file.")
QUENDAL_STATUS(FAILED_TO_READ_FILE, 0, 10, "Failed to read file.")
QUENDAL_STATUS(FAILED_TO_WRITE_FILE, 0, 11, "Failed to write file.")
QUENDAL_STATUS(DIRECTORY_NOT_FOUND, 0, 12, "Directory not found.")
QUENDAL_STATUS(FAILED_TO_CREATE_DIRECTORY, 0, 13, "Failed to create directory.")
QUENDAL_STATUS(INSUFFICIENT_DISK_SPACE, 0, 14, "Insufficient disk space.")
QUENDAL_STATUS(OUT_OF_MEMORY, 0, 15, "Out of memory.")
QUENDAL_STATUS(FILE_ACCESS_DENIED, 0, 16, "Access to the file is denied.")
QUENDAL_STATUS(INTERNAL_ERROR, 0, 17, "Internal error.")
QUENDAL_STATUS(CONNECTION_FAILED, 0, 18, "Failed to connect to the target system.")
QUENDAL_STATUS(CONNECTION_REFUSED, 0, 19, "Connection refused by the target system.")
QUENDAL_STATUS(CONNECTION_LOST, 0, 20, "Connection to the target system was lost.")
QUENDAL_STATUS(HOST_UNREACHABLE, 0, 21, "Target host is unreachable.")
QUENDAL_STATUS(AUTHENTICATION_FAILED, 0, 22, "Authentication failed.")
QUENDAL_STATUS(INVALID_USER_OR_PASSWORD, 0, 23, "Invalid user name or password.")
QUENDAL_STATUS(USER_ACCOUNT_LOCKED, 0, 24, "The user account is locked.")
QUENDAL_STATUS(FUNCTION_NOT_SUPPORTED, 0, 25, "Function is not supported on target system.")
QUENDAL_STATUS(INSUFFICIENT_PRIVILEGE, 0, 26, "The user does not have sufficient privilege.")
QUENDAL_STATUS(OPERATION_TIMED_OUT, 0, 27, "Operation timed out.")
QUENDAL_STATUS(CONNECTION_TIMED_OUT, 0, 28, "Connection timed out.")
QUENDAL_STATUS(RESPONSE_TIMED_OUT, 0, 29,
               "Timed out waiting for a response from the target system.")
QUENDAL_STATUS(SECURE_HANDSHAKE_FAILED, 0, 30, "Secure connection handshake failed.")
QUENDAL_STATUS(BMC_INTERNAL_ERROR, 0, 32, "BMC internal error.")
QUENDAL_STATUS(BMC_BUSY, 0, 33, "BMC is busy, try again later.")
QUENDAL_STATUS(BMC_NOT_READY, 0, 34, "BMC is not ready.")
QUENDAL_STATUS(SMM_INTERNAL_ERROR, 0, 35, "SMM internal error.")
QUENDAL_STATUS(SMM_BUSY, 0, 36, "SMM is busy, try again later.")
QUENDAL_STATUS(CMM_INTERNAL_ERROR, 0, 37, "CMM internal error.")
QUENDAL_STATUS(CMM_BUSY, 0, 38, "CMM is busy, try again later.")
QUENDAL_STATUS(INVALID_RESPONSE, 0, 39, "Invalid response from the target system.")
QUENDAL_STATUS(IPMI_COMMAND_FAILED, 0, 40, "IPMI command failed.")
QUENDAL_STATUS(IPMI_DRIVER_NOT_INSTALLED, 0, 41, "IPMI driver is not installed.")
QUENDAL_STATUS(IPMI_INVALID_COMPLETION_CODE, 0, 42,
               "IPMI command returned an invalid completion code.")
QUENDAL_STATUS(IPMI_SESSION_FAILED, 0, 43, "Failed to establish an IPMI session.")
QUENDAL_STATUS(KCS_ACCESS_DENIED, 0, 44, "Access to the KCS interface is denied.")
QUENDAL_STATUS(KCS_NOT_AVAILABLE, 0, 45, "KCS interface is not available.")
QUENDAL_STATUS(KCS_TIMED_OUT, 0, 46, "KCS interface timed out.")
QUENDAL_STATUS(IN_BAND_ACCESS_REQUIRES_ADMIN, 0, 47,
               "In-band access requires administrator or root privilege.")
QUENDAL_STATUS(LAN_OVER_USB_NOT_AVAILABLE, 0, 48, "LAN-over-USB interface is not available.")
QUENDAL_STATUS(LAN_OVER_USB_DISABLED, 0, 49, "LAN-over-USB is disabled on the BMC.")
QUENDAL_STATUS(LAN_OVER_USB_DRIVER_NOT_INSTALLED, 0, 50, "LAN-over-USB driver is not installed.")
QUENDAL_STATUS(LAN_OVER_USB_CONFIG_FAILED, 0, 51, "Failed to configure the LAN-over-USB interface.")
QUENDAL_STATUS(LAN_OVER_USB_IP_CONFLICT, 0, 52,
               "LAN-over-USB IP address conflicts with another interface.")
QUENDAL_STATUS(LAN_OVER_USB_RESTORE_FAILED, 0, 53, "Failed to restore the LAN-over-USB settings.")
QUENDAL_STATUS(NO_TARGET_SPECIFIED, 0, 54, "No target system specified.")
QUENDAL_STATUS(NO_TASK_TO_RUN, 0, 55, "No task to run.")
QUENDAL_STATUS(TASK_CANCELLED, 0, 56, "The task was cancelled.")
QUENDAL_STATUS(ALL_TASKS_SUCCEEDED, 0, 57, "All tasks completed successfully.")
QUENDAL_STATUS(SOME_TASKS_FAILED, 0, 58, "One or more tasks failed.")
QUENDAL_STATUS(SOME_TASKS_SKIPPED, 0, 59, "One or more tasks skipped.")
QUENDAL_STATUS(ALL_TASKS_FAILED, 0, 60, "All tasks failed.")
QUENDAL_STATUS(ALL_TASKS_SKIPPED, 0, 61, "All tasks skipped.")
QUENDAL_STATUS(SOME_TASKS_FAILED_AND_SKIPPED, 0, 62,
               "One or more tasks failed and one or more tasks skipped.")
QUENDAL_STATUS(TASK_PARTIALLY_COMPLETED, 0, 63, "The task completed partially.")
QUENDAL_STATUS(REBOOT_REQUIRED, 0, 64, "A system reboot is required to complete the task.")
QUENDAL_STATUS(TASK_ALREADY_RUNNING, 0, 65, "Another task is already running.")
QUENDAL_STATUS(ABORTED_BY_USER, 0, 66, "Operation aborted by user.")
QUENDAL_STATUS(UNKNOWN_ERROR, 0, 67, "Unknown error.")

// Category 1: firmware and software update, including OS detection.
QUENDAL_STATUS(UPDATE_PACKAGE_SKIPPED, 1, 125, "Skip updating this package.")
QUENDAL_STATUS(PACKAGE_NOT_APPLICABLE, 1, 124,
               "The package is not applicable to the target system.")
QUENDAL_STATUS(INSTALLED_VERSION_UP_TO_DATE, 1, 123, "The installed version is already up to date.")
QUENDAL_STATUS(FAILED_TO_FLASH_FIRMWARE, 1, 122, "Failed to flash the firmware.")
QUENDAL_STATUS(FIRMWARE_FLASH_TIMED_OUT, 1, 121, "Firmware flash timed out.")
QUENDAL_STATUS(PACKAGE_SIGNATURE_INVALID, 1, 120, "Failed to verify the package signature.")
QUENDAL_STATUS(PACKAGE_FILE_CORRUPTED, 1, 119, "Package file is corrupted.")
QUENDAL_STATUS(PACKAGE_METADATA_MISSING, 1, 118, "Package metadata file is missing.")
QUENDAL_STATUS(FAILED_TO_PARSE_PACKAGE_METADATA, 1, 117, "Failed to parse the package metadata.")
QUENDAL_STATUS(PACKAGE_DEPENDENCY_NOT_MET, 1, 116, "Package dependency is not satisfied.")
QUENDAL_STATUS(FAILED_TO_EXTRACT_PACKAGE, 1, 115, "Failed to extract the package.")
QUENDAL_STATUS(FAILED_TO_DOWNLOAD_PACKAGE, 1, 114, "Failed to download the package.")
QUENDAL_STATUS(FAILED_TO_DOWNLOAD_CATALOG, 1, 113, "Failed to download the update catalog.")
QUENDAL_STATUS(OS_NOT_SUPPORTED, 1, 112, "Current Operating System is not supported.")
QUENDAL_STATUS(FAILED_TO_GET_OS_TYPE, 1, 111, "Failed to get OS type.")
QUENDAL_STATUS(FAILED_TO_GET_INSTALLED_VERSION, 1, 110, "Failed to get the installed version.")
QUENDAL_STATUS(MAINTENANCE_OS_BOOT_FAILED, 1, 109, "Failed to boot into the maintenance-mode OS.")
QUENDAL_STATUS(MAINTENANCE_OS_IMAGE_NOT_FOUND, 1, 108, "Maintenance-mode OS image not found.")
QUENDAL_STATUS(MAINTENANCE_OS_MOUNT_FAILED, 1, 107,
               "Failed to mount the maintenance-mode OS image.")
QUENDAL_STATUS(MAINTENANCE_OS_START_TIMED_OUT, 1, 106,
               "Timed out waiting for the maintenance-mode OS to start.")
QUENDAL_STATUS(MAINTENANCE_OS_EXIT_FAILED, 1, 105, "Failed to exit the maintenance-mode OS.")
QUENDAL_STATUS(REPOSITORY_NOT_FOUND, 1, 104, "Update repository not found.")
QUENDAL_STATUS(REPOSITORY_EMPTY, 1, 103, "Update repository is empty.")
QUENDAL_STATUS(REPOSITORY_ACCESS_FAILED, 1, 102, "Failed to access the update repository.")
QUENDAL_STATUS(NO_APPLICABLE_UPDATE, 1, 101, "No applicable update found in the repository.")
QUENDAL_STATUS(FAILED_TO_COPY_PACKAGE, 1, 100, "Failed to copy the package to the target system.")
QUENDAL_STATUS(FAILED_TO_STAGE_PACKAGE, 1, 99, "Failed to stage the package.")
QUENDAL_STATUS(FAILED_TO_ACTIVATE_FIRMWARE, 1, 98, "Failed to activate the firmware.")
QUENDAL_STATUS(FIRMWARE_DOWNGRADE_NOT_ALLOWED, 1, 97, "Firmware downgrade is not allowed.")
QUENDAL_STATUS(FIRMWARE_ROLLBACK_FAILED, 1, 96, "Rollback to the previous firmware failed.")
QUENDAL_STATUS(DOWNLOAD_PROXY_AUTH_FAILED, 1, 89, "Proxy authentication failed during download.")
QUENDAL_STATUS(DOWNLOAD_CHECKSUM_MISMATCH, 1, 88, "Checksum of the downloaded file does not match.")
QUENDAL_STATUS(DOWNLOAD_SITE_UNREACHABLE, 1, 87, "Failed to connect to the download site.")
QUENDAL_STATUS(UPDATE_STAGED, 1, 86, "Staged")
QUENDAL_STATUS(UPDATE_PENDING_ACTIVATION, 1, 85, "Pending activation")
QUENDAL_STATUS(UPDATE_INSTALLED, 1, 84, "Installed")
QUENDAL_STATUS(UPDATE_IN_PROGRESS, 1, 83, "In progress")

// Category 2: file upload over libcurl.
QUENDAL_STATUS(LIBCURL_INIT_FAILED, 2, 125, "Libcurl error: Initialization failed.")
QUENDAL_STATUS(LIBCURL_HOST_NOT_RESOLVED, 2, 124, "Libcurl error: Cannot resolve the host name.")
QUENDAL_STATUS(LIBCURL_CONNECT_FAILED, 2, 123, "Libcurl error: Cannot connect to the server.")
QUENDAL_STATUS(LIBCURL_READ_LOCAL_FILE_FAILED, 2, 122, "Libcurl error: Read local file error.")
QUENDAL_STATUS(LIBCURL_UPLOAD_FAILED, 2, 121, "Libcurl error: Upload failed.")
QUENDAL_STATUS(LIBCURL_TIMED_OUT, 2, 120, "Libcurl error: Transfer timed out.")
QUENDAL_STATUS(LIBCURL_SSL_CONNECT_FAILED, 2, 119, "Libcurl error: SSL connection failed.")
QUENDAL_STATUS(LIBCURL_LOGIN_DENIED, 2, 118, "Libcurl error: Login denied by the server.")
QUENDAL_STATUS(LIBCURL_UNSUPPORTED_PROTOCOL, 2, 117, "Libcurl error: Protocol not supported.")

// Category 3: remote diagnostics.
QUENDAL_STATUS(DIAGNOSTIC_START_FAILED, 3, 125, "Failed to start the remote diagnostic test.")
QUENDAL_STATUS(DIAGNOSTIC_NOT_SUPPORTED, 3, 124,
               "Remote diagnostic test is not supported on the target system.")
QUENDAL_STATUS(DIAGNOSTIC_TIMED_OUT, 3, 123, "Remote diagnostic test timed out.")
QUENDAL_STATUS(DIAGNOSTIC_RESULT_UNAVAILABLE, 3, 122,
               "Failed to retrieve the remote diagnostic result.")
QUENDAL_STATUS(DIAGNOSTIC_ALREADY_RUNNING, 3, 121, "Remote diagnostic test is already running.")

// Category 4: BMC settings, certificates, users, passwords and batch commands.
QUENDAL_STATUS(FAILED_TO_GET_BMC_SETTINGS, 4, 125, "Failed to get BMC settings.")
QUENDAL_STATUS(FAILED_TO_SET_BMC_SETTINGS, 4, 124, "Failed to set BMC settings.")
QUENDAL_STATUS(SETTING_NOT_FOUND, 4, 123, "Setting not found.")
QUENDAL_STATUS(SETTING_VALUE_INVALID, 4, 122, "Setting value is invalid.")
QUENDAL_STATUS(SETTING_READ_ONLY, 4, 121, "Setting is read-only.")
QUENDAL_STATUS(FAILED_TO_RESTORE_BMC_DEFAULTS, 4, 120,
               "Failed to restore BMC settings to defaults.")
QUENDAL_STATUS(FAILED_TO_SAVE_BMC_SETTINGS, 4, 119, "Failed to save BMC settings to file.")
QUENDAL_STATUS(FAILED_TO_LOAD_BMC_SETTINGS, 4, 118, "Failed to load BMC settings from file.")
QUENDAL_STATUS(FAILED_TO_RESET_BMC, 4, 117, "Failed to reset the BMC.")
QUENDAL_STATUS(FAILED_TO_GENERATE_CSR, 4, 116,
               "Failed to generate the certificate signing request.")
QUENDAL_STATUS(FAILED_TO_IMPORT_CERTIFICATE, 4, 115, "Failed to import the certificate.")
QUENDAL_STATUS(FAILED_TO_EXPORT_CERTIFICATE, 4, 114, "Failed to export the certificate.")
QUENDAL_STATUS(CERTIFICATE_FILE_INVALID, 4, 113, "Certificate file is invalid.")
QUENDAL_STATUS(CERTIFICATE_EXPIRED, 4, 112, "Certificate has expired.")
QUENDAL_STATUS(FAILED_TO_DELETE_CERTIFICATE, 4, 111, "Failed to delete the certificate.")
QUENDAL_STATUS(FAILED_TO_CREATE_USER, 4, 110, "Failed to create the user account.")
QUENDAL_STATUS(FAILED_TO_DELETE_USER, 4, 109, "Failed to delete the user account.")
QUENDAL_STATUS(USER_ALREADY_EXISTS, 4, 108, "User account already exists.")
QUENDAL_STATUS(USER_NOT_FOUND, 4, 107, "User account not found.")
QUENDAL_STATUS(USER_LIMIT_REACHED, 4, 106, "Maximum number of user accounts reached.")
QUENDAL_STATUS(FAILED_TO_CHANGE_USER_PRIVILEGE, 4, 105, "Failed to change the user privilege.")
QUENDAL_STATUS(FAILED_TO_CHANGE_PASSWORD, 4, 104, "Failed to change the password.")
QUENDAL_STATUS(PASSWORD_TOO_WEAK, 4, 103, "Password does not meet the complexity rules.")
QUENDAL_STATUS(PASSWORD_RECENTLY_USED, 4, 102, "Password was used recently and cannot be reused.")
QUENDAL_STATUS(PASSWORD_LENGTH_OUT_OF_RANGE, 4, 101, "Password length is out of range.")
QUENDAL_STATUS(PASSWORD_EXPIRED, 4, 100, "Password has expired.")
QUENDAL_STATUS(BATCH_FILE_NOT_FOUND, 4, 99, "Batch file not found.")
QUENDAL_STATUS(BATCH_FILE_SYNTAX_ERROR, 4, 98, "Syntax error in batch file.")
QUENDAL_STATUS(BATCH_COMMAND_FAILED, 4, 97, "Batch command failed.")
QUENDAL_STATUS(BATCH_COMMAND_NOT_SUPPORTED, 4, 96, "Command is not supported in batch mode.")
QUENDAL_STATUS(BATCH_STOPPED_ON_ERROR, 4, 95,
               "Batch processing stopped at the first failed command.")
QUENDAL_STATUS(BMC_RESTART_REQUIRED, 4, 93,
               "The BMC must be restarted for the setting to take effect.")
QUENDAL_STATUS(BMC_CONFIG_LOCKED, 4, 92, "BMC configuration is locked by another session.")

// Category 10: the BMC's LAN-over-USB device.
QUENDAL_STATUS(LAN_OVER_USB_DEVICE_NOT_FOUND, 10, 125, "Failed to find the LAN-over-USB device.")
QUENDAL_STATUS(LAN_OVER_USB_ENABLE_FAILED, 10, 124, "Failed to enable the LAN-over-USB device.")
QUENDAL_STATUS(LAN_OVER_USB_DISABLE_FAILED, 10, 123, "Failed to disable the LAN-over-USB device.")
QUENDAL_STATUS(LAN_OVER_USB_GET_IP_FAILED, 10, 122,
               "Failed to get the IP address of the LAN-over-USB device.")
QUENDAL_STATUS(LAN_OVER_USB_SET_IP_FAILED, 10, 121,
               "Failed to set the IP address of the LAN-over-USB device.")
QUENDAL_STATUS(LAN_OVER_USB_DRIVER_LOAD_FAILED, 10, 120,
               "LAN-over-USB device driver failed to load.")
QUENDAL_STATUS(LAN_OVER_USB_NO_RESPONSE, 10, 119,
               "The BMC does not respond over the LAN-over-USB device.")
QUENDAL_STATUS(LAN_OVER_USB_ADD_ROUTE_FAILED, 10, 118,
               "Failed to add a route to the LAN-over-USB device.")
QUENDAL_STATUS(LAN_OVER_USB_REMOVE_ROUTE_FAILED, 10, 117,
               "Failed to remove the route to the LAN-over-USB device.")
QUENDAL_STATUS(LAN_OVER_USB_UP_TIMED_OUT, 10, 116,
               "Timed out waiting for the LAN-over-USB device to come up.")

// Category 18: FFDC log download.
QUENDAL_STATUS(FFDC_TRIGGER_FAILED, 18, 125, "Failed to trigger FFDC log collection.")
QUENDAL_STATUS(FFDC_NOT_SUPPORTED, 18, 124,
               "FFDC log collection is not supported on the target system.")
QUENDAL_STATUS(FFDC_COLLECTION_TIMED_OUT, 18, 123, "Timed out waiting for FFDC log collection.")
QUENDAL_STATUS(FFDC_COLLECTION_IN_PROGRESS, 18, 122, "FFDC log collection is already in progress.")
QUENDAL_STATUS(FFDC_DOWNLOAD_FAILED, 18, 121, "Failed to download FFDC log.")
QUENDAL_STATUS(FFDC_SAVE_FAILED, 18, 120, "Failed to save FFDC log to the local directory.")
QUENDAL_STATUS(FAILED_TO_GET_FFDC_LOG, 18, 119, "Failed to get FFDC log. ")
QUENDAL_STATUS(FFDC_FILE_NAME_INVALID, 18, 118, "FFDC log file name is invalid.")
QUENDAL_STATUS(FFDC_DELETE_FAILED, 18, 117, "Failed to delete FFDC log from the target system.")
QUENDAL_STATUS(FFDC_UPLOAD_FAILED, 18, 115, "Failed to upload FFDC log to the remote server.")
QUENDAL_STATUS(FFDC_UPLOAD_SERVER_INVALID, 18, 114,
               "Remote server address for FFDC log upload is invalid.")

// Category 20: switch health check.
QUENDAL_STATUS(SWITCH_HEALTH_CHECK_NOT_SUPPORTED, 20, 125,
               "Health check is not supported on this switch.")

// Category 24: RAID configuration.
QUENDAL_STATUS(RAID_CONTROLLER_NOT_FOUND, 24, 125, "RAID controller not found.")
QUENDAL_STATUS(FAILED_TO_GET_RAID_CONFIG, 24, 124, "Failed to get RAID configuration.")
QUENDAL_STATUS(FAILED_TO_APPLY_RAID_CONFIG, 24, 123, "Failed to apply RAID configuration.")
QUENDAL_STATUS(RAID_LEVEL_INVALID, 24, 122, "Invalid RAID level.")
QUENDAL_STATUS(NOT_ENOUGH_DRIVES_FOR_RAID_LEVEL, 24, 121,
               "Not enough drives for the requested RAID level.")
QUENDAL_STATUS(DRIVE_NOT_UNCONFIGURED_GOOD, 24, 120, "Drive is not in the unconfigured good state.")
QUENDAL_STATUS(FAILED_TO_CREATE_VIRTUAL_DISK, 24, 119, "Failed to create the virtual disk.")
QUENDAL_STATUS(FAILED_TO_DELETE_VIRTUAL_DISK, 24, 118, "Failed to delete the virtual disk.")
QUENDAL_STATUS(RAID_FAILED_ON_ALL_TARGETS, 24, 117, "The operation fails on all targets.")
QUENDAL_STATUS(RAID_FAILED_ON_SOME_TARGETS, 24, 116, "The operation fails on some targets.")
QUENDAL_STATUS(VIRTUAL_DISK_NOT_FOUND, 24, 115, "Virtual disk not found.")
QUENDAL_STATUS(FAILED_TO_CLEAR_RAID_CONFIG, 24, 114, "Failed to clear the RAID configuration.")
QUENDAL_STATUS(RAID_CONFIG_FILE_INVALID, 24, 113, "RAID configuration file is invalid.")
QUENDAL_STATUS(RAID_OPERATION_NOT_SUPPORTED, 24, 112,
               "The RAID controller does not support this operation.")
QUENDAL_STATUS(FAILED_TO_ASSIGN_HOT_SPARE, 24, 109, "Failed to assign the hot spare drive.")
QUENDAL_STATUS(DRIVE_NOT_FOUND, 24, 108, "Drive not found.")
QUENDAL_STATUS(FAILED_TO_IMPORT_FOREIGN_CONFIG, 24, 107,
               "Failed to import the foreign configuration.")

// Category 35: remote physical presence.
QUENDAL_STATUS(FAILED_TO_ASSERT_PHYSICAL_PRESENCE, 35, 125, "Failed to assert physical presence.")
QUENDAL_STATUS(FAILED_TO_DEASSERT_PHYSICAL_PRESENCE, 35, 124,
               "Failed to deassert physical presence.")
QUENDAL_STATUS(REMOTE_PHYSICAL_PRESENCE_DISABLED, 35, 123, "Remote physical presence is disabled.")
QUENDAL_STATUS(REMOTE_PHYSICAL_PRESENCE_NOT_SUPPORTED, 35, 122,
               "Remote physical presence is not supported on the target system.")

// Category 44: SMART data and booting to BIOS setup.
QUENDAL_STATUS(FAILED_TO_GET_SMART_DATA, 44, 125, "Failed to get SMART data.")
QUENDAL_STATUS(SMART_NOT_SUPPORTED, 44, 124, "The drive does not support SMART.")
QUENDAL_STATUS(SMART_PREDICTS_DRIVE_FAILURE, 44, 123, "SMART data predicts a drive failure.")
QUENDAL_STATUS(FAILED_TO_SET_BOOT_TO_SETUP, 44, 122, "Failed to set the next boot to BIOS setup.")
QUENDAL_STATUS(FAILED_TO_RESTART_INTO_SETUP, 44, 121,
               "Failed to restart the system into BIOS setup.")

// Category 58: service data log.
QUENDAL_STATUS(FAILED_TO_COLLECT_SERVICE_DATA, 58, 125, "Failed to collect the service data log.")
QUENDAL_STATUS(FAILED_TO_DOWNLOAD_SERVICE_DATA, 58, 124, "Failed to download the service data log.")
QUENDAL_STATUS(SERVICE_DATA_NOT_AVAILABLE, 58, 123, "Service data log is not available.")

// Category 61: preconditions a request must meet before it runs.
QUENDAL_STATUS(OUT_OF_BAND_MODE_REQUIRED, 61, 125,
               "This request is only supported in out-of-band mode.")
QUENDAL_STATUS(CHASSIS_POWER_OFF_REQUIRED, 61, 124,
               "The Chassis requires to be powered off to perform this request. ")
QUENDAL_STATUS(UEFI_ADMIN_PASSWORD_REQUIRED, 61, 123,
               "The UEFI administrator password is required for this request.")
QUENDAL_STATUS(PRIVILEGE_REQUIRED, 61, 122,
               "The current user does not have the privilege to perform this request.")
