// Placeholder entry points, replaced as the subsystem is built.
#include "install/install.h"

const char kFilterDriverFile[] = "gorvel.sys";
DWORD g_ShadowCopyStartType = SERVICE_DEMAND_START;
int StageDriverFiles(void) { return 1; }
int PreinstallInf(const char*, int) { return 1; }
int PreinstallInfOnly(const char*) { return 1; }
void RunInstall(int) {}
void RunPreinstall(int) {}
void RunPreinstallOnly(void) {}
void SuspendShadowCopyService(void) {}
void RestoreShadowCopyService(void) {}
void ResetShadowCopyState(void) { g_ShadowCopyStartType = SERVICE_DEMAND_START; }
