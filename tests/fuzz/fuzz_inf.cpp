// libFuzzer target of the INF reader: any bytes are parsed as an INF file,
// and the models section that 64-bit Windows would read is chosen for the
// first Manufacturer line of what parsed. Nothing may crash, hang or read
// outside the input.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "inf/inf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string raw(reinterpret_cast<const char*>(data), size);
    infreader::InfFile inf;
    unsigned errorLine = 0;
    if (infreader::ParseInfText(raw, &inf, &errorLine) != infreader::INF_OK) {
        return 0;
    }
    const infreader::InfSection* manufacturer = infreader::FindInfSection(inf, "Manufacturer");
    if (manufacturer == nullptr) {
        return 0;
    }
    for (const infreader::InfLine& line : manufacturer->lines) {
        for (unsigned major : {5u, 6u, 10u}) {
            infreader::TargetWindows target;
            target.major = major;
            std::string section = infreader::SelectX64ModelsSection(line, target);
            if (!section.empty()) {
                infreader::FindInfSection(inf, section);
            }
        }
    }
    return 0;
}
