#include "common/vendor_config.h"

#include "common/ascii_case.h"

// The tables are constant expressions so that the build checks them: a
// shorter compare would match other makers' devices (the removal compares
// every entry over VENDOR_HARDWARE_ID_LENGTH characters and the purge over
// the prefix), so an edit that breaks a rule must not build.

// clang-format off
constexpr char kVendorHardwareIdPrefix[] = "USB\\Vid_3E1F";

constexpr const char* const kRemovalHardwareIds[REMOVAL_HARDWARE_ID_COUNT] = {
    "USB\\Vid_3E1F&Pid_A101",
    "USB\\Vid_3E1F&Pid_A102",
    "USB\\Vid_3E1F&Pid_A103",
    "USB\\Vid_3E1F&Pid_A104",
    "USB\\Vid_3E1F&Pid_A105",
    "USB\\Vid_3E1F&Pid_A106",
    "USB\\Vid_3E1F&Pid_A107",
    "USB\\Vid_3E1F&Pid_A108",
    "USB\\Vid_3E1F&Pid_A109",
    "USB\\Vid_3E1F&Pid_A10A",
    "USB\\Vid_3E1F&Pid_A10B",
    "USB\\Vid_3E1F&Pid_A10C",
    "USB\\Vid_3E1F&Pid_A10D",
    "USB\\Vid_3E1F&Pid_A10E",
    "USB\\Vid_3E1F&Pid_A10F",
    "USB\\Vid_3E1F&Pid_A110",
    "USB\\Vid_3E1F&Pid_A111",
    "USB\\Vid_3E1F&Pid_A112",
    "USB\\Vid_3E1F&Pid_A113",
    "USB\\Vid_3E1F&Pid_A114",
    "USB\\Vid_3E1F&Pid_A115",
    "USB\\Vid_3E1F&Pid_A116",
    "USB\\Vid_3E1F&Pid_A117",
    "USB\\Vid_3E1F&Pid_A118",
    "USB\\Vid_3E1F&Pid_B201",
    "USB\\Vid_3E1F&Pid_B202",
    "USB\\Vid_3E1F&Pid_B203",
    "USB\\Vid_3E1F&Pid_B204",
    "USB\\Vid_3E1F&Pid_B205",
    "USB\\Vid_3E1F&Pid_B206",
    "USB\\Vid_3E1F&Pid_B207",
    "USB\\Vid_3E1F&Pid_B208",
    "USB\\Vid_3E1F&Pid_B209",
    "USB\\Vid_3E1F&Pid_B20A",
    "USB\\Vid_3E1F&Pid_B20B",
    "USB\\Vid_3E1F&Pid_B20C",
    "USB\\Vid_3E1F&Pid_B20D",
    "USB\\Vid_3E1F&Pid_B20E",
    "USB\\Vid_3E1F&Pid_B20F",
    "USB\\Vid_3E1F&Pid_B210",
    "USB\\Vid_3E1F&Pid_B211",
    "USB\\Vid_3E1F&Pid_B212",
    "USB\\Vid_3E1F&Pid_C301",
    "USB\\Vid_3E1F&Pid_C302",
    "USB\\Vid_3E1F&Pid_C303",
    "USB\\Vid_3E1F&Pid_C304",
    "USB\\Vid_3E1F&Pid_C305",
    "USB\\Vid_3E1F&Pid_C306",
    "USB\\Vid_3E1F&Pid_C307",
    "USB\\Vid_3E1F&PID_D401",
    "USB\\Vid_3E1F&PID_D402",
    "USB\\Vid_3E1F&PID_D403",
    "USB\\Vid_3E1F&PID_D404",
    "USB\\Vid_3E1F&PID_D405",
    "USB\\Vid_3E1F&PID_D406",
    "USB\\Vid_3E1F&PID_D407",
    "USB\\Vid_3E1F&PID_D408",
    "USB\\Vid_3E1F&PID_D409",
    "USB\\Vid_3E1F&PID_D40A",
    "USB\\Vid_3E1F&PID_D40B",
};

constexpr const char* const kStorageHardwareIds[STORAGE_HARDWARE_ID_COUNT] = {
    "USB\\Vid_3E1F&Pid_C301",
    "USB\\Vid_3E1F&Pid_C302",
    "USB\\Vid_3E1F&Pid_C303",
    "USB\\Vid_3E1F&Pid_C304",
    "USB\\Vid_3E1F&Pid_C305",
    "USB\\Vid_3E1F&Pid_C306",
    "USB\\Vid_3E1F&Pid_C307",
};
// clang-format on

const char kVendorUrlInfoAbout[] = "https://www.kwe.example/";

namespace {

constexpr int TextLength(const char* text) {
    int length = 0;
    while (text != nullptr && text[length] != '\0') {
        ++length;
    }
    return length;
}

constexpr bool WellFormedEntry(const char* entry) {
    return entry != nullptr && TextLength(entry) == VENDOR_HARDWARE_ID_LENGTH &&
           CompareNoCaseN(entry, kVendorHardwareIdPrefix, VENDOR_HARDWARE_ID_PREFIX_LENGTH) == 0;
}

constexpr bool AllWellFormed(const char* const* table, int count) {
    for (int i = 0; i < count; ++i) {
        if (!WellFormedEntry(table[i])) {
            return false;
        }
    }
    return true;
}

constexpr bool InRemovalTable(const char* entry) {
    for (int i = 0; i < REMOVAL_HARDWARE_ID_COUNT; ++i) {
        if (CompareNoCaseN(entry, kRemovalHardwareIds[i], VENDOR_HARDWARE_ID_LENGTH + 1) == 0) {
            return true;
        }
    }
    return false;
}

constexpr bool StorageInsideRemoval() {
    for (int i = 0; i < STORAGE_HARDWARE_ID_COUNT; ++i) {
        if (!InRemovalTable(kStorageHardwareIds[i])) {
            return false;
        }
    }
    return true;
}

static_assert(TextLength(kVendorHardwareIdPrefix) == VENDOR_HARDWARE_ID_PREFIX_LENGTH,
              "the vendor prefix must be VENDOR_HARDWARE_ID_PREFIX_LENGTH characters");
static_assert(
    AllWellFormed(kRemovalHardwareIds, REMOVAL_HARDWARE_ID_COUNT),
    "every removal entry must be VENDOR_HARDWARE_ID_LENGTH characters and begin with the vendor prefix");
static_assert(
    AllWellFormed(kStorageHardwareIds, STORAGE_HARDWARE_ID_COUNT),
    "every storage entry must be VENDOR_HARDWARE_ID_LENGTH characters and begin with the vendor prefix");
static_assert(StorageInsideRemoval(), "every storage entry must also be in the removal table");

} // namespace
