// The one place through which the installer reaches Windows. Product code
// includes this header and calls the Windows operations by their own names.
// On Windows it brings in the SDK; on a development host it brings in the
// same declarations, which the simulated machine of the test suite implements.
#ifndef HALLIMOR_PLATFORM_PLATFORM_H
#define HALLIMOR_PLATFORM_PLATFORM_H

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef _CRT_SECURE_NO_WARNINGS
#define _CRT_SECURE_NO_WARNINGS
#endif
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <regstr.h>
#include <newdev.h>
#include <shlwapi.h>
#include <ntsecapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#else
#include "host/win_host.h"
#endif

// The version record, which the SDK marks deprecated: the one place that asks
// (deprecated_calls.cpp).
BOOL PlatformGetVersionExA(LPOSVERSIONINFOA versionInformation);

#endif
