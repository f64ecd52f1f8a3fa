/* setupinf: prints what SetupAPI itself reads from INF files, through the
 * calls the installer makes, so that a test can hold hallimor-check's INF
 * reader against it.
 *
 * Usage: setupinf.exe INF...
 * Prints one JSON array with one object per INF, in the keys of
 * "hallimor-check inf --json":
 *   file (as given; a relative name is opened as a full path), readable
 *                 (false with "error": the open's last error, as 0x%08lx),
 *   provider      field 1 of [Version] Provider, or null
 *   catalog       field 1 of the first of CatalogFile.NTamd64, CatalogFile.NT
 *                 and CatalogFile that [Version] has, or null
 *   driverVer     the fields of [Version] DriverVer joined by ',', or null
 *   installer     modelsSection: field 1 of the first [Manufacturer] line (or
 *                 null); lines: the lines SetupFindFirstLineA and
 *                 SetupFindNextLine find in that section; firstHardwareId:
 *                 field 2 of its first line, ASCII upper-cased (or null)
 * Bytes of 0x80 and above are written as \u00XX (read as Latin-1), as the
 * checker writes them. Exits with 0. */
#include <windows.h>
#include <setupapi.h>
#include <stdio.h>
#include <string.h>

#define SETUPINF_FIELD 4096

static void PrintJsonString(const char* text) {
    const unsigned char* p = (const unsigned char*)text;
    putchar('"');
    for (; *p != '\0'; ++p) {
        if (*p == '"' || *p == '\\') {
            printf("\\%c", *p);
        } else if (*p == '\n') {
            printf("\\n");
        } else if (*p < 0x20 || *p >= 0x80) {
            printf("\\u00%02x", *p);
        } else {
            putchar(*p);
        }
    }
    putchar('"');
}

static void PrintValue(const char* key, const char* value) {
    printf(", \"%s\": ", key);
    if (value == NULL) {
        printf("null");
    } else {
        PrintJsonString(value);
    }
}

/* Field 1 of the first line of section with that key into out; NULL when
 * there is no such line or field. */
static const char* KeyValue(HINF inf, const char* section, const char* key, char* out) {
    INFCONTEXT context;
    if (!SetupFindFirstLineA(inf, section, key, &context) ||
        !SetupGetStringFieldA(&context, 1, out, SETUPINF_FIELD, NULL)) {
        return NULL;
    }
    return out;
}

static void PrintInf(const char* path) {
    static char value[SETUPINF_FIELD];
    static char field[SETUPINF_FIELD];
    static char full[MAX_PATH];
    static const char* const kCatalogKeys[] = {"CatalogFile.NTamd64", "CatalogFile.NT", "CatalogFile"};
    INFCONTEXT context;
    UINT errorLine = 0;
    HINF inf;
    const char* found = NULL;
    size_t i;

    /* SetupAPI looks for a bare name in the INF folder: a relative name is
     * made a full path first. */
    if (GetFullPathNameA(path, MAX_PATH, full, NULL) == 0) {
        snprintf(full, MAX_PATH, "%s", path);
    }
    inf = SetupOpenInfFileA(full, NULL, INF_STYLE_WIN4, &errorLine);

    printf("{\"file\": ");
    PrintJsonString(path);
    if (inf == INVALID_HANDLE_VALUE) {
        printf(", \"readable\": false, \"error\": \"0x%08lx\"}", (unsigned long)GetLastError());
        return;
    }
    printf(", \"readable\": true");
    PrintValue("provider", KeyValue(inf, "Version", "Provider", value));

    for (i = 0; i < sizeof(kCatalogKeys) / sizeof(kCatalogKeys[0]) && found == NULL; ++i) {
        if (SetupFindFirstLineA(inf, "Version", kCatalogKeys[i], &context)) {
            found = SetupGetStringFieldA(&context, 1, value, SETUPINF_FIELD, NULL) ? value : "";
        }
    }
    PrintValue("catalog", found);

    found = NULL;
    if (SetupFindFirstLineA(inf, "Version", "DriverVer", &context)) {
        DWORD n;
        value[0] = '\0';
        for (n = 1; SetupGetStringFieldA(&context, n, field, SETUPINF_FIELD, NULL); ++n) {
            size_t used = strlen(value);
            if (used + strlen(field) + 2 < SETUPINF_FIELD) {
                snprintf(value + used, SETUPINF_FIELD - used, "%s%s", n == 1 ? "" : ",", field);
            }
        }
        found = value;
    }
    PrintValue("driverVer", found);

    printf(", \"installer\": {\"modelsSection\": ");
    found = KeyValue(inf, "Manufacturer", NULL, value);
    if (found == NULL) {
        printf("null, \"lines\": 0, \"firstHardwareId\": null}}");
        SetupCloseInfFile(inf);
        return;
    }
    PrintJsonString(found);
    {
        int lines = 0;
        const char* firstId = NULL;
        if (SetupFindFirstLineA(inf, value, NULL, &context)) {
            INFCONTEXT next = context;
            lines = 1;
            if (SetupGetStringFieldA(&context, 2, field, SETUPINF_FIELD, NULL)) {
                char* c;
                for (c = field; *c != '\0'; ++c) {
                    if (*c >= 'a' && *c <= 'z') {
                        *c = (char)(*c - 'a' + 'A');
                    }
                }
                firstId = field;
            }
            while (SetupFindNextLine(&next, &next)) {
                ++lines;
            }
        }
        printf(", \"lines\": %d, \"firstHardwareId\": ", lines);
        if (firstId == NULL) {
            printf("null");
        } else {
            PrintJsonString(firstId);
        }
        printf("}}");
    }
    SetupCloseInfFile(inf);
}

int main(int argc, char** argv) {
    int i;
    printf("[");
    for (i = 1; i < argc; ++i) {
        printf(i == 1 ? "\n" : ",\n");
        PrintInf(argv[i]);
    }
    printf("\n]\n");
    return 0;
}
