// hallimor_scenario: runs the installer on the simulated machine from the
// starting state of a scenario file and prints the canonical dump of the run
// (exit code, install log records, vendor files, driver store, registry).
//
// Usage: hallimor_scenario SCENARIO SAMPLE_DRIVERS [--windows NAME] [--words WORD...]
//   SAMPLE_DRIVERS  the host folder laid out as C:\Hallimor\Drivers when the
//                   scenario says "package"
//   --windows, --words  override the scenario's own lines
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "machine.h"
#include "scenario.h"
#include "sim_internal.h"

namespace {

const char kExe[] = "C:\\Hallimor\\Hallimor_x64.exe";
const char kWindows[] = "C:\\windows";

std::string ReadFile(const std::string& path, bool* ok) {
    std::ifstream in(path, std::ios::binary);
    *ok = static_cast<bool>(in);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string WindowsPath(const std::string& relative) {
    std::string path = std::string(kWindows) + "\\" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The host file that a scenario names: "sample:REL" below the sample
// package, anything else relative to the scenario's folder.
std::string SourceFile(const std::string& name, const std::string& scenarioFolder,
                       const std::string& sample) {
    if (name.compare(0, 7, "sample:") == 0) {
        return sample + "/64bit/" + name.substr(7);
    }
    return scenarioFolder + "/" + name;
}

bool Fields(const compare::Directive& d, size_t minimum) {
    if (d.fields.size() < minimum) {
        std::cerr << "line " << d.line << ": " << d.name << " needs " << minimum << " fields\n";
        return false;
    }
    return true;
}

bool Apply(const compare::Directive& d, const std::string& folder, const std::string& sample) {
    bool ok = true;
    if (d.name == "package") {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(sample)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            std::string rel = std::filesystem::relative(entry.path(), sample).generic_string();
            std::replace(rel.begin(), rel.end(), '/', '\\');
            sim::AddFile(std::string("C:\\Hallimor\\Drivers\\") + rel, ReadFile(entry.path().string(), &ok));
        }
        return ok;
    }
    if (d.name == "device") {
        if (!Fields(d, 2)) {
            return false;
        }
        sim::AddDevice(d.fields[0], std::vector<std::string>(d.fields.begin() + 1, d.fields.end()));
        return true;
    }
    if (d.name == "configflags") { // a device's configuration flags, as the system keeps them
        if (!Fields(d, 2)) {
            return false;
        }
        sim::Device* device = sim::FindDevice(d.fields[0]);
        if (device == nullptr) {
            std::cerr << "line " << d.line << ": no device " << d.fields[0] << "\n";
            return false;
        }
        device->hasConfigFlags = true;
        device->configFlags = static_cast<DWORD>(std::stoul(d.fields[1], nullptr, 0));
        sim::SetRegDword("SYSTEM\\CurrentControlSet\\Enum\\" + device->instanceId, "ConfigFlags",
                         device->configFlags);
        return true;
    }
    if (d.name == "service") { // a demand-start kernel driver left by an earlier package
        if (!Fields(d, 1)) {
            return false;
        }
        for (const std::string& name : d.fields) {
            sim::AddService(name, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false, name,
                            "system32\\drivers\\" + name + ".sys");
        }
        return true;
    }
    if (d.name == "vss") { // the shadow-copy service, stopped, with its start type
        if (!Fields(d, 1)) {
            return false;
        }
        sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, static_cast<DWORD>(std::stoul(d.fields[0])), false,
                        "Volume Shadow Copy", "C:\\windows\\system32\\vssvc.exe");
        return true;
    }
    if (d.name == "oeminf") { // oemN.inf with the given content and its PNF
        if (!Fields(d, 2)) {
            return false;
        }
        std::string content = ReadFile(SourceFile(d.fields[1], folder, sample), &ok);
        std::string base = d.fields[0].substr(0, d.fields[0].rfind('.'));
        sim::AddFile(WindowsPath("inf\\" + d.fields[0]), content);
        sim::AddFile(WindowsPath("inf\\" + base + ".PNF"), "PNF");
        if (!ok) {
            std::cerr << "line " << d.line << ": cannot read " << d.fields[1] << "\n";
        }
        return ok;
    }
    if (d.name == "file" || d.name == "readonly") {
        if (!Fields(d, 1)) {
            return false;
        }
        sim::AddFile(WindowsPath(d.fields[0]), d.fields.size() > 1 ? d.fields[1] + "\r\n" : "",
                     d.name == "readonly" ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE);
        return true;
    }
    if (d.name == "regdword") {
        if (!Fields(d, 3)) {
            return false;
        }
        sim::SetRegDword(d.fields[0], d.fields[1], static_cast<DWORD>(std::stoul(d.fields[2], nullptr, 0)));
        return true;
    }
    if (d.name == "regsz") {
        if (!Fields(d, 3)) {
            return false;
        }
        sim::SetRegString(d.fields[0], d.fields[1], d.fields[2]);
        return true;
    }
    std::cerr << "line " << d.line << ": unknown directive " << d.name << "\n";
    return false;
}

std::vector<std::pair<std::string, unsigned>> SystemTexts() {
    std::vector<std::pair<std::string, unsigned>> texts;
    for (unsigned code = 0; code < 0x10000; ++code) {
        const char* text = sim::SystemErrorText(code);
        if (text != nullptr) {
            // Records are matched before their line feeds are escaped.
            std::string raw;
            for (const char* p = text; *p != '\0'; ++p) {
                if (*p != '\r') {
                    raw.push_back(*p);
                }
            }
            texts.emplace_back(raw, code);
        }
    }
    return texts;
}

// The files of the run's interest: vendor driver files, the support library
// and the system INF folder's OEM INFs and stored package INFs.
void DumpFiles(const std::string& package, std::vector<std::string>* lines) {
    std::string drivers = WindowsPath("system32\\drivers");
    for (const std::string& name : sim::ListFolder(drivers)) {
        if (compare::DumpedDriverFile(name)) {
            lines->push_back("file DRIVERS\\" + compare::Upper(name));
        }
    }
    if (sim::FileExists(WindowsPath("system32\\brommet.dll"))) {
        lines->push_back("file SYSTEM32\\BROMMET.DLL");
    }
    // Package INFs, by content.
    std::vector<std::pair<std::string, std::string>> packageInfs;
    if (sim::FileExists(package)) {
        for (const std::string& name : sim::ListFolder(package)) {
            std::string upper = compare::Upper(name);
            if (upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".INF") == 0) {
                packageInfs.emplace_back(sim::FileData(package + "\\" + name), compare::Upper(name));
            }
        }
    }
    std::string infFolder = WindowsPath("inf");
    std::vector<std::string> stored;
    for (const std::string& name : sim::ListFolder(infFolder)) {
        std::string data = sim::FileData(infFolder + "\\" + name);
        std::string upper = compare::Upper(name);
        bool isStored = false;
        for (const auto& p : packageInfs) {
            if (p.first == data) {
                lines->push_back("stored " + p.second);
                stored.push_back(upper.substr(0, upper.rfind('.')));
                isStored = true;
            }
        }
        if (!isStored && upper.compare(0, 3, "OEM") == 0) {
            lines->push_back("inf " + upper);
        }
    }
    // The PNF files that belong to stored copies are the store's business.
    for (const std::string& base : stored) {
        lines->erase(std::remove(lines->begin(), lines->end(), "inf " + base + ".PNF"), lines->end());
    }
}

void DumpRegistry(std::vector<std::string>* lines) {
    for (const auto& entry : sim::M().registry) {
        const sim::RegKey& key = entry.second;
        std::string upper = compare::Upper(key.path);
        if (compare::DumpedRegistryKey(upper)) {
            lines->push_back("key " + upper);
        }
        for (const sim::RegValue& v : key.values) {
            std::string name;
            if (compare::DumpedRegistryValue(upper, v.name, &name)) {
                lines->push_back("reg " + upper + "|" + name + "|" + compare::RegistryData(v.type, v.data));
            }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: hallimor_scenario SCENARIO SAMPLE_DRIVERS [--windows NAME] [--words WORD...]\n";
        return 2;
    }
    std::string scenarioPath = argv[1];
    std::string sample = argv[2];
    bool ok = true;
    std::string text = ReadFile(scenarioPath, &ok);
    if (!ok) {
        std::cerr << "cannot read " << scenarioPath << "\n";
        return 2;
    }
    std::string folder = std::filesystem::path(scenarioPath).parent_path().string();
    compare::Scenario scenario;
    std::string error;
    if (!compare::ParseScenario(text, folder.empty() ? "." : folder, &scenario, &error)) {
        std::cerr << scenarioPath << ": " << error << "\n";
        return 2;
    }
    for (int i = 3; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--windows" && i + 1 < argc) {
            scenario.windows = argv[++i];
        } else if (arg == "--words") {
            scenario.hasWords = true;
            scenario.words.assign(argv + i + 1, argv + argc);
            break;
        } else {
            std::cerr << "unknown argument " << arg << "\n";
            return 2;
        }
    }
    const compare::WindowsVersion* version = compare::FindWindowsVersion(scenario.windows);
    if (version == nullptr) {
        std::cerr << "unknown Windows version " << scenario.windows << "\n";
        return 2;
    }

    sim::Reset();
    sim::SetWindowsDirectory(kWindows);
    sim::SetExePath(kExe);
    sim::SetWindowsVersion(version->major, version->minor, version->build, version->csdVersion,
                           version->productType);
    for (const compare::Directive& d : scenario.directives) {
        if (!Apply(d, folder.empty() ? "." : folder, sample)) {
            return 2;
        }
    }
    int exitCode = sim::Run(scenario.words);

    std::vector<std::string> state;
    std::string osFolder = version->major == 6 && version->minor == 1   ? "WIN7"
                           : version->major == 6 && version->minor == 0 ? "VISTA"
                           : version->major == 5                        ? "WNET"
                                                                        : "";
    std::string package = "C:\\Hallimor\\Drivers\\64bit" + (osFolder.empty() ? "" : "\\" + osFolder);
    DumpFiles(package, &state);
    DumpRegistry(&state);
    std::sort(state.begin(), state.end());

    std::printf("exit %d\n", exitCode);
    for (const std::string& r : compare::LogRecords(sim::LogText(), SystemTexts())) {
        std::printf("record %s\n", r.c_str());
    }
    for (const std::string& line : state) {
        std::printf("%s\n", line.c_str());
    }
    return 0;
}
