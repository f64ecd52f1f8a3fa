// Windows operations that the SDK marks deprecated and that the installer
// still needs. Every call of one of them goes through this file, which
// silences exactly that warning of the Visual Studio compiler (C4996) and
// nothing else.
#include "platform/platform.h"

BOOL PlatformGetVersionExA(LPOSVERSIONINFOA versionInformation) {
    // The version record is how the installer tells Windows versions apart
    // (its own version numbers, not the manifest-dependent ones of the newer
    // helpers, which an exe without a manifest would not get right either).
#if defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4996)
#endif
    return GetVersionExA(versionInformation);
#if defined(_MSC_VER)
#pragma warning(pop)
#endif
}
