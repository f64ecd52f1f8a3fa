// libFuzzer target of the install log reader of hallimor-check: any bytes
// are split into records and judged. Nothing may crash, hang or read outside
// the input.
#include <stddef.h>
#include <stdint.h>

#include <sstream>
#include <string>

#include "check.h"
#include "log_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InstallLogText log;
    SplitInstallLog(reinterpret_cast<const char*>(data), size, &log);
    for (const LogRecord& record : log.records) {
        if (record.message.data() < log.text.data() ||
            record.message.data() + record.message.size() > log.text.data() + log.text.size()) {
            __builtin_trap();
        }
    }
    std::ostringstream report;
    int verdict = ReportOnLogBytes(reinterpret_cast<const char*>(data), size, report);
    if (verdict < 0 || verdict > 2) {
        __builtin_trap();
    }
    return 0;
}
