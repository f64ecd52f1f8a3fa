#include "scenario.h"

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

namespace compare {

namespace {

const WindowsVersion kVersions[] = {
    {"win2k", 5, 0, 2195, "Service Pack 4", 1},   {"winxp64", 5, 2, 3790, "Service Pack 2", 1},
    {"win2003", 5, 2, 3790, "Service Pack 2", 3}, {"vista", 6, 0, 6002, "Service Pack 2", 1},
    {"win7", 6, 1, 7601, "Service Pack 1", 1},    {"win10", 6, 2, 9200, "", 1},
};

// Services whose keys the dump shows: the vendor's, the storage filter's and
// the shadow-copy service.
const char* const kServices[] = {
    "KWEUSBNET",   "KWEUSBSER6K", "KWEUSBNMEA", "KWEUSBMDM6K",  "KWEUSBNMEAEXT", "KWEUSBDVBH",
    "KWEUSBVOICE", "USBKWECCID",  "ZEFOUSBNET", "ZEFOUSBMDM6K", "ZEFOUSBSER6K",  "ZEFOUSBNMEA",
    "ZEFODVBH",    "KWETDMODEM",  "KWETDNMEA",  "KWETDDIAG",    "KWETDSOUND",    "KWEGSMDATACARD",
    "KWEGSMMODEM", "KWEGSMSOUND", "GORVEL",     "VSS",
};

const char* const kServiceValues[] = {"Type",
                                      "Start",
                                      "ErrorControl",
                                      "DisplayName",
                                      "ImagePath",
                                      "gorvel",
                                      "QCDriverPowerManagementEnabled",
                                      "QCDriverSelectiveSuspendIdleTime"};
const char* const kDeviceValues[] = {"HardwareID", "LowerFilters", "FriendlyName", "ConfigFlags"};

const char kServicesKey[] = "SYSTEM\\CURRENTCONTROLSET\\SERVICES\\";
const char kUsbEnumKey[] = "SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\";

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::string(prefix).size(), prefix) == 0;
}

std::vector<std::string> Split(const std::string& s, char separator) {
    std::vector<std::string> out;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, separator)) {
        out.push_back(part);
    }
    if (!s.empty() && s.back() == separator) {
        out.push_back("");
    }
    return out;
}

bool IsServiceKey(const std::string& upperKey) {
    if (!StartsWith(upperKey, kServicesKey)) {
        return false;
    }
    std::string name = upperKey.substr(sizeof(kServicesKey) - 1);
    for (const char* s : kServices) {
        if (name == s) {
            return true;
        }
    }
    return false;
}

// "SYSTEM\...\ENUM\USB\<device>\<instance>": the number of path parts below
// the enumerator's key, or -1 outside it.
int UsbEnumDepth(const std::string& upperKey) {
    if (!StartsWith(upperKey, kUsbEnumKey)) {
        return -1;
    }
    std::string rest = upperKey.substr(sizeof(kUsbEnumKey) - 1);
    return static_cast<int>(Split(rest, '\\').size());
}

bool OneOf(const std::string& name, const char* const* list, size_t count, std::string* canonical) {
    for (size_t i = 0; i < count; ++i) {
        if (Upper(name) == Upper(list[i])) {
            *canonical = list[i];
            return true;
        }
    }
    return false;
}

} // namespace

std::string Upper(const std::string& s) {
    std::string out = s;
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool ParseScenario(const std::string& text, const std::string& folder, Scenario* out, std::string* error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::string> parts = Split(line, '|');
        Directive d;
        d.name = parts[0];
        d.fields.assign(parts.begin() + 1, parts.end());
        d.line = number;
        if (d.name == "include") {
            if (d.fields.size() != 1) {
                *error = "line " + std::to_string(number) + ": include|FILE";
                return false;
            }
            std::ifstream file(folder + "/" + d.fields[0], std::ios::binary);
            if (!file) {
                *error = "line " + std::to_string(number) + ": cannot read " + d.fields[0];
                return false;
            }
            std::stringstream content;
            content << file.rdbuf();
            if (!ParseScenario(content.str(), folder, out, error)) {
                *error = d.fields[0] + ": " + *error;
                return false;
            }
            continue;
        }
        if (d.name == "windows") {
            if (d.fields.size() != 1 || FindWindowsVersion(d.fields[0]) == nullptr) {
                *error = "line " + std::to_string(number) + ": unknown Windows version";
                return false;
            }
            out->windows = d.fields[0];
            continue;
        }
        if (d.name == "words") {
            out->hasWords = true;
            out->words.clear();
            for (const std::string& w : d.fields) {
                if (!w.empty()) {
                    out->words.push_back(w);
                }
            }
            continue;
        }
        out->directives.push_back(d);
    }
    return true;
}

const WindowsVersion* FindWindowsVersion(const std::string& name) {
    for (const WindowsVersion& v : kVersions) {
        if (name == v.name) {
            return &v;
        }
    }
    return nullptr;
}

std::vector<std::string> LogRecords(const std::string& logText,
                                    const std::vector<std::pair<std::string, unsigned>>& textToCode) {
    std::string text;
    for (char c : logText) {
        if (c != '\r') {
            text.push_back(c);
        }
    }
    static const std::regex stamp(R"(\(\d+/\d+/\d+ \d+:\d+:\d+\) )");
    std::vector<std::pair<size_t, size_t>> marks;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), stamp); it != std::sregex_iterator();
         ++it) {
        marks.emplace_back(static_cast<size_t>(it->position()), static_cast<size_t>(it->length()));
    }
    std::vector<std::string> records;
    for (size_t i = 0; i < marks.size(); ++i) {
        size_t start = marks[i].first + marks[i].second;
        size_t stop = i + 1 < marks.size() ? marks[i + 1].first : text.size();
        std::string message = text.substr(start, stop - start);
        static const char kFailure[] = " FAILURE: ";
        size_t at = message.find(kFailure);
        if (at != std::string::npos) {
            std::string systemText = message.substr(at + sizeof(kFailure) - 1);
            for (const auto& entry : textToCode) {
                if (entry.first == systemText) {
                    message = message.substr(0, at + sizeof(kFailure) - 1) + "[error " +
                              std::to_string(entry.second) + "]";
                    break;
                }
            }
        }
        std::string escaped;
        for (char c : message) {
            if (c == '\n') {
                escaped += "\\n";
            } else {
                escaped.push_back(c);
            }
        }
        records.push_back(escaped);
    }
    return records;
}

bool DumpedRegistryKey(const std::string& upperKey) {
    if (upperKey == "SOFTWARE\\KWEUSBDRIVERFLAG" || upperKey == "SOFTWARE\\WOW6432NODE\\KWEUSBDRIVERFLAG" ||
        upperKey == "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\KWE USB DRIVER") {
        return true;
    }
    return IsServiceKey(upperKey) || UsbEnumDepth(upperKey) == 2;
}

bool DumpedRegistryValue(const std::string& upperKey, const std::string& valueName,
                         std::string* canonicalName) {
    if (upperKey == "SOFTWARE\\KWEUSBDRIVERFLAG" || upperKey == "SOFTWARE\\WOW6432NODE\\KWEUSBDRIVERFLAG" ||
        upperKey == "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\KWE USB DRIVER") {
        *canonicalName = valueName;
        return true;
    }
    if (upperKey == std::string(kServicesKey) + "USBSTOR") {
        return OneOf(valueName, kServiceValues + 5, 1, canonicalName);
    }
    if (IsServiceKey(upperKey)) {
        return OneOf(valueName, kServiceValues, sizeof(kServiceValues) / sizeof(kServiceValues[0]),
                     canonicalName);
    }
    int depth = UsbEnumDepth(upperKey);
    if (depth == 2) {
        return OneOf(valueName, kDeviceValues, sizeof(kDeviceValues) / sizeof(kDeviceValues[0]),
                     canonicalName);
    }
    if (depth == 3 && upperKey.size() > 18 &&
        upperKey.compare(upperKey.size() - 18, 18, "\\DEVICE PARAMETERS") == 0) {
        return OneOf(valueName, kServiceValues + 5, 1, canonicalName);
    }
    return false;
}

std::string RegistryData(unsigned long type, const std::string& bytes) {
    char buffer[32];
    switch (type) {
    case 1: // REG_SZ
    case 2: // REG_EXPAND_SZ
        return std::string(type == 1 ? "REG_SZ " : "REG_EXPAND_SZ ") + bytes.substr(0, bytes.find('\0'));
    case 4: // REG_DWORD
        if (bytes.size() == 4) {
            unsigned long v = static_cast<unsigned char>(bytes[0]) |
                              static_cast<unsigned char>(bytes[1]) << 8 |
                              static_cast<unsigned char>(bytes[2]) << 16 |
                              static_cast<unsigned long>(static_cast<unsigned char>(bytes[3])) << 24;
            snprintf(buffer, sizeof(buffer), "REG_DWORD 0x%08lx", v);
            return buffer;
        }
        break;
    case 7: { // REG_MULTI_SZ
        std::string out = "REG_MULTI_SZ ";
        size_t pos = 0;
        bool first = true;
        while (pos < bytes.size()) {
            size_t end = bytes.find('\0', pos);
            std::string s = bytes.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            if (s.empty()) {
                break;
            }
            out += (first ? "" : ";") + s;
            first = false;
            if (end == std::string::npos) {
                break;
            }
            pos = end + 1;
        }
        return out;
    }
    default:
        break;
    }
    std::string out = "REG_" + std::to_string(type) + " ";
    for (unsigned char c : bytes) {
        snprintf(buffer, sizeof(buffer), "%02x", c);
        out += buffer;
    }
    return out;
}

bool DumpedDriverFile(const std::string& name) {
    std::string upper = Upper(name);
    return StartsWith(upper, "KWE") || StartsWith(upper, "ZEFO") || StartsWith(upper, "GORVEL");
}

} // namespace compare
