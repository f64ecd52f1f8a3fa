// The installer's log messages and failure steps, letter for letter.
#include "log_messages.h"

#include <array>

namespace {

// clang-format off
const std::vector<LogMessageFormat> kFormats = {
    // Run sequence and start sequence.
    {MSG_BANNER, "**************** KWE Driver Install ****************\n\n", LOG_ROLE_PROGRESS},
    {MSG_VERSION, "Version    : %s \n", LOG_ROLE_PROGRESS},
    {MSG_OPERATION, "OperateCode: %s\n", LOG_ROLE_PROGRESS},
    {MSG_OS_VERSION, "OS Version : ", LOG_ROLE_PROGRESS},
    {MSG_OS_VERSION_FAILED, "Get OS version failed!\n", LOG_ROLE_ERROR_TEXT},
    {MSG_FOLDER_NOT_FOUND, "Error: Couldn't find the system folder\n", LOG_ROLE_START_ERROR},
    {MSG_FOLDER_TOO_LONG, "Error : The system folder path is longer than %d characters\n", LOG_ROLE_START_ERROR},
    {MSG_FOLDER_EMPTY, "Error : The length of system folder is ZERO\n", LOG_ROLE_START_ERROR},
    {MSG_FOLDERS_FAILED, "Error : Get windows driver directory fail\n", LOG_ROLE_START_END},
    // Also written by the uninstall entry, after the start sequence.
    {MSG_EXE_FOLDER_FAILED, "Get current exe directory fail!\n", LOG_ROLE_START_ERROR},
    {MSG_PROGRAM_PATH_TOO_LONG, "Error : The program path is longer than %d characters\n", LOG_ROLE_START_ERROR},
    {MSG_DIRECTORY, "Directory : %s\n", LOG_ROLE_PROGRESS},
    {MSG_PACKAGE_FOLDER_TOO_LONG, "Error : The driver package folder path is longer than %d characters\n",
     LOG_ROLE_START_ERROR},
    {MSG_SEARCH_PATH_TOO_LONG, "Error : The search path for %s files is longer than %d characters\n",
     LOG_ROLE_START_ERROR},
    {MSG_SEARCH_FILE_NAME, "Search file name: %s\n", LOG_ROLE_PROGRESS},
    {MSG_SYS_LIST, "Sys file list:\n", LOG_ROLE_PROGRESS},
    {MSG_INF_LIST, "Inf file list:\n", LOG_ROLE_PROGRESS},
    {MSG_LIST_ENTRY, "%d.%s\n", LOG_ROLE_LIST_ENTRY},
    {MSG_NAME_TOO_LONG, "Error : The file name %.*s is longer than %d characters\n", LOG_ROLE_START_ERROR},
    {MSG_TOO_MANY_FILES, "Error : The driver package holds more than %d %s files\n", LOG_ROLE_START_ERROR},
    {MSG_SCAN_FAILED, "Error:Search sys file %d; inf file %d\n", LOG_ROLE_START_END},
    // Superseded removal.
    {MSG_SEARCH_OEM_FAILED, "Error : Search Oem*.inf file \n", LOG_ROLE_ERROR_TEXT},
    {MSG_PATH_TOO_LONG, "Error : Path too long: %s%s\n", LOG_ROLE_ERROR_TEXT},
    {MSG_FOUND_ID, "Found [%s] from %s\n", LOG_ROLE_PROGRESS},
    {MSG_REMOVED_OEM_FILE, "Remove: %s success!\n", LOG_ROLE_PROGRESS},
    {MSG_REMOVED_DRIVER_FILE, "Remove: %s Success!\n", LOG_ROLE_PROGRESS},
    // Staging, preinstall and device binding.
    {MSG_COPIED, "Copy %s to %s\n", LOG_ROLE_PROGRESS},
    {MSG_COPY_PATH_TOO_LONG, "Error: Path of %s is too long, not copied\n", LOG_ROLE_ERROR_TEXT},
    {MSG_COPY_FAILED, "Copy sys file fail\n", LOG_ROLE_ERROR_TEXT},
    {MSG_FILTER_DRIVER_FOUND, "Found KWE Mass Storage Device Driver!\n", LOG_ROLE_PROGRESS},
    {MSG_PREINSTALLING, "INFO: Preinstalling %s\n", LOG_ROLE_PROGRESS},
    {MSG_PREINSTALL_PATH_TOO_LONG, "Error: Path of %s is too long, not preinstalled\n", LOG_ROLE_ERROR_TEXT},
    {MSG_PREINSTALLED, "SUCCESS: preinstalled driver.\n", LOG_ROLE_PROGRESS},
    {MSG_INF_OPEN_FAILED, "Error:Open %s file fail\n", LOG_ROLE_ERROR_TEXT},
    {MSG_NO_MANUFACTURER, "Error:does not contain any device descriptions\n", LOG_ROLE_ERROR_TEXT},
    {MSG_MANUFACTURER_UNREADABLE, "Error: skipping invalid description [Manufacturer]\n", LOG_ROLE_ERROR_TEXT},
    {MSG_NO_MODELS, "Error: %s does not contain any device descriptions [%s]\n", LOG_ROLE_ERROR_TEXT},
    {MSG_MODEL_LINE_UNREADABLE, "Error: Skipping invalid description\n", LOG_ROLE_ERROR_TEXT},
    {MSG_UPDATING, "Updating %s\n", LOG_ROLE_PROGRESS},
    {MSG_UPDATED, "Updated success!\n", LOG_ROLE_PROGRESS},
    {MSG_FILTER_ACTIVE, "Found KWE Mass Storage Device,Active...\n", LOG_ROLE_PROGRESS},
    {MSG_EJECT_TOOL, "Call lantrope.exe...\n", LOG_ROLE_PROGRESS},
    {MSG_EJECT_TOOL_PATH_TOO_LONG, "Error: lantrope.exe not started, its path is too long\n", LOG_ROLE_ERROR_TEXT},
    {MSG_EJECT_TOOL_NO_FOLDER, "Error: lantrope.exe not started, the program folder is unknown\n",
     LOG_ROLE_ERROR_TEXT},
    // Shadow-copy suspension (Windows Vista).
    {MSG_SHADOW_ALLOC_FAILED, "LocalAlloc Failed", LOG_ROLE_ERROR_TEXT},
    {MSG_SHADOW_LOCKED_BY, "Locked by: %s, duration: %d seconds\n", LOG_ROLE_PROGRESS},
    {MSG_SHADOW_NO_LONGER_LOCKED, "No longer locked\n", LOG_ROLE_PROGRESS},
    {MSG_SHADOW_LOCK_FAILED, "Could not lock database", LOG_ROLE_ERROR_TEXT},
    {MSG_SHADOW_ORIGINAL_FAILED, " Get Original Value Failed\n", LOG_ROLE_ERROR_TEXT},
    {MSG_SHADOW_QUERY_FAILED, "QueryServiceConfig() Failsed\n", LOG_ROLE_ERROR_TEXT},
    // Mass-storage filter.
    {MSG_FILTER_VALUE_SET, "Set the gorvel value success!\n", LOG_ROLE_PROGRESS},
    {MSG_FILTER_REINSTALL, "Set flag [reinstall]\n", LOG_ROLE_PROGRESS},
    {MSG_FILTER_NO_MANAGER, "Can't open service manager\n", LOG_ROLE_ERROR_TEXT},
    {MSG_FILTER_SERVICE_CREATED, "Create [gorvel] service success!\n", LOG_ROLE_PROGRESS},
    {MSG_FILTER_SERVICE_NOT_CREATED, "Can't create [gorvel] service\n", LOG_ROLE_ERROR_TEXT},
    {MSG_FILTER_BUFFER, "Buffer : %s\n", LOG_ROLE_PROGRESS},
    {MSG_FILTER_INSTANCE, "IBuffer : %s\n", LOG_ROLE_PROGRESS},
    {MSG_FILTER_ID, "id : %s\n", LOG_ROLE_PROGRESS},
    {MSG_LOWER_FILTERS_FAILED, "Set LOWERFILTERS failed!\n", LOG_ROLE_ERROR_TEXT},
    {MSG_LOWER_FILTERS_SET, "Set LOWERFILTERS Success!\n", LOG_ROLE_PROGRESS},
    {MSG_FILTER_INFO_SET, "Set FilterInfo Success!\n", LOG_ROLE_PROGRESS},
    {MSG_LOW_FILTER_SET, "Set LowFilter Success!\n", LOG_ROLE_PROGRESS},
    {MSG_MARK_REINSTALL, "INFO: Mark the device to be reinstalled the next time it is plugged in \n",
     LOG_ROLE_PROGRESS},
    // Device removal.
    {MSG_FILTER_DISABLE, "Found KWE Mass Storage Device,Disable...\n", LOG_ROLE_PROGRESS},
    {MSG_DEVICE_FOUND, "Found! [%s]\n", LOG_ROLE_PROGRESS},
    {MSG_DEVICE_REMOVING, "\nBegin Uninstall operation...\n", LOG_ROLE_PROGRESS},
    {MSG_DEVICE_REMOVED, "Uninstall success.\n", LOG_ROLE_PROGRESS},
    // Vendor purge.
    {MSG_PURGE_OPEN_FAILED, "Open %s fail!\n", LOG_ROLE_ERROR_TEXT},
    {MSG_PURGE_NO_PROVIDER, "error: %s does not contain any device descriptions\n", LOG_ROLE_ERROR_TEXT},
    {MSG_PURGE_PROVIDER_UNREADABLE, "Error: skipping invalid description [Version]\n", LOG_ROLE_ERROR_TEXT},
    {MSG_PURGE_ATTRIBUTES, "Change file attributes: %s\n", LOG_ROLE_PROGRESS},
    {MSG_PURGE_ATTRIBUTES_NORMAL, "SetFileAttributes: FILE_ATTRIBUTE_NORMAL\n", LOG_ROLE_PROGRESS},
    {MSG_PURGE_DELETE, "Delete: %s\n", LOG_ROLE_PROGRESS},
    {MSG_PURGE_DELETED, "Delete success!\n", LOG_ROLE_PROGRESS},
    {MSG_SERVICE_NO_MANAGER, "Can't open service manager!\n", LOG_ROLE_ERROR_TEXT},
    {MSG_SERVICE_OPEN_FAILED, "Can't open %s service!\n", LOG_ROLE_ERROR_TEXT},
    {MSG_SERVICE_DELETED, "Delete %s service success! \n", LOG_ROLE_PROGRESS},
    {MSG_SERVICE_DELETE_FAILED, "Can't delete %s service!\n", LOG_ROLE_ERROR_TEXT},
    // Install flag, uninstall entry and power-management settings.
    {MSG_ENTRY_PATH_TOO_LONG, "Program path too long, uninstall entry not written!\n", LOG_ROLE_ERROR_TEXT},
    {MSG_POWER_START, "Set Registry For Preinstall Start... \n", LOG_ROLE_PROGRESS},
    {MSG_POWER_KEY_START, "Opent And Set CustomKey Start for %s \n", LOG_ROLE_PROGRESS},
    {MSG_POWER_KEY_OPEN_FAILED, "Error: Opent Custom Key Failed\n", LOG_ROLE_ERROR_TEXT},
    {MSG_POWER_KEY_OPENED, "Open reg key Success!\n", LOG_ROLE_PROGRESS},
    {MSG_POWER_ENABLED_FAILED, "Error:  Set Key Value for powermagner Failed\n", LOG_ROLE_ERROR_TEXT},
    {MSG_POWER_IDLE_FAILED, "Error:  Set Key Value for Suspend Idle Time Failed\n", LOG_ROLE_ERROR_TEXT},
    {MSG_POWER_ALL_FAILED, "Set Registry For Preinstall All Failed \n", LOG_ROLE_ERROR_TEXT},
    {MSG_POWER_DELETE_START, "Open And Delete Custom Key for --%s-- start...\n", LOG_ROLE_PROGRESS},
    {MSG_POWER_DELETE_VALUE_START, "Open And Delete Key Value --subkey:%s--key%s-- start...\n", LOG_ROLE_PROGRESS},
    {MSG_POWER_DELETE_OPEN_FAILED, "Error: Open Custome Key-- %s -- Failed\n", LOG_ROLE_ERROR_TEXT},
    {MSG_POWER_VALUE_DELETED, "Delete Key Value %s Success\n", LOG_ROLE_PROGRESS},
    {MSG_POWER_VALUE_NOT_DELETED, "Warning: Delete Key Value %s Failed\n", LOG_ROLE_ERROR_TEXT},
    {MSG_FINISH, "*************************Finish***********************\n\n", LOG_ROLE_PROGRESS},
};

const std::vector<LogFailureStep> kSteps = {
    {STEP_FIND_SYS, "FindFirstFile(sys)", true},
    {STEP_FIND_INF, "FindFirstFile(inf)", true},
    {STEP_OPEN_INF, "SetupOpenInfFile\n", false},
    {STEP_FIND_MANUFACTURER, "SetupFindFirstLine ->[Manufacturer] ", false},
    {STEP_READ_MANUFACTURER, "SetupGetStringField -> [Manufacturer] ", false},
    {STEP_FIND_MODELS, "SetupFindFirstLine -> [Model] ", false},
    {STEP_READ_MODEL, "SetupGetStringField -> [Model] ", false},
    {STEP_REMOVE_OEM_INF, "Remove ", false},
    {STEP_REMOVE_PNF, "Remove: ", false},
    {STEP_REMOVE_SYS, "Remove sysfile ", false},
    {STEP_REMOVE_DLL, "Remove Dllfile ", false},
    {STEP_COPY_SYS, "Copy SYS file to system folder\n", false},
    {STEP_PREINSTALL, "Preinstall", false},
    {STEP_UPDATE_DRIVER, "UpdateDriver", false},
    {STEP_CLASS_DEVS, "GetClassDevs(All Present Devices)\n", false},
    {STEP_DEVICE_PROPERTY, "GetDeviceRegistryProperty\n", false},
    {STEP_REMOVE_DEVICE, "CallClassInstaller(REMOVE)", false},
    {STEP_ENUM_DEVICES, "EnumDeviceInfo\n", false},
    {STEP_REG_OPEN, "RegOpenKeyEx\n", false},
    {STEP_REG_SET, "RegSetValueEx\n", false},
    {STEP_REG_CREATE, "RegCreateKeyEx\n", false},
    {STEP_REG_DELETE, "RegDeleteKey\n", false},
    {STEP_OPEN_MANAGER, "OpenSCManager\n", false},
    {STEP_OPEN_SERVICE, "OpenService", false},
    {STEP_DELETE_SERVICE, "DeleteService", false},
    {STEP_PURGE_DELETE, "Error:", false},
};
// clang-format on

// A conversion of a format at f: its length, 0 when f holds none.
size_t ConversionLength(std::string_view format, size_t f) {
    if (f + 1 >= format.size() || format[f] != '%') {
        return 0;
    }
    std::string_view rest = format.substr(f);
    for (std::string_view c : {std::string_view("%.*s"), std::string_view("%08x"), std::string_view("%s"),
                               std::string_view("%d"), std::string_view("%x")}) {
        if (rest.substr(0, c.size()) == c) {
            return c.size();
        }
    }
    return 0;
}

bool IsDigitConversion(std::string_view conversion) {
    return conversion == "%d";
}

bool IsHexConversion(std::string_view conversion) {
    return conversion == "%x" || conversion == "%08x";
}

bool MatchFrom(std::string_view format, size_t f, std::string_view text, size_t t,
               std::vector<std::string_view>* fields) {
    while (f < format.size()) {
        size_t length = ConversionLength(format, f);
        if (length == 0) {
            if (t >= text.size() || text[t] != format[f]) {
                return false;
            }
            ++f;
            ++t;
            continue;
        }
        std::string_view conversion = format.substr(f, length);
        size_t fieldIndex = fields != nullptr ? fields->size() : 0;
        // The shortest text that lets the rest match; numbers take digits only.
        size_t minimum = IsDigitConversion(conversion) || IsHexConversion(conversion) ? 1 : 0;
        // A literal after the conversion must stand right behind its text.
        size_t next = f + length;
        bool literalNext = next < format.size() && ConversionLength(format, next) == 0;
        for (size_t n = minimum; t + n <= text.size(); ++n) {
            if (literalNext && !IsDigitConversion(conversion) && !IsHexConversion(conversion)) {
                size_t at = text.find(format[next], t + n);
                if (at == std::string_view::npos) {
                    break;
                }
                n = at - t;
            }
            if (n > 0 && (IsDigitConversion(conversion) || IsHexConversion(conversion))) {
                char c = text[t + n - 1];
                bool digit = c >= '0' && c <= '9';
                bool hex = digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
                if (IsDigitConversion(conversion) && !digit && !(n == 1 && c == '-')) {
                    return false;
                }
                if (IsHexConversion(conversion) && !hex) {
                    return false;
                }
            }
            if (fields != nullptr) {
                fields->resize(fieldIndex);
                fields->push_back(text.substr(t, n));
            }
            if (MatchFrom(format, f + length, text, t + n, fields)) {
                return true;
            }
        }
        if (fields != nullptr) {
            fields->resize(fieldIndex);
        }
        return false;
    }
    return t == text.size();
}

// The formats by the first character of their text; those that begin with
// a number under every digit and the minus sign.
struct FormatIndex {
    std::array<std::vector<const LogMessageFormat*>, 256> byFirst;
    FormatIndex() {
        for (const LogMessageFormat& format : kFormats) {
            std::string_view text = format.format;
            if (text.substr(0, 2) == "%d") {
                for (char c = '0'; c <= '9'; ++c) {
                    byFirst[static_cast<unsigned char>(c)].push_back(&format);
                }
                byFirst[static_cast<unsigned char>('-')].push_back(&format);
            } else {
                byFirst[static_cast<unsigned char>(text[0])].push_back(&format);
            }
        }
    }
};

} // namespace

const std::vector<LogMessageFormat>& LogMessageFormats() {
    return kFormats;
}

const std::vector<LogFailureStep>& LogFailureSteps() {
    return kSteps;
}

bool MatchFormat(std::string_view format, std::string_view text, std::vector<std::string_view>* fields) {
    if (fields != nullptr) {
        fields->clear();
    }
    return MatchFrom(format, 0, text, 0, fields);
}

const LogMessageFormat* MatchLogMessage(std::string_view message, std::vector<std::string_view>* fields) {
    static const FormatIndex index;
    if (message.empty()) {
        return nullptr;
    }
    for (const LogMessageFormat* format : index.byFirst[static_cast<unsigned char>(message[0])]) {
        if (MatchFormat(format->format, message, fields)) {
            return format;
        }
    }
    if (fields != nullptr) {
        fields->clear();
    }
    return nullptr;
}

const LogFailureStep* FindFailureStep(std::string_view step) {
    for (const LogFailureStep& s : kSteps) {
        if (step == s.step) {
            return &s;
        }
    }
    return nullptr;
}
