// Run control's operation code: the run sets it once from the command-line
// word, and the flows and the mass-storage filter read it. It lives below
// them so that none of them has to include the run itself.
#ifndef HALLIMOR_COMMON_OPERATION_H
#define HALLIMOR_COMMON_OPERATION_H

// Operation codes chosen by the command-line word.
#define OPERATION_UNINSTALL 3
#define OPERATION_PREINSTALL 6
#define OPERATION_PREINSTALL_F 7
#define OPERATION_INSTALL 8
#define OPERATION_CLEAN 9
#define OPERATION_PREINSTALL_CFG 11
#define OPERATION_PREINSTALL_CU 12
#define OPERATION_PREINSTALL_BYT 13

// The operation code of this run (Install until the word is read).
extern int g_OperationCode;

#endif
