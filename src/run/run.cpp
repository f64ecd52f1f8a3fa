// Run control: the choice of the operation and the fixed order of a run.
#include "run/run.h"

#include <string.h>

#include "cleanup/cleanup.h"
#include "common/operation.h"
#include "common/text.h"
#include "devices/devices.h"
#include "environment/environment.h"
#include "install/install.h"
#include "log/log.h"
#include "log/log_texts.h"
#include "platform/platform.h"
#include "records/records.h"

const char kProgramVersion[] = "1.0.1.17";

// The operation words, tried in this order; a word matches only as a whole,
// letter case included.
struct OperationWord {
    const char* word;
    int code;
    const char* line;
};

static const OperationWord kOperationWords[] = {
    {"Uninstall", OPERATION_UNINSTALL, "OperateCode: Uninstall\n"},
    {"Clean", OPERATION_CLEAN, "OperateCode: Clean\n"},
    {"Preinstall", OPERATION_PREINSTALL, "OperateCode: Preinstall\n"},
    {"Install", OPERATION_INSTALL, "OperateCode: Install\n"},
    {"Preinstall_f", OPERATION_PREINSTALL_F, "OperateCode: Preinstall_f\n"},
    {"Preinstall_cfg", OPERATION_PREINSTALL_CFG, "OperateCode: Preinstall_cfg\n"},
    {"Preinstall_cu", OPERATION_PREINSTALL_CU, "OperateCode: Preinstall_cu\n"},
    {"Preinstall_BYT", OPERATION_PREINSTALL_BYT, "OperateCode: Preinstall Type5\n"},
};

#define OPERATION_WORD_COUNT (sizeof(kOperationWords) / sizeof(kOperationWords[0]))

void ResetRunState(void) {
    ResetLogState();
    ResetEnvironmentState();
    ResetShadowCopyState();
    g_OperationCode = OPERATION_INSTALL;
}

// Sets the operation code from the command line and logs it. Only a single
// word is read; any other argument count means Install.
static void ChooseOperation(int argc, char** argv) {
    if (argc != 2 || argv == NULL || argv[1] == NULL) {
        g_OperationCode = OPERATION_INSTALL;
        LogMessage("OperateCode: Install\n");
        return;
    }
    for (size_t i = 0; i < OPERATION_WORD_COUNT; ++i) {
        if (SameText(argv[1], kOperationWords[i].word)) {
            g_OperationCode = kOperationWords[i].code;
            LogMessage("%s", kOperationWords[i].line);
            return;
        }
    }
    g_OperationCode = OPERATION_INSTALL;
    LogMessage("OperateCode: NULL\n");
}

// The log lives in the Windows temporary folder. When the Windows folder is
// not available the path starts at the current drive's root. 0 when the
// Windows folder is too long for the whole path to fit.
static int BuildLogPath(char* path, size_t size) {
    memset(path, 0, size);
    UINT length = GetWindowsDirectoryA(path, (UINT)size);
    if (length >= size) {
        // Too small a buffer: nothing usable was written.
        memset(path, 0, size);
    }
    return AppendText(path, size, "\\Temp\\HandsetInstallInfo.log");
}

static void RunUninstallSequence(void) {
    RemoveVendorDevices();
    DeleteUninstallEntry();
    DeleteInstallFlag();
    DeletePowerSettings("SYSTEM\\CurrentControlSet\\Services\\KWEusbmdm6k");
    DeletePowerSettings("SYSTEM\\CurrentControlSet\\Services\\KWEusbnmea");
    DeletePowerSettings("SYSTEM\\CurrentControlSet\\Services\\KWEusbser6k");
    DeleteRegistryValue("SYSTEM\\CurrentControlSet\\Services\\gorvel", "gorvel");
}

// The steps of the chosen operation; each runs whatever the one before it
// reported, and each reports its own failures.
static void RunOperationSequence(int operationCode) {
    switch (operationCode) {
    case OPERATION_UNINSTALL:
        RunUninstallSequence();
        break;
    case OPERATION_PREINSTALL:
    case OPERATION_PREINSTALL_F:
        RunPreinstall(operationCode);
        SetInstallFlag();
        break;
    case OPERATION_CLEAN:
        RunClean();
        break;
    case OPERATION_PREINSTALL_CFG:
        RemoveVendorDevices();
        RunPreinstallOnly();
        SetModemPowerSettings();
        break;
    case OPERATION_PREINSTALL_CU:
        RunPreinstallOnly();
        WriteUninstallEntry();
        break;
    case OPERATION_PREINSTALL_BYT:
        RunPreinstallOnly();
        RunInstall(OPERATION_INSTALL);
        WriteUninstallEntry();
        break;
    case OPERATION_INSTALL:
    default:
        RunInstall(OPERATION_INSTALL);
        break;
    }
}

int RunInstaller(int argc, char** argv) {
    char logPath[PATH_BUFFER_SIZE];

    ResetRunState();

    if (!BuildLogPath(logPath, sizeof(logPath))) {
        return RUN_FAILED;
    }
    if (!OpenInstallLog(logPath)) {
        return RUN_FAILED;
    }

    LogMessage("%s", kLogBanner);
    LogMessage("Version    : %s \n", kProgramVersion);

    ChooseOperation(argc, argv);

    if (!DetectWindowsVersion()) {
        LogMessage("Get OS version failed!\n");
    }

    if (!ResolveSystemFolders()) {
        LogMessage("Error : Get windows driver directory fail\n");
        CloseInstallLog();
        return RUN_FAILED;
    }

    if (g_OperationCode != OPERATION_CLEAN) {
        if (!ScanDriverPackage()) {
            LogMessage("Error:Search sys file %d; inf file %d\n", g_DriverFileCount + 1, g_InfCount + 1);
            CloseInstallLog();
            return RUN_FAILED;
        }
        RemoveSupersededOemInfs();
        RemoveStagedDriverFiles();
        RemoveSupportLibrary();
    }

    RunOperationSequence(g_OperationCode);

    LogMessage("%s", kLogClosingLine);
    CloseInstallLog();
    return 0;
}
