// The simulated INF files and driver store: the INF syntax, the line and
// field queries with their size protocol, OEM copies and their names, and
// driver updates.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "machine.h"
#include "run/run.h"

namespace {

const char* const kHeader = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
// A signed INF: its catalog lies beside it (see SetUp).
const char* const kSigned = "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile=t.cat\r\n";

class MachineInf : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        ResetRunState();
        sim::AddFile(PathOf("t.cat"), "catalog");
    }
    void TearDown() override {
        sim::Reset();
    }

    static std::string PathOf(const std::string& name) {
        return "C:\\Setup\\" + name;
    }

    static HINF Open(const std::string& text) {
        sim::AddFile(PathOf("t.inf"), text);
        return SetupOpenInfFileA(PathOf("t.inf").c_str(), NULL, INF_STYLE_WIN4, NULL);
    }

    static std::string Field(INFCONTEXT* context, DWORD index, bool* ok = nullptr) {
        char buffer[512];
        BOOL got = SetupGetStringFieldA(context, index, buffer, sizeof(buffer), NULL);
        if (ok != nullptr) {
            *ok = got != FALSE;
        }
        return got ? buffer : "<none>";
    }

    // The key (or "<none>") and fields of the first line of [Test] holding
    // the given text.
    static std::vector<std::string> ParseLine(const std::string& line, const std::string& extra = "") {
        HINF inf = Open(std::string(kHeader) + "[Test]\n" + line + "\n" + extra);
        EXPECT_NE(INVALID_HANDLE_VALUE, inf);
        std::vector<std::string> out;
        INFCONTEXT context;
        if (inf == INVALID_HANDLE_VALUE || !SetupFindFirstLineA(inf, "Test", NULL, &context)) {
            return out;
        }
        out.push_back(Field(&context, 0));
        for (DWORD i = 1;; ++i) {
            bool ok = false;
            std::string f = Field(&context, i, &ok);
            if (!ok) {
                EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
                break;
            }
            out.push_back(f);
        }
        SetupCloseInfFile(inf);
        return out;
    }

    typedef std::vector<std::string> V;
};

TEST_F(MachineInf, KeysAndFields) {
    EXPECT_EQ(V({"ab", "cd", "ef", "gh"}), ParseLine("ab=cd,ef,gh"));
    // A lone value is also the line's key; several values have none.
    EXPECT_EQ(V({"ab", "ab"}), ParseLine("ab"));
    EXPECT_EQ(V({"<none>", "ab", "cd"}), ParseLine("ab,cd"));
    EXPECT_EQ(V({"<none>", "ab", "cd=ef"}), ParseLine("ab,cd=ef"));
    EXPECT_EQ(V({"", "abcd", "ef"}), ParseLine("=abcd,ef"));
    EXPECT_EQ(V({"a b", "c", "d"}), ParseLine("  a b = c , d  \t"));
    EXPECT_EQ(V({"a", "b", "", "c", ""}), ParseLine("a=b,,c,"));
    EXPECT_EQ(V({"Device", "Inst", ""}), ParseLine("Device=Inst,"));
    EXPECT_EQ(V({"a", "b=c"}), ParseLine("a=b=c"));
}

TEST_F(MachineInf, QuotedFields) {
    EXPECT_EQ(V({"k", "a,b;c", "d"}), ParseLine("k=\"a,b;c\",d"));
    EXPECT_EQ(V({"k", " padded ", "say \"hi\""}), ParseLine("k=\" padded \",\"say \"\"hi\"\"\""));
    EXPECT_EQ(V({"AbCd", "Ef"}), ParseLine("Ab\"Cd\"=Ef"));
    EXPECT_EQ(V({"AbCd=Ef", "AbCd=Ef"}), ParseLine("Ab\"Cd=Ef\""));
    EXPECT_EQ(V({"k", "", "x"}), ParseLine("k=\"\",x"));
    // An unterminated quote ends with the line.
    EXPECT_EQ(V({"k", "open,ended"}), ParseLine("k=\"open,ended"));
}

TEST_F(MachineInf, CommentsAndContinuations) {
    EXPECT_EQ(V({"k", "v"}), ParseLine("k = v ; the comment, with=stuff"));
    EXPECT_EQ(V({"abcd", "ef"}), ParseLine("ab  \\  \ncd=ef"));
    EXPECT_EQ(V({"abcd", "ef"}), ParseLine("ab \\ ; note\ncd=ef"));
    EXPECT_EQ(V({"k", "one", "two"}), ParseLine("k=one, \\\r\n   two"));
    EXPECT_EQ(V({"ba \\ dc", "xx"}), ParseLine("ba \\ dc=xx"));
    EXPECT_EQ(V({"a", "b\\\\c"}), ParseLine("a=b\\\\c"));
    // Inside quotes a trailing backslash is text and the line ends.
    EXPECT_EQ(V({"ab", "cd,ef\\"}), ParseLine("ab=\"cd,ef\\\nnext=1"));
}

TEST_F(MachineInf, StringSubstitution) {
    const std::string strings = "[Strings]\nfoo=aaa\nBar=\"b, b\"\nloop=%foo%\nper=1\ncent=2\n";
    EXPECT_EQ(V({"aaa", "b, b"}), ParseLine("%foo%=%BAR%", strings));
    EXPECT_EQ(V({"k", "xaaay"}), ParseLine("k=x%FOO%y", strings));
    EXPECT_EQ(V({"k", "50%", "12"}), ParseLine("k=50%%,%per%%cent%", strings));
    EXPECT_EQ(V({"k", "%unknown%", "%open"}), ParseLine("k=%unknown%,%open", strings));
    // The string table is not substituted itself.
    EXPECT_EQ(V({"k", "%foo%"}), ParseLine("k=%loop%", strings));
    EXPECT_EQ(V({"k", "aaa"}), ParseLine("k=\"%foo%\"", strings));
}

TEST_F(MachineInf, SectionsMergeAndIgnoreCase) {
    std::string text =
        std::string(kHeader) + "\n[Models]\nA=1\n\n; a comment\n[Other]\nX=9\n[MODELS]\nB=2\n[Empty]\n";
    HINF inf = Open(text);
    ASSERT_NE(INVALID_HANDLE_VALUE, inf);
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "models", NULL, &context));
    EXPECT_EQ("A", Field(&context, 0));
    ASSERT_TRUE(SetupFindNextLine(&context, &context));
    EXPECT_EQ("B", Field(&context, 0));
    INFCONTEXT kept = context;
    EXPECT_FALSE(SetupFindNextLine(&context, &context));
    EXPECT_EQ(ERROR_LINE_NOT_FOUND, GetLastError());
    EXPECT_EQ(kept.Line, context.Line);

    EXPECT_FALSE(SetupFindFirstLineA(inf, "Empty", NULL, &context));
    EXPECT_EQ(ERROR_LINE_NOT_FOUND, GetLastError());
    EXPECT_FALSE(SetupFindFirstLineA(inf, "Missing", NULL, &context));
    EXPECT_EQ(ERROR_LINE_NOT_FOUND, GetLastError());
    SetupCloseInfFile(inf);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(MachineInf, FindFirstLineByKey) {
    HINF inf = Open(std::string(kHeader) + "[Version]\nProvider=First\nprovider=Second\nClass=Ports\n");
    ASSERT_NE(INVALID_HANDLE_VALUE, inf);
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "VERSION", "PROVIDER", &context));
    EXPECT_EQ("First", Field(&context, 1));
    EXPECT_FALSE(SetupFindFirstLineA(inf, "Version", "DriverVer", &context));
    EXPECT_EQ(ERROR_LINE_NOT_FOUND, GetLastError());
    SetupCloseInfFile(inf);
}

TEST_F(MachineInf, UnixLineEndsAndWideText) {
    std::string narrow = "[Version]\nSignature=$Chicago$\n[M]\nK=V\n";
    std::string wide = "\xFF\xFE";
    for (char c : narrow) {
        wide.push_back(c);
        wide.push_back('\0');
    }
    HINF inf = Open(wide);
    ASSERT_NE(INVALID_HANDLE_VALUE, inf);
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "M", "k", &context));
    EXPECT_EQ("V", Field(&context, 1));
    SetupCloseInfFile(inf);
}

TEST_F(MachineInf, OpenRejectsWhatIsNoInf) {
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupOpenInfFileA("C:\\Setup\\none.inf", NULL, INF_STYLE_WIN4, NULL));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupOpenInfFileA("C:\\Nowhere\\none.inf", NULL, INF_STYLE_WIN4, NULL));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());

    for (const char* text : {"[Strings]\nA=B\n", "[Version]\nSignature=foo\n", "[Version]\nSignature=\n",
                             "[Version]\nClass=Ports\n", "", "just text\n"}) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, Open(text)) << text;
        EXPECT_EQ(ERROR_WRONG_INF_STYLE, GetLastError()) << text;
    }
    for (const char* text : {"[version]\nsignature=$chicago$", "[Version]\nSignature=\"$WINDOWS 95$\",x",
                             "[Version]\nabc=1\n[VERSION]\nSignature=\"$Windows NT$\""}) {
        HINF inf = Open(text);
        EXPECT_NE(INVALID_HANDLE_VALUE, inf) << text;
        SetupCloseInfFile(inf);
    }

    sim::AddFile("C:\\Setup\\bad.inf", std::string(kHeader) + "[Good]\n[Broken\nK=V\n");
    UINT line = 99;
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupOpenInfFileA("C:\\Setup\\bad.inf", NULL, INF_STYLE_WIN4, &line));
    EXPECT_EQ(ERROR_BAD_SECTION_NAME_LINE, GetLastError());
    EXPECT_EQ(4u, line);
    sim::AddFile("C:\\Setup\\bad.inf", "; header\nstray line\n" + std::string(kHeader));
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupOpenInfFileA("C:\\Setup\\bad.inf", NULL, INF_STYLE_WIN4, &line));
    EXPECT_EQ(ERROR_EXPECTED_SECTION_NAME, GetLastError());
    EXPECT_EQ(2u, line);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(MachineInf, StringFieldSizeProtocol) {
    HINF inf = Open(std::string(kHeader) + "[Models]\nDevice=Inst,USB\\VID_3E1F&PID_C301\nLone,Pair\n");
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "Models", NULL, &context));
    const DWORD length = static_cast<DWORD>(strlen("USB\\VID_3E1F&PID_C301"));

    DWORD required = 0;
    EXPECT_TRUE(SetupGetStringFieldA(&context, 2, NULL, 0, &required));
    EXPECT_EQ(length + 1, required);
    char buffer[64];
    memset(buffer, 0x66, sizeof(buffer));
    required = 0;
    EXPECT_FALSE(SetupGetStringFieldA(&context, 2, buffer, length, &required));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(length + 1, required);
    EXPECT_EQ(0x66, buffer[0]);
    EXPECT_TRUE(SetupGetStringFieldA(&context, 2, buffer, length + 1, NULL));
    EXPECT_STREQ("USB\\VID_3E1F&PID_C301", buffer);
    EXPECT_EQ(0x66, buffer[length + 1]);
    EXPECT_FALSE(SetupGetStringFieldA(&context, 3, buffer, sizeof(buffer), NULL));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());

    // A 300-character field does not fit 260 bytes.
    SetupCloseInfFile(inf);
    inf = Open(std::string(kHeader) + "[M]\nK=" + std::string(300, 'x') + "\n");
    ASSERT_TRUE(SetupFindFirstLineA(inf, "M", NULL, &context));
    char path[260];
    EXPECT_FALSE(SetupGetStringFieldA(&context, 1, path, sizeof(path), NULL));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    SetupCloseInfFile(inf);
}

TEST_F(MachineInf, CopyOemInfNamesAndReuse) {
    std::string first = std::string(kSigned) + "[M]\nA=1\n";
    std::string second = std::string(kSigned) + "[M]\nB=2\n";
    sim::AddFile(PathOf("a.inf"), first);
    sim::AddFile(PathOf("b.inf"), second);
    sim::AddFile(PathOf("a_copy.inf"), first);

    ASSERT_TRUE(SetupCopyOEMInfA(PathOf("a.inf").c_str(), NULL, SPOST_PATH, 0, NULL, 0, NULL, NULL));
    EXPECT_EQ(first, sim::FileData(sim::InfFolder() + "oem0.inf"));
    EXPECT_TRUE(sim::FileExists(sim::InfFolder() + "oem0.PNF"));
    ASSERT_EQ(1u, sim::M().driverStore.size());
    EXPECT_EQ("oem0.inf", sim::M().driverStore[0].oemName);
    EXPECT_EQ(PathOf("a.inf"), sim::M().driverStore[0].sourcePath);

    // The same content from elsewhere is the same driver-store INF.
    char name[MAX_PATH];
    PSTR component = NULL;
    DWORD required = 0;
    ASSERT_TRUE(SetupCopyOEMInfA(PathOf("a_copy.inf").c_str(), NULL, SPOST_PATH, 0, name, sizeof(name),
                                 &required, &component));
    EXPECT_EQ(sim::InfFolder() + "oem0.inf", std::string(name));
    EXPECT_EQ(strlen(name) + 1, required);
    EXPECT_STREQ("oem0.inf", component);
    EXPECT_FALSE(sim::FileExists(sim::InfFolder() + "oem1.inf"));

    ASSERT_TRUE(
        SetupCopyOEMInfA(PathOf("b.inf").c_str(), NULL, SPOST_PATH, 0, name, sizeof(name), NULL, NULL));
    EXPECT_EQ(sim::InfFolder() + "oem1.inf", std::string(name));

    // Once its published copy is deleted, the INF is published again under
    // the lowest free name.
    sim::RemovePath(sim::InfFolder() + "oem0.inf");
    sim::RemovePath(sim::InfFolder() + "oem0.PNF");
    ASSERT_TRUE(
        SetupCopyOEMInfA(PathOf("a.inf").c_str(), NULL, SPOST_PATH, 0, name, sizeof(name), NULL, NULL));
    EXPECT_EQ(sim::InfFolder() + "oem0.inf", std::string(name));
    EXPECT_EQ(2u, sim::M().driverStore.size());
}

TEST_F(MachineInf, CopyOemInfFillsGapsAndReportsSizes) {
    sim::AddFile(sim::InfFolder() + "oem0.inf", "other 0");
    sim::AddFile(sim::InfFolder() + "OEM2.INF", "other 2");
    std::string text = std::string(kSigned) + "[M]\nA=1\n";
    sim::AddFile(PathOf("a.inf"), text);

    char small[8];
    memset(small, 0x44, sizeof(small));
    DWORD required = 0;
    EXPECT_FALSE(SetupCopyOEMInfA(PathOf("a.inf").c_str(), NULL, SPOST_PATH, 0, small, sizeof(small),
                                  &required, NULL));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ((sim::InfFolder() + "oem1.inf").size() + 1, required);
    EXPECT_EQ(0x44, small[0]);
    EXPECT_EQ(text, sim::FileData(sim::InfFolder() + "oem1.inf"));
    EXPECT_EQ("other 2", sim::FileData(sim::InfFolder() + "oem2.inf"));
}

TEST_F(MachineInf, CopyOemInfFailures) {
    SetLastError(0);
    EXPECT_FALSE(SetupCopyOEMInfA(PathOf("none.inf").c_str(), NULL, SPOST_PATH, 0, NULL, 0, NULL, NULL));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Nowhere\\x.inf", NULL, SPOST_PATH, 0, NULL, 0, NULL, NULL));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    sim::AddFile(PathOf("plain.inf"), "[Strings]\nA=B\n");
    EXPECT_FALSE(SetupCopyOEMInfA(PathOf("plain.inf").c_str(), NULL, SPOST_PATH, 0, NULL, 0, NULL, NULL));
    EXPECT_EQ(ERROR_WRONG_INF_STYLE, GetLastError());

    // Only a signed package is stored: the catalog that [Version] names (the
    // x64 entry before the plain one) must lie beside the INF.
    struct {
        const char* catalogLines;
        bool stored;
    } catalogs[] = {{"", false},
                    {"CatalogFile=\r\n", false},
                    {"CatalogFile=gone.cat\r\n", false},
                    {"CatalogFile.NTx86=t.cat\r\n", false},
                    {"CatalogFile=t.cat\r\nCatalogFile.NTamd64=gone.cat\r\n", false},
                    {"CatalogFile=gone.cat\r\nCatalogFile.NTamd64=t.cat\r\n", true},
                    {"catalogfile=T.CAT\r\n", true}};
    for (const auto& row : catalogs) {
        std::string text = std::string(kHeader) + row.catalogLines + "[M]\nA=1\n";
        sim::AddFile(PathOf("c.inf"), text);
        SetLastError(0);
        EXPECT_EQ(row.stored ? TRUE : FALSE,
                  SetupCopyOEMInfA(PathOf("c.inf").c_str(), NULL, SPOST_PATH, 0, NULL, 0, NULL, NULL))
            << row.catalogLines;
        if (!row.stored) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError()) << row.catalogLines;
        }
        EXPECT_EQ(row.stored, sim::FileData(sim::InfFolder() + "oem0.inf") == text) << row.catalogLines;
        sim::RemovePath(sim::InfFolder() + "oem0.inf");
        sim::RemovePath(sim::InfFolder() + "oem0.PNF");
        sim::M().driverStore.clear();
    }

    sim::AddFile(PathOf("good.inf"), std::string(kSigned));
    sim::FailCall("SetupCopyOEMInfA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SetupCopyOEMInfA(PathOf("good.inf").c_str(), NULL, SPOST_PATH, 0, NULL, 0, NULL, NULL));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(sim::M().driverStore.empty());
    EXPECT_TRUE(sim::ListFolder(sim::InfFolder()).empty());
}

TEST_F(MachineInf, UpdateDriverBindsPresentDevicesCarryingTheId) {
    std::string inf =
        std::string(kSigned) +
        "[Manufacturer]\nKWE=Models,NTamd64\n[Models.NTamd64]\nModem=Inst,USB\\VID_3E1F&PID_C301\n";
    sim::AddFile(PathOf("modem.inf"), inf);
    sim::AddDevice("USB\\VID_3E1F&PID_C301\\1",
                   {"USB\\VID_3E1F&PID_C301&REV_0100", "USB\\VID_3E1F&PID_C301"});
    sim::AddDevice("USB\\VID_3E1F&PID_C301\\2", {"USB\\VID_3E1F&PID_C301"}, false);
    sim::AddDevice("USB\\VID_3E1F&PID_C3011\\3", {"USB\\VID_3E1F&PID_C3011"});
    sim::AddDevice("USB\\VID_3E1F&PID_C301\\4", {"usb\\vid_3e1f&pid_c301"});
    std::string path = PathOf("modem.inf");

    BOOL reboot = TRUE;
    SetLastError(0);
    EXPECT_FALSE(UpdateDriverForPlugAndPlayDevicesA(NULL, "", path.c_str(), INSTALLFLAG_FORCE, &reboot));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_FALSE(UpdateDriverForPlugAndPlayDevicesA(NULL, "usb\\vid_3e1f&pid_c301",
                                                    PathOf("gone.inf").c_str(), INSTALLFLAG_FORCE, &reboot));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_FALSE(UpdateDriverForPlugAndPlayDevicesA(NULL, "usb\\vid_3e1f&pid_c30", path.c_str(),
                                                    INSTALLFLAG_FORCE, &reboot));
    EXPECT_EQ(ERROR_NO_SUCH_DEVINST, GetLastError());
    EXPECT_TRUE(sim::M().driverStore.empty());

    sim::ClearJournal();
    ASSERT_TRUE(UpdateDriverForPlugAndPlayDevicesA(NULL, "usb\\vid_3e1f&pid_c301", path.c_str(),
                                                   INSTALLFLAG_FORCE, &reboot));
    EXPECT_FALSE(reboot);
    EXPECT_EQ(1, sim::FindDevice("USB\\VID_3E1F&PID_C301\\1")->updateCount);
    EXPECT_EQ(path, sim::FindDevice("USB\\VID_3E1F&PID_C301\\1")->boundInf);
    EXPECT_EQ(1, sim::FindDevice("USB\\VID_3E1F&PID_C301\\4")->updateCount);
    EXPECT_EQ(0, sim::FindDevice("USB\\VID_3E1F&PID_C301\\2")->updateCount);
    EXPECT_EQ(0, sim::FindDevice("USB\\VID_3E1F&PID_C3011\\3")->updateCount);
    ASSERT_EQ(1u, sim::M().driverStore.size());
    EXPECT_EQ(inf, sim::FileData(sim::InfFolder() + sim::M().driverStore[0].oemName));
    EXPECT_EQ(std::vector<std::string>({"UpdateDriverForPlugAndPlayDevicesA"}), sim::CallNames());

    // Unplugged devices only: no device to update.
    sim::FindDevice("USB\\VID_3E1F&PID_C301\\1")->present = false;
    sim::FindDevice("USB\\VID_3E1F&PID_C301\\4")->present = false;
    EXPECT_FALSE(UpdateDriverForPlugAndPlayDevicesA(NULL, "USB\\VID_3E1F&PID_C301", path.c_str(),
                                                    INSTALLFLAG_FORCE, &reboot));
    EXPECT_EQ(ERROR_NO_SUCH_DEVINST, GetLastError());
}

// 64-bit Windows matches a device only through the models section that it
// reads for a Manufacturer line (the most specific NTamd64 decoration that
// applies), by the device's hardware or compatible IDs against every ID of a
// model line; a device in use asks for a restart.
TEST_F(MachineInf, UpdateDriverMatchesThroughTheX64ModelsSection) {
    const std::string id = "USB\\VID_3E1F&PID_A101&MI_00";
    sim::AddDevice(id + "\\7&1&0&0", {id + "&REV_0100", id});
    sim::SetCompatibleIds(id + "\\7&1&0&0", {"USB\\Class_02&SubClass_02&Prot_01", "USB\\Class_02"});
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\5&1&0&1", {"USB\\VID_3E1F&PID_A101"});
    sim::SetDeviceInUse("USB\\VID_3E1F&PID_A101\\5&1&0&1", true);
    const std::string modem = "Modem=Inst," + id + "\n";
    struct {
        const char* asked;       // the ID the update is asked for
        std::string sections;    // [Manufacturer] and the models sections
        DWORD error;             // 0: bound
        const char* boundDevice; // the instance the update binds, for a success
        BOOL reboot;
    } rows[] = {
        // Only the undecorated section that the installer reads: nothing for x64.
        {"usb\\vid_3e1f&pid_a101&mi_00", "[Manufacturer]\nKWE=Models\n[Models]\n" + modem,
         ERROR_NO_MORE_ITEMS, nullptr, FALSE},
        {"usb\\vid_3e1f&pid_a101&mi_00", "[Manufacturer]\nKWE=Models,NTx86\n[Models.NTx86]\n" + modem,
         ERROR_NO_MORE_ITEMS, nullptr, FALSE},
        {"usb\\vid_3e1f&pid_a101&mi_00",
         "[Manufacturer]\nKWE=Models,NTamd64\n[Models]\n" + modem +
             "[Models.NTamd64]\nOther=Inst,USB\\VID_1\n",
         ERROR_NO_MORE_ITEMS, nullptr, FALSE},
        {"usb\\vid_3e1f&pid_a101&mi_00",
         "[Manufacturer]\nKWE=Models,NTamd64\n[Models]\n[Models.NTamd64]\n" + modem, 0, "\\7&1&0&0", FALSE},
        // The most specific decoration for Windows 7 (6.1) wins over 6.2 and plain.
        {"usb\\vid_3e1f&pid_a101&mi_00",
         "[Manufacturer]\nKWE=Models,NTamd64,NTAMD64.6.1,NTamd64.6.2\n[Models.NTamd64]\n[Models.NTamd64.6.2]"
         "\n"
         "[Models.NTAMD64.6.1]\n" +
             modem,
         0, "\\7&1&0&0", FALSE},
        // The asked ID among the device's compatible IDs; the INF's line
        // naming the device by a compatible ID of its own.
        {"USB\\Class_02", "[Manufacturer]\nKWE=Models,NTamd64\n[Models.NTamd64]\n" + modem, 0, "\\7&1&0&0",
         FALSE},
        {"usb\\vid_3e1f&pid_a101&mi_00",
         "[Manufacturer]\nKWE=Models,NTamd64\n[Models.NTamd64]\nModem=Inst,USB\\VID_9,usb\\class_02\n", 0,
         "\\7&1&0&0", FALSE},
        // A second manufacturer counts as well; the device in use.
        {"USB\\VID_3E1F&PID_A101",
         "[Manufacturer]\nA=None\nKWE=Models,NTamd64\n[Models.NTamd64]\nDevice=Inst,USB\\VID_3E1F&PID_A101\n",
         0, "\\5&1&0&1", TRUE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sections);
        std::string inf = std::string(kSigned) + row.sections;
        sim::AddFile(PathOf("m.inf"), inf);
        for (sim::Device& d : sim::M().devices) {
            d.updateCount = 0;
        }
        sim::M().driverStore.clear();
        sim::RemovePath(sim::InfFolder() + "oem0.inf");
        BOOL reboot = 7;
        BOOL ok = UpdateDriverForPlugAndPlayDevicesA(NULL, row.asked, PathOf("m.inf").c_str(),
                                                     INSTALLFLAG_FORCE, &reboot);
        if (row.error != 0) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(row.error, GetLastError());
            EXPECT_TRUE(sim::M().driverStore.empty());
            continue;
        }
        ASSERT_TRUE(ok);
        EXPECT_EQ(row.reboot, reboot);
        for (const sim::Device& d : sim::M().devices) {
            bool bound = d.instanceId.find(row.boundDevice) != std::string::npos;
            EXPECT_EQ(bound ? 1 : 0, d.updateCount) << d.instanceId;
            // Windows marks the node of a device updated while in use.
            ULONG status = 0, problem = 0;
            ASSERT_EQ(CR_SUCCESS, CM_Get_DevNode_Status(&status, &problem, d.devInst, 0));
            EXPECT_EQ(bound && row.reboot, (status & DN_NEED_RESTART) != 0) << d.instanceId;
        }
        EXPECT_EQ(inf, sim::FileData(sim::InfFolder() + "oem0.inf"));
    }
}

TEST_F(MachineInf, InjectedFaultsAndClosedHandles) {
    sim::AddFile(PathOf("t.inf"), std::string(kHeader) + "[M]\nA=1\n");
    sim::FailCall("SetupOpenInfFileA", 1, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupOpenInfFileA(PathOf("t.inf").c_str(), NULL, INF_STYLE_WIN4, NULL));
    EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_EQ(0, sim::OpenHandleCount());

    HINF inf = SetupOpenInfFileA(PathOf("t.inf").c_str(), NULL, INF_STYLE_WIN4, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, inf);
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "M", NULL, &context));
    sim::FailCall("SetupGetStringFieldA", 1, ERROR_NOT_ENOUGH_MEMORY);
    char buffer[32] = "untouched";
    EXPECT_FALSE(SetupGetStringFieldA(&context, 1, buffer, sizeof(buffer), NULL));
    EXPECT_STREQ("untouched", buffer);
    EXPECT_EQ(1, sim::OpenHandleCount());
    SetupCloseInfFile(inf);
    EXPECT_EQ(0, sim::OpenHandleCount());
    // A context of a closed INF reads nothing.
    EXPECT_FALSE(SetupGetStringFieldA(&context, 1, buffer, sizeof(buffer), NULL));
    EXPECT_STREQ("untouched", buffer);
}

} // namespace
