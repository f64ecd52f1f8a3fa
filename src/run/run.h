// Run control: the whole run of the installer, from the command line to the
// exit code. The operation code it chooses is in common/operation.h.
#ifndef HALLIMOR_RUN_RUN_H
#define HALLIMOR_RUN_RUN_H

// Exit code of a run that cannot begin its work.
#define RUN_FAILED (-1)

// The program version announced in the log.
extern const char kProgramVersion[];

// Runs the installer once, as the process entry does. Every run starts from
// the process-start values of all run-wide state, so that a test process can
// run it many times. Returns the exit code.
int RunInstaller(int argc, char** argv);

// Puts every run-wide value of every subsystem back to its process-start value.
void ResetRunState(void);

#endif
