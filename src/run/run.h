// Run control: the operation codes and the whole run of the installer.
#ifndef HALLIMOR_RUN_RUN_H
#define HALLIMOR_RUN_RUN_H

// Operation codes chosen by the command-line word.
#define OPERATION_UNINSTALL 3
#define OPERATION_PREINSTALL 6
#define OPERATION_PREINSTALL_F 7
#define OPERATION_INSTALL 8
#define OPERATION_CLEAN 9
#define OPERATION_PREINSTALL_CFG 11
#define OPERATION_PREINSTALL_CU 12
#define OPERATION_PREINSTALL_BYT 13

// Exit code of a run that cannot begin its work.
#define RUN_FAILED (-1)

// The operation code of this run (Install until the word is read).
extern int g_OperationCode;

// The program version announced in the log.
extern const char kProgramVersion[];

// Runs the installer once, as the process entry does. Every run starts from
// the process-start values of all run-wide state, so that a test process can
// run it many times. Returns the exit code.
int RunInstaller(int argc, char** argv);

// Puts every run-wide value of every subsystem back to its process-start value.
void ResetRunState(void);

#endif
