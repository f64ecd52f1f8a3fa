// The run-wide operation code; run control writes it, the others read it.
#include "common/operation.h"

int g_OperationCode = OPERATION_INSTALL;
