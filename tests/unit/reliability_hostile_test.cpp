// Hostile packages, INFs, devices and registry values, each run through the
// whole program with its operation words. Every test spells out the safe
// outcome; every run must also end as the program's failure handling says
// (exit code, Finish record, every handle released) and leave every item that
// is not the vendor's as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "machine.h"
#include "reliability_support.h"

namespace {

using reliability::Capture;
using reliability::ForeignChanges;
using reliability::InfText;
using reliability::MachineImage;
using reliability::VendorScope;

const std::vector<std::string> kAllWords = {"Install",       "Uninstall",     "Clean",
                                            "Preinstall",    "Preinstall_f",  "Preinstall_cfg",
                                            "Preinstall_cu", "Preinstall_BYT"};

int Count(const std::vector<std::string>& messages, const std::string& message) {
    int n = 0;
    for (const std::string& m : messages) {
        if (m == message) {
            ++n;
        }
    }
    return n;
}

bool HasPrefix(const std::vector<std::string>& messages, const std::string& prefix) {
    for (const std::string& m : messages) {
        if (m.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

// Runs one word on a machine that build() lays out and checks what every
// run must keep to. Returns the log's messages for the test's own checks.
class ReliabilityHostile : public ::testing::Test {
  protected:
    std::vector<std::string> RunOn(const std::function<VendorScope()>& build, const std::string& word,
                                   int expectedExit = 0) {
        VendorScope scope = build();
        MachineImage before = Capture();
        lastBefore_ = before;
        int code = sim::Run({word});
        ++runs_;
        std::vector<std::string> messages = sim::LogMessages();
        EXPECT_EQ(expectedExit, code) << word;
        if (expectedExit == 0) {
            EXPECT_TRUE(!messages.empty() && messages.back() == reliability::kFinishRecord) << word;
        }
        EXPECT_EQ(0, sim::OpenHandleCount()) << word;
        for (const std::string& change : ForeignChanges(before, Capture(), scope)) {
            ADD_FAILURE() << word << ": " << change;
            ++foreignChanges_;
        }
        return messages;
    }

    void Report(const char* name, int inputs) {
        std::printf("hostile %s: %d inputs, %d runs, %d foreign items changed\n", name, inputs, runs_,
                    foreignChanges_);
    }

    int runs_ = 0;
    int foreignChanges_ = 0;
    MachineImage lastBefore_;
};

// A machine with the given Windows folder (its system folders included).
void UseWindowsFolder(const std::string& folder) {
    sim::SetWindowsDirectory(folder);
    sim::AddDirectory(folder + "\\system32\\drivers");
    sim::AddDirectory(folder + "\\inf");
    sim::AddDirectory(folder + "\\Temp");
}

// A package in the Windows 7 folder, with the scope that goes with it.
void AddPackage(VendorScope* scope, const std::vector<std::string>& sysNames,
                const std::vector<std::pair<std::string, std::string>>& infs) {
    for (const std::string& name : sysNames) {
        sim::AddPackageFile("WIN7", name, "driver " + name);
        scope->packageSysNames.insert(reliability::Upper(name));
    }
    for (const auto& inf : infs) {
        reliability::AddSignedPackageInf("WIN7", inf.first, inf.second);
        scope->packageInfTexts.push_back(inf.second);
    }
}

// ---------------------------------------------------------------- names

// Names, folders, IDs and INF fields full of printf conversions. Safe
// outcome: every word runs to its end and each text reaches the log exactly
// as it stands, never read as a format (a %n would write through a stray
// pointer, a %s read one).
TEST_F(ReliabilityHostile, FormatCharactersInEveryNameReachTheLogLiterally) {
    const std::string nasty = "%s%n%x%p%%";
    auto build = [&]() {
        sim::Reset();
        UseWindowsFolder("C:\\Win" + nasty);
        sim::SetExePath("C:\\Setup" + nasty + "\\Hallimor_x64.exe");
        VendorScope scope = reliability::DefaultScope();
        AddPackage(&scope, {nasty + ".sys", "gorvel.sys"},
                   {{nasty + ".inf", InfText("KWE " + nasty, {"USB\\VID_3E1F&PID_A101" + nasty})},
                    {"gorvel.inf", InfText("KWE Corporation", {"USB\\VID_3E1F&PID_C301"})}});
        sim::AddFile(sim::InfFolder() + "oem" + nasty + ".inf",
                     InfText("Other " + nasty, {"USB\\VID_1234&PID_" + nasty}));
        sim::AddDevice("USB\\VID_3E1F&PID_A101\\" + nasty, {"USB\\VID_3E1F&PID_A101" + nasty});
        sim::AddDevice("USB\\VID_3E1F&PID_C301\\" + nasty, {"USB\\VID_3E1F&PID_C301", nasty});
        sim::AddDevice("USB\\VID_1234&PID_0001\\" + nasty, {"USB\\VID_1234&PID_0001" + nasty});
        sim::ClearJournal();
        return scope;
    };
    for (const std::string& word : kAllWords) {
        std::vector<std::string> log = RunOn(build, word);
        if (word != "Clean") {
            // The scan lists the name as it is, and the foreign OEM INF's ID
            // is logged whole.
            EXPECT_EQ(1, Count(log, "1." + nasty + ".sys\n")) << word;
            EXPECT_EQ(1, Count(log, "1." + nasty + ".inf\n")) << word;
        } else {
            EXPECT_TRUE(sim::FileExists(sim::InfFolder() + "oem" + nasty + ".inf"));
        }
    }
    // Install binds the lower-cased ID with its conversions untouched (the
    // INF syntax itself reads "%%" as one "%").
    std::vector<std::string> install = RunOn(build, "Install");
    EXPECT_EQ(1, Count(install, "Updating usb\\vid_3e1f&pid_a101%s%n%x%p%\n"));
    // Uninstall removes the vendor's devices named by the table and names the
    // matching ID whole.
    std::vector<std::string> uninstall = RunOn(build, "Uninstall");
    EXPECT_EQ(1, Count(uninstall, "Found! [USB\\VID_3E1F&PID_A101" + nasty + "]\n"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\" + nasty));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_1234&PID_0001\\" + nasty));
    Report("FormatCharactersInEveryNameReachTheLogLiterally", 9);
}

// The longest names a list holds (73 characters), in full lists of 50 each,
// with the filter driver and its INF last (index 49). Safe outcome: every
// word reads every entry whole; Install stages all 50 files and binds 49
// INFs, then stores the filter driver's INF last.
TEST_F(ReliabilityHostile, FullListsOfLongestNamesThroughEveryWord) {
    auto name73 = [](int i, const char* extension) {
        std::string stem = "A" + std::string(i < 10 ? "0" : "") + std::to_string(i);
        return stem + std::string(73 - 4 - stem.size(), 'x') + extension;
    };
    auto build = [&]() {
        sim::Reset();
        VendorScope scope = reliability::DefaultScope();
        std::vector<std::string> sys;
        std::vector<std::pair<std::string, std::string>> infs;
        for (int i = 0; i < 49; ++i) {
            sys.push_back(name73(i, ".sys"));
            infs.push_back({name73(i, ".inf"),
                            InfText("KWE Corporation", {"USB\\VID_3E1F&PID_A1" + std::to_string(10 + i)})});
        }
        sys.push_back("gorvel.sys");
        infs.push_back(
            {"Z" + std::string(68, 'g') + ".inf", InfText("KWE Corporation", {"USB\\VID_3E1F&PID_C301"})});
        AddPackage(&scope, sys, infs);
        sim::AddDevice("USB\\VID_3E1F&PID_C301\\1", {"USB\\VID_3E1F&PID_C301"});
        sim::ClearJournal();
        return scope;
    };
    for (const std::string& word : kAllWords) {
        RunOn(build, word);
    }
    std::vector<std::string> log = RunOn(build, "Install");
    EXPECT_EQ(1, Count(log, "50." + ("Z" + std::string(68, 'g') + ".inf") + "\n"));
    EXPECT_TRUE(sim::FileExists(sim::SystemDriversFolder() + name73(48, ".sys")));
    EXPECT_EQ(1, Count(log, "Found KWE Mass Storage Device Driver!\n"));
    EXPECT_EQ(50, Count(log, "SUCCESS: preinstalled driver.\n"));
    int updates = 0;
    for (const std::string& m : log) {
        updates += m.compare(0, 9, "Updating ") == 0 ? 1 : 0;
    }
    EXPECT_EQ(49, updates);
    EXPECT_EQ(0, Count(log, "Updating usb\\vid_3e1f&pid_c301\n"));
    Report("FullListsOfLongestNamesThroughEveryWord", 100);
}

// ---------------------------------------------------------------- paths

// A Windows folder of 230 characters puts the drivers folder at 248: a
// driver file of 11 characters makes a path of 259, one of 12 a path of 260.
// Safe outcome: the 259-character path is deleted and staged; the 260-
// character one is refused before anything is touched, and a file that
// stands at its first 259 characters (what a cut path would name) is never
// deleted or overwritten.
TEST_F(ReliabilityHostile, PathsOf259CharactersAreUsedAndOf260AreRefusedNotCut) {
    const std::string windows = "C:\\" + std::string(227, 'w');
    ASSERT_EQ(230u, windows.size());
    const std::string drivers = windows + "\\system32\\drivers\\";
    ASSERT_EQ(248u, drivers.size());
    auto build = [&]() {
        sim::Reset();
        UseWindowsFolder(windows);
        VendorScope scope = reliability::DefaultScope();
        AddPackage(&scope, {"abcdefg.sys", "abcdefgh.sys"},
                   {{"a.inf", InfText("KWE Corporation", {"USB\\VID_3E1F&PID_A101"})}});
        sim::AddFile(drivers + "abcdefg.sys", "old 259");
        sim::AddFile(drivers + "abcdefgh.sys", "old 260");
        sim::AddFile(drivers + "abcdefgh.sy", "decoy at the cut path");
        sim::ClearJournal();
        return scope;
    };
    std::vector<std::string> log = RunOn(build, "Install");
    EXPECT_EQ(259u, (drivers + "abcdefg.sys").size());
    EXPECT_EQ("driver abcdefg.sys", sim::FileData(drivers + "abcdefg.sys"));
    EXPECT_EQ("old 260", sim::FileData(drivers + "abcdefgh.sys"));
    EXPECT_EQ("decoy at the cut path", sim::FileData(drivers + "abcdefgh.sy"));
    EXPECT_EQ(1, Count(log, "Copy sys file fail\n"));
    EXPECT_EQ(0, Count(log, "SUCCESS: preinstalled driver.\n"));

    // Clean with the drivers folder at 247: "ZEFODVBH.sys" is 259, and
    // "KWEusbnet.sys" 260.
    const std::string windows229 = windows.substr(0, 229);
    const std::string drivers247 = windows229 + "\\system32\\drivers\\";
    auto buildClean = [&]() {
        sim::Reset();
        UseWindowsFolder(windows229);
        VendorScope scope = reliability::DefaultScope();
        sim::AddFile(drivers247 + "ZEFODVBH.sys", "vendor 259");
        sim::AddFile(drivers247 + "KWEusbnet.sys", "vendor 260");
        sim::AddFile(drivers247 + "KWEusbnet.sy", "decoy at the cut path");
        sim::ClearJournal();
        return scope;
    };
    RunOn(buildClean, "Clean");
    EXPECT_FALSE(sim::FileExists(drivers247 + "ZEFODVBH.sys"));
    EXPECT_TRUE(sim::FileExists(drivers247 + "KWEusbnet.sys"));
    EXPECT_EQ("decoy at the cut path", sim::FileData(drivers247 + "KWEusbnet.sy"));
    Report("PathsOf259CharactersAreUsedAndOf260AreRefusedNotCut", 6);
}

// ---------------------------------------------------------------- INF fields

// Hardware IDs, models-section names and providers of 259, 260 and 5000
// characters. Safe outcome: a 259-character field is read whole; a longer
// one is unreadable: the model line is skipped, the INF's first ID is empty
// and never matches (not even an OEM INF with the same overlong ID), and an
// overlong provider keeps its INF. Nothing is read or written past the
// 260-byte field buffers. (A section header holds at most 255 characters, so
// a models-section name of 259 or more names a section that cannot exist.)
TEST_F(ReliabilityHostile, InfFieldsOf259And260And5000Characters) {
    auto id = [](size_t length) {
        std::string prefix = "USB\\VID_3E1F&PID_A101&";
        return prefix + std::string(length - prefix.size(), 'Q');
    };
    const std::string id259 = id(259), id260 = id(260), id5000 = id(5000);
    const std::string models255(255, 'L'), models259(259, 'M'), models260(260, 'N'), models5000(5000, 'O');
    auto manufacturer = [](const std::string& models, const std::string& section) {
        return "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Manufacturer]\r\nM=" + models + "\r\n" + section;
    };
    auto build = [&]() {
        sim::Reset();
        VendorScope scope = reliability::DefaultScope();
        AddPackage(
            &scope, {"kwe.sys"},
            {{"a.inf", InfText("KWE Corporation", {id259, id260, id5000})},
             {"b.inf", InfText("KWE Corporation", {id260})},
             {"c.inf", manufacturer(models255, "[" + models255 + "]\r\nD=I,USB\\VID_3E1F&PID_A102\r\n")},
             {"d.inf", manufacturer(models259, "")},
             {"e.inf", manufacturer(models260, "")},
             {"f.inf", manufacturer(models5000, "")}});
        std::string inf = sim::InfFolder();
        // Same overlong first ID as b.inf: unreadable on both sides.
        sim::AddFile(inf + "oem1.inf", InfText("Other Corp", {id260}));
        sim::AddFile(inf + "oem2.inf", InfText("Other Corp", {id5000}));
        sim::AddFile(inf + "oem3.inf", InfText("KWE Corporation" + std::string(244, ' ') + "x", {"X\\Y"}));
        sim::AddFile(inf + "oem4.inf", InfText(std::string(260, 'P'), {"X\\Y"}));
        sim::AddFile(inf + "oem5.inf", InfText(std::string(5000, 'P'), {"X\\Y"}));
        // Same first ID (259 characters) as a.inf: superseded.
        sim::AddFile(inf + "oem6.inf", InfText("KWE Corporation", {id259}));
        scope.vendorOemFiles.insert(reliability::Upper(inf + "oem6.inf"));
        sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {id259});
        sim::ClearJournal();
        return scope;
    };
    std::vector<std::string> install = RunOn(build, "Install");
    std::string lower259 = id259;
    for (char& c : lower259) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(1, Count(install, "Updating " + lower259 + "\n"));
    EXPECT_EQ(3, Count(install, "Error: Skipping invalid description\n"));
    EXPECT_EQ(1, Count(install, "Updating usb\\vid_3e1f&pid_a102\n"));
    EXPECT_EQ(1,
              Count(install, "Error: d.inf does not contain any device descriptions [" + models259 + "]\n"));
    EXPECT_EQ(2, Count(install, "Error: skipping invalid description [Manufacturer]\n"));
    EXPECT_EQ(1, Count(install, "Remove: " + sim::InfFolder() + "oem6.inf success!\n"));
    for (const char* kept : {"oem1.inf", "oem2.inf", "oem3.inf", "oem4.inf", "oem5.inf"}) {
        EXPECT_TRUE(sim::FileExists(sim::InfFolder() + kept)) << kept;
    }

    std::vector<std::string> clean = RunOn(build, "Clean");
    EXPECT_EQ(3, Count(clean, "Error: skipping invalid description [Version]\n"));
    EXPECT_FALSE(sim::FileExists(sim::InfFolder() + "oem6.inf"));
    for (const char* kept : {"oem1.inf", "oem2.inf", "oem3.inf", "oem4.inf", "oem5.inf"}) {
        EXPECT_TRUE(sim::FileExists(sim::InfFolder() + kept)) << kept;
    }
    for (const std::string& word : kAllWords) {
        RunOn(build, word);
    }
    Report("InfFieldsOf259And260And5000Characters", 14);
}

// INFs that are not INFs or lack what the walks read. Safe outcome: each is
// reported by the step that meets it and skipped; none of the foreign ones
// is ever deleted, and a folder whose name matches "oem*.inf" stays.
TEST_F(ReliabilityHostile, InfsWithMissingOrEmptySectionsAreSkipped) {
    const std::string version = "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=Other\r\n";
    const std::vector<std::pair<std::string, std::string>> broken = {
        {"empty.inf", ""},
        {"garbage.inf", std::string("\x00\xff\x01[[[]]]=\r\n\x7f", 14)},
        {"noversion.inf", "[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=I,USB\\VID_3E1F&PID_A101\r\n"},
        {"nomanufacturer.inf", version + "[Models]\r\nD=I,USB\\VID_3E1F&PID_A101\r\n"},
        {"emptymanufacturer.inf", version + "[Manufacturer]\r\n[Models]\r\nD=I,USB\\VID_3E1F&PID_A101\r\n"},
        {"nomodelsname.inf", version + "[Manufacturer]\r\nM\r\n"},
        {"emptymodelsname.inf", version + "[Manufacturer]\r\nM=\r\n[]\r\nD=I,USB\\VID_3E1F&PID_A101\r\n"},
        {"missingmodels.inf", version + "[Manufacturer]\r\nM=Models.NTamd64\r\n[Models]\r\nD=I,X\r\n"},
        {"emptymodels.inf", version + "[Manufacturer]\r\nM=Models\r\n[Models]\r\n"},
        {"noid.inf", version + "[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=I\r\nE\r\n"},
        {"emptyid.inf", version + "[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=I,\r\n"},
        {"noprovider.inf",
         "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=I,\r\n"},
        {"emptyprovider.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=\r\n"},
    };
    auto build = [&]() {
        sim::Reset();
        VendorScope scope = reliability::DefaultScope();
        AddPackage(&scope, {"kwe.sys"}, broken);
        // The driver store holds the same broken INFs, naming another
        // maker's device: whichever way a walk reads them, they are not the
        // package's.
        int n = 10;
        for (const auto& inf : broken) {
            std::string text = inf.second;
            for (size_t at = text.find("VID_3E1F"); at != std::string::npos; at = text.find("VID_3E1F")) {
                text.replace(at, 8, "VID_1234");
            }
            sim::AddFile(sim::InfFolder() + "oem" + std::to_string(n++) + ".inf", text);
        }
        sim::AddDirectory(sim::InfFolder() + "oem99.inf");
        sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\VID_3E1F&PID_A101"});
        sim::ClearJournal();
        return scope;
    };
    for (const std::string& word : kAllWords) {
        RunOn(build, word);
        for (size_t i = 0; i < broken.size(); ++i) {
            EXPECT_TRUE(sim::FileExists(sim::InfFolder() + "oem" + std::to_string(10 + i) + ".inf"))
                << word << " " << broken[i].first;
        }
        EXPECT_TRUE(sim::FileExists(sim::InfFolder() + "oem99.inf")) << word;
    }
    // Install reports every INF whose walk cannot start; the only update
    // asked for is of the device named in the section whose name is empty,
    // which the empty models-section name names exactly. 64-bit Windows
    // binds nothing through it: that Manufacturer line names no NTamd64
    // decoration.
    std::vector<std::string> install = RunOn(build, "Install");
    EXPECT_EQ(0, Count(install, "Updated success!\n"));
    EXPECT_EQ(1, Count(install, "Updating usb\\vid_3e1f&pid_a101\n"));
    EXPECT_TRUE(HasPrefix(install, "UpdateDriver FAILURE: "));
    EXPECT_TRUE(HasPrefix(install, "Error:does not contain any device descriptions\n"));
    // A line without "=" has its first value as field 1.
    EXPECT_EQ(1, Count(install, "Error: nomodelsname.inf does not contain any device descriptions [M]\n"));
    EXPECT_EQ(2, Count(install, "Error: Skipping invalid description\n"));
    EXPECT_TRUE(HasPrefix(install, "Error:Open "));
    EXPECT_TRUE(HasPrefix(
        install, "Error: missingmodels.inf does not contain any device descriptions [Models.NTamd64]"));
    Report("InfsWithMissingOrEmptySectionsAreSkipped", static_cast<int>(broken.size()) * 2 + 1);
}

// ---------------------------------------------------------------- devices

// Hardware-ID lists of 4 KiB, lists without their terminators, a list that
// ends exactly at the filter's 256-byte buffer and an empty list. Safe
// outcome: each list is read within its own bytes; a vendor device whose
// matching ID stands at the very end of a 4 KiB list or of an unterminated
// list is found and removed, no foreign device is touched, and the filter
// skips the lists that do not fit its buffer.
TEST_F(ReliabilityHostile, HardwareIdListsOf4KiBAndUnterminatedLists) {
    auto fourKiB = [](const std::string& last) {
        std::vector<std::string> ids;
        size_t bytes = 1;
        for (int i = 0; bytes + 40 < 4096 - last.size(); ++i) {
            ids.push_back("USB\\VID_9999&PID_" + std::to_string(1000 + i) + "&REV_0001&MI_00");
            bytes += ids.back().size() + 1;
        }
        ids.push_back(last);
        return ids;
    };
    auto build = [&]() {
        sim::Reset();
        VendorScope scope = reliability::DefaultScope();
        AddPackage(&scope, {"gorvel.sys"},
                   {{"gorvel.inf", InfText("KWE Corporation", {"USB\\VID_3E1F&PID_C301"})}});
        sim::AddDevice("USB\\VID_3E1F&PID_A101\\BIG", fourKiB("USB\\VID_3E1F&PID_A101"));
        sim::AddDevice("USB\\VID_9999&PID_0001\\BIG", fourKiB("USB\\VID_9999&PID_0001"));
        sim::Device& open = sim::AddDevice("USB\\VID_3E1F&PID_B201\\OPEN", {"x"});
        // No terminator after the last string, nor the list's own.
        open.hardwareIds = std::string("USB\\VID_9999&PID_0002\0USB\\VID_3E1F&PID_B201", 43);
        sim::Device& half = sim::AddDevice("USB\\VID_9999&PID_0003\\HALF", {"x"});
        half.hardwareIds =
            std::string("USB\\VID_9999&PID_0003\0USB\\VID_3E1F", 34); // a vendor prefix cut short
        sim::Device& full = sim::AddDevice("USB\\VID_3E1F&PID_C301\\FULL", {"x"});
        full.hardwareIds = "USB\\VID_3E1F&PID_C301" + std::string(256 - 21, 'F'); // 256 bytes, no terminator
        sim::Device& none = sim::AddDevice("USB\\VID_9999&PID_0004\\EMPTY", {"x"});
        none.hardwareIds = "";
        sim::ClearJournal();
        return scope;
    };
    RunOn(build, "Uninstall");
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\BIG"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_B201\\OPEN"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_C301\\FULL"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_9999&PID_0003\\HALF"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_9999&PID_0001\\BIG"));

    // The 12-character vendor prefix of Clean matches the cut vendor ID of
    // HALF (it holds the whole prefix), the others as above.
    RunOn(build, "Clean");
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_9999&PID_0003\\HALF"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_9999&PID_0001\\BIG"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_9999&PID_0004\\EMPTY"));

    // The filter reads at most 256 bytes: the full, unterminated list of a
    // storage device fits exactly and is read without running past it.
    std::vector<std::string> install = RunOn(build, "Install");
    EXPECT_EQ(7, Count(install, "Buffer : USB\\VID_3E1F&PID_C301" + std::string(256 - 21, 'F') + "\n"));
    sim::Device* storage = sim::FindDevice("USB\\VID_3E1F&PID_C301\\FULL");
    ASSERT_NE(nullptr, storage);
    EXPECT_EQ(std::string("gorvel\0", 7), storage->lowerFilters.substr(0, 7));
    for (const std::string& word : kAllWords) {
        RunOn(build, word);
    }
    Report("HardwareIdListsOf4KiBAndUnterminatedLists", 6);
}

// Storage devices whose instance IDs are 200 characters (the platform's
// longest), 207 (the longest whose Device Parameters key path fits 255
// characters), 208, 255 and 300. Safe outcome: the filter flag goes to the
// device's own key for the IDs that fit, and to no key at all for the
// others: never to a key named by a cut instance ID.
TEST_F(ReliabilityHostile, InstanceIdsOf200CharactersAndLonger) {
    auto instance = [](size_t length) {
        std::string prefix = "USB\\VID_3E1F&PID_C301\\";
        return prefix + std::string(length - prefix.size(), static_cast<char>('A' + length % 26));
    };
    const std::vector<size_t> lengths = {200, 207, 208, 255, 300};
    auto build = [&]() {
        sim::Reset();
        VendorScope scope = reliability::DefaultScope();
        AddPackage(&scope, {"gorvel.sys"},
                   {{"gorvel.inf", InfText("KWE Corporation", {"USB\\VID_3E1F&PID_C301"})}});
        for (size_t length : lengths) {
            sim::AddDevice(instance(length), {"USB\\VID_3E1F&PID_C301&REV_0100", "USB\\VID_3E1F&PID_C301"});
        }
        sim::ClearJournal();
        return scope;
    };
    // Registry keys below Enum that the run created.
    auto newEnumKeys = [&]() {
        std::vector<std::string> keys;
        std::string enumKey = reliability::Upper(reliability::kEnumKey);
        for (const std::string& key : Capture().keys) {
            if (key.compare(0, enumKey.size(), enumKey) == 0 && lastBefore_.keys.count(key) == 0) {
                keys.push_back(key);
            }
        }
        return keys;
    };
    for (const char* word : {"Install", "Preinstall", "Preinstall_cu"}) {
        RunOn(build, word);
        std::vector<std::string> expected;
        for (size_t length : {size_t(200), size_t(207)}) {
            expected.push_back(reliability::Upper(std::string(reliability::kEnumKey) + instance(length) +
                                                  "\\Device Parameters"));
            DWORD flag = 0;
            EXPECT_TRUE(sim::GetRegDword(std::string(reliability::kEnumKey) + instance(length) +
                                             "\\Device Parameters",
                                         "gorvel", &flag))
                << word << " " << length;
            EXPECT_EQ(2u, flag);
        }
        std::sort(expected.begin(), expected.end());
        std::vector<std::string> created = newEnumKeys();
        std::sort(created.begin(), created.end());
        EXPECT_EQ(expected, created) << word;
        // The lower filter goes on every device whose instance ID could be
        // read (up to 255 characters); the one of 300 is skipped whole.
        for (size_t length : lengths) {
            sim::Device* device = sim::FindDevice(instance(length));
            ASSERT_NE(nullptr, device) << length;
            EXPECT_EQ(length < 256, device->hasLowerFilters) << word << " " << length;
        }
    }
    // Clean writes flag 0 on the keys that fit, then removes every device
    // with its whole Enum key: no key is left, at a cut path least of all.
    RunOn(build, "Clean");
    EXPECT_TRUE(newEnumKeys().empty());
    for (size_t length : lengths) {
        EXPECT_EQ(nullptr, sim::FindDevice(instance(length))) << length;
    }
    Report("InstanceIdsOf200CharactersAndLonger", static_cast<int>(lengths.size()));
}

// ---------------------------------------------------------------- registry

// Without the extended version record the product type comes from the
// registry: values of 79, 80, 81 and 4096 bytes, without terminators, and of
// other types. Safe outcome: only a text that fits the 80-byte buffer with
// its terminator is compared; every other value fails the classification's
// fallback ("Get OS version failed!\n") and the run goes on with the OS code
// and folder the version table gave.
TEST_F(ReliabilityHostile, ProductTypeOf80BytesAndMoreOrOfAnotherType) {
    struct Value {
        DWORD type;
        std::string data;
        bool accepted;
    };
    const std::vector<Value> values = {
        {REG_SZ, std::string(79, 'W'), true},
        {REG_SZ, "WinNT" + std::string(74, ' ') + std::string(1, '\0'), true},
        {REG_SZ, std::string(80, 'W'), false},
        {REG_SZ, std::string(81, 'W'), false},
        {REG_SZ, std::string(4096, 'L'), false},
        {REG_DWORD, std::string("\x01\x00\x00\x00", 4), true},
        {REG_BINARY, std::string(80, '\xff'), false},
        {REG_MULTI_SZ, std::string("LanmanNT\0ServerNT\0\0", 19), true},
    };
    for (const Value& value : values) {
        auto build = [&]() {
            sim::Reset();
            sim::M().version.extendedRecordAvailable = false;
            sim::SetRegValue("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType", value.type,
                             value.data);
            VendorScope scope = reliability::DefaultScope();
            AddPackage(&scope, {"kwe.sys"},
                       {{"a.inf", InfText("KWE Corporation", {"USB\\VID_3E1F&PID_A101"})}});
            sim::ClearJournal();
            return scope;
        };
        std::vector<std::string> log = RunOn(build, "Install");
        EXPECT_EQ(value.accepted ? 0 : 1, Count(log, "Get OS version failed!\n")) << value.data.size();
        EXPECT_EQ(1, Count(log, "Windows 7 ")) << value.data.size();
        EXPECT_EQ(1, Count(log, "1.kwe.sys\n")) << value.data.size();
    }
    Report("ProductTypeOf80BytesAndMoreOrOfAnotherType", static_cast<int>(values.size()));
}

} // namespace
