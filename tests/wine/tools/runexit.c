/* runexit: starts a command line, waits for it and reports its full 32-bit
 * exit code. Wine's launcher hands only the low 8 bits of a process's exit
 * code back to the host shell, so the end-to-end tests start the installer
 * through this helper inside the Wine prefix.
 *
 * Usage: runexit.exe PROGRAM [ARGUMENTS...]
 * Everything after runexit's own name is passed on unchanged as the child's
 * command line. Prints "exit=N" (N as a signed decimal, so all bits set
 * reads -1) and "exit_hex=0xXXXXXXXX" on standard output, and exits with the
 * same code. When the child cannot be started it prints "runexit: ..." on
 * standard error and exits with 2147483647. */
#include <windows.h>
#include <stdio.h>

#define RUNEXIT_START_FAILED 0x7FFFFFFF

/* Returns the part of a command line that follows its first word (the
 * program name, quoted or not) and the blanks after it. */
static char* SkipProgramName(char* commandLine) {
    char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            ++p;
        }
        if (*p == '"') {
            ++p;
        }
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t') {
            ++p;
        }
    }
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    return p;
}

int main(void) {
    char* child = SkipProgramName(GetCommandLineA());
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD code = 0;

    if (*child == '\0') {
        fprintf(stderr, "runexit: usage: runexit.exe PROGRAM [ARGUMENTS...]\n");
        return RUNEXIT_START_FAILED;
    }

    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    ZeroMemory(&process, sizeof(process));
    if (!CreateProcessA(NULL, child, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "runexit: cannot start \"%s\" (error %lu)\n", child, (unsigned long)GetLastError());
        return RUNEXIT_START_FAILED;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    if (!GetExitCodeProcess(process.hProcess, &code)) {
        fprintf(stderr, "runexit: no exit code (error %lu)\n", (unsigned long)GetLastError());
        code = RUNEXIT_START_FAILED;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    printf("exit=%ld\n", (long)(LONG)code);
    printf("exit_hex=0x%08lx\n", (unsigned long)code);
    fflush(stdout);
    return (int)code;
}
