// The records that the installer writes into its install log: every fixed
// message with its format, and every step name that its failure records
// carry. hallimor-check log recognises a record by them; a record that is
// neither is not one the installer writes.
#ifndef HALLIMOR_TOOLS_CHECK_LOG_MESSAGES_H
#define HALLIMOR_TOOLS_CHECK_LOG_MESSAGES_H

#include <stddef.h>

#include <string_view>
#include <vector>

// What a message stands for in a run.
enum LogMessageRole {
    LOG_ROLE_PROGRESS,    // ordinary progress, nothing to report
    LOG_ROLE_ERROR_TEXT,  // a fixed error text: reported with its class
    LOG_ROLE_START_ERROR, // an error of the start sequence that ends the run with -1
    LOG_ROLE_START_END,   // the last record of a run that ends with -1
    LOG_ROLE_LIST_ENTRY,  // an entry of the package's file lists
};

// The messages whose place in the run the analysis follows.
enum LogMessageId {
    MSG_OTHER = 0,
    MSG_BANNER,
    MSG_VERSION,
    MSG_OPERATION,
    MSG_OS_VERSION,
    MSG_OS_VERSION_FAILED,
    MSG_FOLDER_NOT_FOUND,
    MSG_FOLDER_TOO_LONG,
    MSG_FOLDER_EMPTY,
    MSG_FOLDERS_FAILED,
    MSG_EXE_FOLDER_FAILED,
    MSG_PROGRAM_PATH_TOO_LONG,
    MSG_DIRECTORY,
    MSG_PACKAGE_FOLDER_TOO_LONG,
    MSG_SEARCH_PATH_TOO_LONG,
    MSG_SEARCH_FILE_NAME,
    MSG_SYS_LIST,
    MSG_INF_LIST,
    MSG_LIST_ENTRY,
    MSG_NAME_TOO_LONG,
    MSG_TOO_MANY_FILES,
    MSG_SCAN_FAILED,
    MSG_SEARCH_OEM_FAILED,
    MSG_PATH_TOO_LONG,
    MSG_FOUND_ID,
    MSG_REMOVED_OEM_FILE,
    MSG_REMOVED_DRIVER_FILE,
    MSG_COPIED,
    MSG_COPY_PATH_TOO_LONG,
    MSG_COPY_FAILED,
    MSG_FILTER_DRIVER_FOUND,
    MSG_PREINSTALLING,
    MSG_PREINSTALL_PATH_TOO_LONG,
    MSG_PREINSTALLED,
    MSG_INF_OPEN_FAILED,
    MSG_NO_MANUFACTURER,
    MSG_MANUFACTURER_UNREADABLE,
    MSG_NO_MODELS,
    MSG_MODEL_LINE_UNREADABLE,
    MSG_UPDATING,
    MSG_UPDATED,
    MSG_FILTER_ACTIVE,
    MSG_EJECT_TOOL,
    MSG_EJECT_TOOL_PATH_TOO_LONG,
    MSG_EJECT_TOOL_NO_FOLDER,
    MSG_SHADOW_ALLOC_FAILED,
    MSG_SHADOW_LOCKED_BY,
    MSG_SHADOW_NO_LONGER_LOCKED,
    MSG_SHADOW_LOCK_FAILED,
    MSG_SHADOW_ORIGINAL_FAILED,
    MSG_SHADOW_QUERY_FAILED,
    MSG_FILTER_VALUE_SET,
    MSG_FILTER_REINSTALL,
    MSG_FILTER_NO_MANAGER,
    MSG_FILTER_SERVICE_CREATED,
    MSG_FILTER_SERVICE_NOT_CREATED,
    MSG_FILTER_BUFFER,
    MSG_FILTER_INSTANCE,
    MSG_FILTER_ID,
    MSG_LOWER_FILTERS_FAILED,
    MSG_LOWER_FILTERS_SET,
    MSG_FILTER_INFO_SET,
    MSG_LOW_FILTER_SET,
    MSG_MARK_REINSTALL,
    MSG_FILTER_DISABLE,
    MSG_DEVICE_FOUND,
    MSG_DEVICE_REMOVING,
    MSG_DEVICE_REMOVED,
    MSG_PURGE_OPEN_FAILED,
    MSG_PURGE_NO_PROVIDER,
    MSG_PURGE_PROVIDER_UNREADABLE,
    MSG_PURGE_ATTRIBUTES,
    MSG_PURGE_ATTRIBUTES_NORMAL,
    MSG_PURGE_DELETE,
    MSG_PURGE_DELETED,
    MSG_SERVICE_NO_MANAGER,
    MSG_SERVICE_OPEN_FAILED,
    MSG_SERVICE_DELETED,
    MSG_SERVICE_DELETE_FAILED,
    MSG_ENTRY_PATH_TOO_LONG,
    MSG_POWER_START,
    MSG_POWER_KEY_START,
    MSG_POWER_KEY_OPEN_FAILED,
    MSG_POWER_KEY_OPENED,
    MSG_POWER_ENABLED_FAILED,
    MSG_POWER_IDLE_FAILED,
    MSG_POWER_ALL_FAILED,
    MSG_POWER_DELETE_START,
    MSG_POWER_DELETE_VALUE_START,
    MSG_POWER_DELETE_OPEN_FAILED,
    MSG_POWER_VALUE_DELETED,
    MSG_POWER_VALUE_NOT_DELETED,
    MSG_FINISH,
};

struct LogMessageFormat {
    LogMessageId id;
    const char* format; // the message as the installer formats it: %s, %d, %.*s, %08x
    LogMessageRole role;
};

// The steps that failure records ("STEP FAILURE: TEXT") carry.
enum LogStepId {
    STEP_FIND_SYS = 1,
    STEP_FIND_INF,
    STEP_OPEN_INF,
    STEP_FIND_MANUFACTURER,
    STEP_READ_MANUFACTURER,
    STEP_FIND_MODELS,
    STEP_READ_MODEL,
    STEP_REMOVE_OEM_INF,
    STEP_REMOVE_PNF,
    STEP_REMOVE_SYS,
    STEP_REMOVE_DLL,
    STEP_COPY_SYS,
    STEP_PREINSTALL,
    STEP_UPDATE_DRIVER,
    STEP_CLASS_DEVS,
    STEP_DEVICE_PROPERTY,
    STEP_REMOVE_DEVICE,
    STEP_ENUM_DEVICES,
    STEP_REG_OPEN,
    STEP_REG_SET,
    STEP_REG_CREATE,
    STEP_REG_DELETE,
    STEP_OPEN_MANAGER,
    STEP_OPEN_SERVICE,
    STEP_DELETE_SERVICE,
    STEP_PURGE_DELETE,
};

struct LogFailureStep {
    LogStepId id;
    const char* step;   // exactly as the record carries it, trailing blank or line feed included
    bool startSequence; // part of the start sequence (the package scan)
};

// Every message format the installer writes after its version line, and
// the step names of its failure records.
const std::vector<LogMessageFormat>& LogMessageFormats();
const std::vector<LogFailureStep>& LogFailureSteps();

// The format that message matches, or nullptr. The texts that the
// format's conversions stand for go to fields, in order.
const LogMessageFormat* MatchLogMessage(std::string_view message, std::vector<std::string_view>* fields);

// The failure step with exactly this name, or nullptr.
const LogFailureStep* FindFailureStep(std::string_view step);

// Whether text is written by format (the conversions stand for any text).
bool MatchFormat(std::string_view format, std::string_view text, std::vector<std::string_view>* fields);

#endif
