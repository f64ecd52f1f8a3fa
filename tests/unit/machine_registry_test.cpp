// The simulated machine's registry: keys, handles with their access, the
// value size protocol and deletion.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "machine.h"

namespace {

class MachineRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
    }

    HKEY Open(const char* path, REGSAM access) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key), ERROR_SUCCESS) << path;
        return key;
    }
};

const char kProductOptions[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

TEST_F(MachineRegistryTest, CreateMakesMissingKeysAndReportsDisposition) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Product\\", 0, NULL,
                              REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, NULL, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_TRUE(sim::RegKeyExists("software\\vendor"));
    EXPECT_EQ(sim::M().registry["SOFTWARE\\VENDOR\\PRODUCT"].path, "SOFTWARE\\Vendor\\Product");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\VENDOR\\product", 0, NULL, 0, KEY_READ, NULL,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(sim::M().registry["SOFTWARE\\VENDOR\\PRODUCT"].path, "SOFTWARE\\Vendor\\Product");
    // A key opened through another key's handle.
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExA(key, "Sub", 0, NULL, 0, KEY_READ, NULL, &child, NULL), ERROR_SUCCESS);
    EXPECT_TRUE(sim::RegKeyExists("SOFTWARE\\Vendor\\Product\\Sub"));
    EXPECT_EQ(sim::OpenHandleKinds(), (std::vector<std::string>{"key", "key"}));
    RegCloseKey(child);
    RegCloseKey(key);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    EXPECT_NE(sim::FindCall("RegCreateKeyExA",
                            "HKLM, \"SOFTWARE\\Vendor\\Product\\\", 0, NULL, 0, 131103, NULL, ptr, ptr"),
              -1);
}

TEST_F(MachineRegistryTest, OpenAndCreateFailures) {
    HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x55));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    HKEY currentUser = reinterpret_cast<HKEY>(
        static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(0x80000001))));
    EXPECT_EQ(RegOpenKeyExA(currentUser, "SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    // Nothing can be created right under the root.
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "NEWHIVE\\Key", 0, NULL, 0, KEY_WRITE, NULL, &key, NULL),
              ERROR_ACCESS_DENIED);
    EXPECT_FALSE(sim::RegKeyExists("NEWHIVE"));
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\X", 0, NULL, 0, KEY_WRITE, NULL, &key, NULL),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    // Registry calls return their code and leave the last error alone.
    sim::M().lastError = 1234;
    sim::FailCall("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(sim::M().lastError, 1234u);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
}

TEST_F(MachineRegistryTest, HandlesKeepTheirAccess) {
    sim::SetRegDword("SOFTWARE\\Flag", "Value", 7);
    HKEY reader = Open("SOFTWARE\\Flag", KEY_QUERY_VALUE);
    DWORD one = 1;
    EXPECT_EQ(RegSetValueExA(reader, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "Value"), ERROR_ACCESS_DENIED);
    HKEY writer = Open("SOFTWARE\\Flag", KEY_SET_VALUE);
    DWORD size = 4;
    DWORD value = 0;
    EXPECT_EQ(RegQueryValueExA(writer, "Value", NULL, NULL, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExA(writer, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_SUCCESS);
    // Generic read grants the query right.
    HKEY generic = Open("SOFTWARE\\Flag", GENERIC_READ);
    EXPECT_EQ(RegQueryValueExA(generic, "VALUE", NULL, NULL, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    RegCloseKey(reader);
    RegCloseKey(writer);
    RegCloseKey(generic);
}

TEST_F(MachineRegistryTest, QuerySizeProtocol) {
    HKEY key = Open(kProductOptions, KEY_QUERY_VALUE);
    DWORD type = 0;
    DWORD size = 0;
    // No buffer: the size only, terminator included.
    EXPECT_EQ(RegQueryValueExA(key, "producttype", NULL, &type, NULL, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    char buffer[16];
    memset(buffer, 'x', sizeof(buffer));
    size = 5;
    EXPECT_EQ(RegQueryValueExA(key, "ProductType", NULL, NULL, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(buffer[0], 'x');
    size = 6;
    EXPECT_EQ(RegQueryValueExA(key, "ProductType", NULL, NULL, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "WinNT");
    EXPECT_EQ(RegQueryValueExA(key, "Missing", NULL, NULL, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_FILE_NOT_FOUND);

    // A text stored without its terminator comes back without one.
    sim::SetRegValue(kProductOptions, "Raw", REG_SZ, "ABCD");
    memset(buffer, 'x', sizeof(buffer));
    size = sizeof(buffer);
    EXPECT_EQ(RegQueryValueExA(key, "Raw", NULL, NULL, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::string(buffer, 5), "ABCDx");
    RegCloseKey(key);
}

TEST_F(MachineRegistryTest, SetAndDeleteValues) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\V", 0, NULL, 0, 0x2001F, NULL, &key, NULL),
              ERROR_SUCCESS);
    const char text[] = "abc";
    ASSERT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 4), ERROR_SUCCESS);
    EXPECT_EQ(sim::FindRegValue("SOFTWARE\\V", "name")->data, std::string("abc\0", 4));
    EXPECT_EQ(sim::GetRegString("SOFTWARE\\V", "NAME"), "abc");
    // Writing again under another case replaces the value and keeps its name.
    DWORD two = 2;
    ASSERT_EQ(RegSetValueExA(key, "NAME", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), 4),
              ERROR_SUCCESS);
    ASSERT_EQ(sim::M().registry["SOFTWARE\\V"].values.size(), 1u);
    EXPECT_EQ(sim::M().registry["SOFTWARE\\V"].values[0].name, "Name");
    DWORD read = 0;
    EXPECT_TRUE(sim::GetRegDword("SOFTWARE\\V", "name", &read));
    EXPECT_EQ(read, 2u);
    EXPECT_NE(sim::FindCall("RegSetValueExA", "HKLM\\SOFTWARE\\V, \"NAME\", 0, 4, 2, 4"), -1);

    EXPECT_EQ(RegDeleteValueA(key, "name"), ERROR_SUCCESS);
    EXPECT_EQ(sim::FindRegValue("SOFTWARE\\V", "Name"), nullptr);
    EXPECT_EQ(RegDeleteValueA(key, "name"), ERROR_FILE_NOT_FOUND);

    sim::FailCall("RegSetValueExA", 1, ERROR_CANTWRITE);
    EXPECT_EQ(RegSetValueExA(key, "Other", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), 4),
              static_cast<LSTATUS>(ERROR_CANTWRITE));
    EXPECT_EQ(sim::FindRegValue("SOFTWARE\\V", "Other"), nullptr);
    RegCloseKey(key);
}

TEST_F(MachineRegistryTest, DeleteKeyRulesAndDeletedHandles) {
    sim::SetRegDword("SOFTWARE\\Parent\\Child", "v", 1);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Parent"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(sim::RegKeyExists("SOFTWARE\\Parent"));

    HKEY open = Open("SOFTWARE\\Parent\\Child", KEY_READ | KEY_WRITE);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\parent\\child\\"), ERROR_SUCCESS);
    EXPECT_FALSE(sim::RegKeyExists("SOFTWARE\\Parent\\Child"));
    // Made again under the same name, it is another key for the old handle.
    sim::SetRegDword("SOFTWARE\\Parent\\Child", "v", 2);
    DWORD value = 0;
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExA(open, "v", NULL, NULL, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_KEY_DELETED);
    DWORD one = 1;
    EXPECT_EQ(RegSetValueExA(open, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_KEY_DELETED);
    EXPECT_TRUE(sim::GetRegDword("SOFTWARE\\Parent\\Child", "v", &value));
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(open), ERROR_INVALID_HANDLE);

    // The tree builder removes keys below too.
    HKEY parent = Open("SOFTWARE\\Parent", KEY_QUERY_VALUE);
    sim::RemoveRegKeyTree("SOFTWARE\\Parent");
    EXPECT_FALSE(sim::RegKeyExists("SOFTWARE\\Parent\\Child"));
    EXPECT_EQ(RegQueryValueExA(parent, "v", NULL, NULL, NULL, &size), ERROR_KEY_DELETED);
    RegCloseKey(parent);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
}

TEST_F(MachineRegistryTest, BuildersReadOnlyWellFormedValues) {
    sim::SetRegValue("SOFTWARE\\B", "Short", REG_DWORD, std::string("\x01\x02", 2));
    DWORD value = 99;
    EXPECT_FALSE(sim::GetRegDword("SOFTWARE\\B", "Short", &value));
    EXPECT_FALSE(sim::GetRegDword("SOFTWARE\\B", "Missing", &value));
    EXPECT_EQ(value, 99u);
    sim::SetRegString("SOFTWARE\\B", "Multi", std::string("one\0two\0", 8), REG_MULTI_SZ);
    EXPECT_EQ(sim::GetRegString("SOFTWARE\\B", "Multi"), "one");
    EXPECT_EQ(sim::FindRegValue("SOFTWARE\\B", "Multi")->type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(sim::GetRegString("SOFTWARE\\Missing", "Multi"), "");
}

} // namespace
