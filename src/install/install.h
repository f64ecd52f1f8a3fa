// Driver installation: staging, driver store and binding, the install and
// preinstall flows, and the shadow-copy service suspension.
#ifndef HALLIMOR_INSTALL_INSTALL_H
#define HALLIMOR_INSTALL_INSTALL_H

#include "platform/platform.h"

// The start type of the shadow-copy service remembered by the suspension.
extern DWORD g_ShadowCopyStartType;

// Copies every listed driver file into the system drivers folder.
// 1 when all were copied, 0 at the first failed copy.
int StageDriverFiles(void);

// Puts one package INF into the driver store and, for Install (8), updates
// the drivers of the devices its models name. 0 only when Install's model
// walk cannot start.
int PreinstallInf(const char* infName, int operationCode);

// Puts one package INF into the driver store only. 1 on success.
int PreinstallInfOnly(const char* infName);

// The flows of the install-type operations.
void RunInstall(int operationCode);
void RunPreinstall(int operationCode);
void RunPreinstallOnly(void);

// Suspend and restore the Volume Shadow Copy service ("VSS").
void SuspendShadowCopyService(void);
void RestoreShadowCopyService(void);

// Process-start value of the remembered start type.
void ResetShadowCopyState(void);

#endif
