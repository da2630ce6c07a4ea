// The boot-clean driver under Wine: installation through the service control manager, the boot-time list in
// the registry, and the driver itself loaded as a demand-start service.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/BootCleanDriver.h"
#include "engine/BootDeleteList.h"
#include "util/ProgramPath.h"
#include "util/FolderListing.h"
#include "RestartLists.h"
#include "engine/LiveEffects.h"
#include "engine/Undo.h"
#include "engine/BootListCore.h"

namespace {

std::wstring SystemDrivers() {
    wchar_t path[MAX_PATH];
    ::GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path) + L"\\Drivers\\";
}

std::vector<BYTE> ReadListValue(bool* exists = nullptr) {
    RegKey key;
    std::vector<BYTE> data(BOOT_LIST_BUFFER_SIZE);
    DWORD size = DWORD(data.size()), type = 0;
    const bool ok = SUCCEEDED(OpenRootedKey(kBootListRootedKey, KEY_READ, key)) &&
                    ::RegQueryValueExW(key.Get(), kBootListValue, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
    if (exists) *exists = ok;
    data.resize(ok ? size : 0);
    return data;
}

void WriteListValue(const std::vector<BYTE>& data) {
    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                               L"SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox", 0, nullptr,
                                               0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.Get(), kBootListValue, 0, REG_BINARY, data.data(), DWORD(data.size())));
}

// 64-bit Windows cannot load the 32-bit driver: the program never extracts, installs or lists it there
// (Wow64Driver below), and these tests have nothing to run.
#define SKIP_WHERE_THE_DRIVER_CANNOT_LOAD()                                                      \
    if (!BootCleanRegistrar::DriverCanLoad()) GTEST_SKIP() << "64-bit Windows: the 32-bit driver cannot load"

class BootClean : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WHERE_THE_DRIVER_CANNOT_LOAD();
        RemoveBootCleanService();
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox");
        ASSERT_EQ(S_OK, registrar.ExtractBootCleanDriver());
    }
    void TearDown() override {
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox");
        RemoveBootCleanService();
    }
    BootCleanRegistrar registrar;
    LiveEffects fx;
};

TEST_F(BootClean, ExtractsTheDriverImageBesideTheProgram) {
    const auto bytes = ReadBytes(BootCleanRegistrar::ExtractedPath());
    ASSERT_GT(bytes.size(), 1024u);
    EXPECT_EQ('M', bytes[0]);
    ULONGLONG version = 0;
    EXPECT_TRUE(ReadFileVersion(BootCleanRegistrar::ExtractedPath(), version));
    EXPECT_EQ(0x0001000000000001ull, version);
    registrar.RemoveExtractedDriver();
    EXPECT_FALSE(FileExists(BootCleanRegistrar::ExtractedPath()));
}

TEST_F(BootClean, RegisterInstallsTheServiceAndListsThePath) {
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, L"U:\\worm.exe"));
    EXPECT_EQ(std::vector<std::wstring>{L"U:\\worm.exe"}, BootListed());
    EXPECT_TRUE(FileExists(SystemDrivers() + L"BC.sys"));

    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ServiceHandle service(::OpenServiceW(manager.Get(), L"BC", SERVICE_ALL_ACCESS));
    ASSERT_TRUE(service.Valid());
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    ASSERT_TRUE(::QueryServiceConfigW(service.Get(), config, DWORD(buffer.size()), &needed));
    EXPECT_EQ(DWORD(SERVICE_KERNEL_DRIVER), config->dwServiceType);
    EXPECT_EQ(DWORD(SERVICE_BOOT_START), config->dwStartType);
    EXPECT_EQ(DWORD(SERVICE_ERROR_NORMAL), config->dwErrorControl);
    EXPECT_EQ(std::wstring(L"Boot Bus Extender"), config->lpLoadOrderGroup);
    EXPECT_EQ(0, lstrcmpiW((SystemDrivers() + L"BC.sys").c_str(), config->lpBinaryPathName)) << config->lpBinaryPathName;
    EXPECT_EQ(std::wstring(L"BC"), config->lpDisplayName);
}

// Every deletion makes a registrar of its own; the driver is installed and configured once for the run, not
// again for every file a scan lists.
TEST_F(BootClean, DriverIsInstalledOnceNotForEveryFile) {
    ASSERT_EQ(S_OK, BootCleanRegistrar().RegisterBootDelete(fx, L"U:\\first.exe"));
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    {
        ServiceHandle service(::OpenServiceW(manager.Get(), L"BC", SERVICE_ALL_ACCESS));
        ASSERT_TRUE(service.Valid());
        ASSERT_TRUE(::DeleteService(service.Get()));
    }
    ASSERT_EQ(S_OK, BootCleanRegistrar().RegisterBootDelete(fx, L"U:\\second.exe"));
    EXPECT_FALSE(ServiceHandle(::OpenServiceW(manager.Get(), L"BC", SERVICE_QUERY_STATUS)).Valid())
        << "the second file installed the driver again";
    EXPECT_EQ((std::vector<std::wstring>{L"U:\\first.exe", L"U:\\second.exe"}), BootListed());
}

TEST_F(BootClean, SamePathInAnotherCaseWritesNothing) {
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, L"U:\\Folder\\Worm.EXE"));
    const auto before = ReadListValue();
    EXPECT_EQ(S_OK, registrar.RegisterBootDelete(fx, L"u:\\folder\\worm.exe"));
    EXPECT_EQ(before, ReadListValue());
}

TEST_F(BootClean, KeepsHeaderBytesAndRespectsTheLimit) {
    BootDeleteList list;
    for (int i = 0; i < 255; ++i) {
        const std::string p = "C:\\listed\\" + std::to_string(i) + ".exe";
        ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, std::u16string(p.begin(), p.end())));
    }
    list.header[0] = 0xAB;
    list.header[40] = 0x42;  // another scramble byte
    WriteListValue(EncodeBootList(list));
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, L"C:\\number-256.exe"));
    const auto bytes = ReadListValue();
    EXPECT_EQ(44u + 256u * 1244u, bytes.size());
    EXPECT_EQ(0xAB, bytes[0]);
    EXPECT_EQ(0x42, bytes[40]);
    EXPECT_EQ(L"C:\\number-256.exe", BootListed().back());
    EXPECT_EQ(E_FAIL, registrar.RegisterBootDelete(fx, L"C:\\number-257.exe"));
    EXPECT_EQ(bytes, ReadListValue());
}

TEST_F(BootClean, DamagedListIsLeftAsItWas) {
    BootDeleteList list;
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, u"C:\\a.exe"));
    auto bytes = EncodeBootList(list);
    bytes[32] = 7;  // count beyond the data
    WriteListValue(bytes);
    EXPECT_EQ(E_FAIL, registrar.RegisterBootDelete(fx, L"C:\\b.exe"));
    EXPECT_EQ(std::vector<BYTE>(bytes.begin(), bytes.end()), ReadListValue());
}

TEST_F(BootClean, PathTooLongForAnEntryIsRefused) {
    EXPECT_EQ(E_FAIL, registrar.RegisterBootDelete(fx, (L"C:\\" + std::wstring(509, L'x')).c_str()));
    bool exists = true;
    ReadListValue(&exists);
    EXPECT_FALSE(exists) << "nothing was written";
}

// Installation of images with chosen versions under a name of their own.
class DriverInstall : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WHERE_THE_DRIVER_CANNOT_LOAD();
        name = L"vdtest" + std::to_wstring(::GetCurrentProcessId()) + L".sys";
        service = L"VDTEST" + std::to_wstring(::GetCurrentProcessId());
    }
    void TearDown() override {
        ::DeleteFileW(Source().c_str());
        ::DeleteFileW(Target().c_str());
        ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ServiceHandle s(::OpenServiceW(manager.Get(), service.c_str(), SERVICE_ALL_ACCESS));
        if (s) ::DeleteService(s.Get());
    }
    std::wstring Source() const { return ProgramFolder() + L"\\" + name; }
    std::wstring Target() const { return SystemDrivers() + name; }
    static std::wstring Stub(const wchar_t* version) {
        return ProgramFolder() + L"\\version_stub_" + version + L".img";
    }
    std::wstring StartGroup() {
        ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ServiceHandle s(::OpenServiceW(manager.Get(), service.c_str(), SERVICE_QUERY_CONFIG));
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (!s || !::QueryServiceConfigW(s.Get(), config, DWORD(buffer.size()), &needed)) return L"?";
        return std::to_wstring(config->dwStartType) + L"/" + config->lpLoadOrderGroup;
    }
    std::wstring name, service;
    LiveEffects fx;
    BootCleanRegistrar registrar;
};

TEST_F(DriverInstall, CopiesOnlyANewerImage) {
    struct Case {
        const wchar_t* installed;  // nullptr: nothing installed
        const wchar_t* shipped;
        bool replaced;
    } cases[] = {
        {nullptr, L"1_0_0_2", true},
        {L"1_0_0_2", L"1_0_0_2", false},  // same version: left alone
        {L"1_0_0_1", L"1_0_0_2", true},   // lower least significant part
        {L"1_0_1_0", L"1_0_0_2", false},  // installed is newer
    };
    for (const auto& c : cases) {
        ::DeleteFileW(Target().c_str());
        ASSERT_TRUE(::CopyFileW(Stub(c.shipped).c_str(), Source().c_str(), FALSE));
        if (c.installed) {
            // The installed copy carries a marker byte past its image, so a replacement shows.
            auto bytes = ReadBytes(Stub(c.installed));
            bytes.push_back(0xEE);
            ASSERT_TRUE(WriteBytes(Target(), bytes));
        }
        ASSERT_EQ(S_OK, registrar.InstallBootCleanDriver(fx, name.c_str(), service.c_str(), L"Boot Bus Extender", 0));
        const bool replaced = ReadBytes(Target()) == ReadBytes(Source());
        EXPECT_EQ(c.replaced, replaced) << (c.installed ? c.installed : L"none") << " vs " << c.shipped;
    }
}

TEST_F(DriverInstall, ReconfiguresAnExistingService) {
    ASSERT_TRUE(::CopyFileW(Stub(L"1_0_0_1").c_str(), Source().c_str(), FALSE));
    ASSERT_EQ(S_OK, registrar.InstallBootCleanDriver(fx, name.c_str(), service.c_str(), L"Extended Base", 3));
    EXPECT_EQ(L"3/Extended Base", StartGroup());
    ASSERT_EQ(S_OK, registrar.InstallBootCleanDriver(fx, name.c_str(), service.c_str(), L"Boot Bus Extender", 0));
    EXPECT_EQ(L"0/Boot Bus Extender", StartGroup());
}

TEST_F(DriverInstall, ImageWithoutVersionIsNotInstalled) {
    ASSERT_TRUE(WriteBytes(Source(), std::string("not an image")));
    EXPECT_EQ(E_FAIL, registrar.InstallBootCleanDriver(fx, name.c_str(), service.c_str(), L"Boot Bus Extender", 0));
    EXPECT_FALSE(FileExists(Target()));
}

// What a session's first boot-time deletion installs (the driver's image and its service) is journaled with
// the listing, and the undo takes all three back.
TEST_F(BootClean, AnUndoTakesTheDriverItsServiceAndTheListingBack) {
    ::DeleteFileW((SystemDrivers() + L"BC.sys").c_str());
    ScratchDir sessions(L"T:"), dir(L"T:");
    LiveEffects live(sessions.Path() + L"\\");
    live.BeginSession();
    const std::wstring held = dir / L"held.exe";
    ASSERT_TRUE(WriteBytes(held, std::string("a worm that is running")));
    {
        FileHandle holder(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.Valid());
        ASSERT_TRUE(live.DeleteAtBoot(held));
    }
    live.EndSession();
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(FileExists(SystemDrivers() + L"BC.sys"));
    ASSERT_TRUE(ServiceHandle(::OpenServiceW(manager.Get(), L"BC", SERVICE_QUERY_STATUS)).Valid());
    ASSERT_EQ(std::vector<std::wstring>{held}, BootListed());

    const std::vector<SessionInfo> all = ListSessions(sessions.Path() + L"\\");
    ASSERT_EQ(1u, all.size());
    std::vector<std::string> kinds;
    for (const auto& e : all[0].journal.entries) kinds.push_back(e.kind);
    EXPECT_EQ((std::vector<std::string>{"create-file", "service-create", "boot-delete"}), kinds);
    for (const UndoStep& step : UndoSession(all[0], false))
        EXPECT_EQ(UndoResult::Restored, step.result) << step.entry.kind << " " << std::string(step.detail.begin(), step.detail.end());
    EXPECT_FALSE(FileExists(SystemDrivers() + L"BC.sys"));
    EXPECT_FALSE(ServiceHandle(::OpenServiceW(manager.Get(), L"BC", SERVICE_QUERY_STATUS)).Valid());
    EXPECT_TRUE(BootListed().empty());
    EXPECT_TRUE(FileExists(held)) << "the undo of a listing never deletes";
}

// The driver itself, loaded by Wine's device host as a demand-start service.
class BootCleanDriverRun : public BootClean {
protected:
    void TearDown() override {
        if (service) {
            SERVICE_STATUS status;
            ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
            ::DeleteService(service.Get());
        }
        BootClean::TearDown();
    }
    // Starts the extracted driver once and waits for it to have run. Registered as a system-start driver it
    // behaves as at boot: it waits for the drives that are not there.
    void RunDriver(DWORD startType = SERVICE_DEMAND_START) {
        manager.Reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        const std::wstring name = L"BCRUN" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++runs);
        service.Reset(::CreateServiceW(manager.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_KERNEL_DRIVER, startType, SERVICE_ERROR_NORMAL,
                                       BootCleanRegistrar::ExtractedPath().c_str(), nullptr, nullptr, nullptr,
                                       nullptr, nullptr));
        ASSERT_TRUE(service.Valid());
        ASSERT_TRUE(::StartServiceW(service.Get(), 0, nullptr)) << ::GetLastError();
        SERVICE_STATUS status = {};
        for (int i = 0; i < 100 && ::QueryServiceStatus(service.Get(), &status) && status.dwCurrentState != SERVICE_RUNNING; ++i)
            ::Sleep(50);
        EXPECT_EQ(DWORD(SERVICE_RUNNING), status.dwCurrentState);
    }
    // Stops the running driver; true once it has stopped.
    bool StopDriver() {
        SERVICE_STATUS status = {};
        if (!::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) return false;
        for (int i = 0; i < 200 && ::QueryServiceStatus(service.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
            ::Sleep(50);
        ::DeleteService(service.Get());
        service.Reset(nullptr);
        return status.dwCurrentState == SERVICE_STOPPED;
    }
    // The stored entries, unscrambled.
    static BootDeleteList StoredList() {
        const auto bytes = ReadListValue();
        BootDeleteList list;
        EXPECT_EQ(BootListRead::Ok, DecodeBootList(bytes.data(), bytes.size(), list));
        return list;
    }
    // A drive letter nothing is mapped to.
    static wchar_t AbsentDrive() {
        const DWORD mapped = ::GetLogicalDrives();
        for (wchar_t letter = L'Q'; letter <= L'Z'; ++letter)
            if (!(mapped & (1u << (letter - L'A')))) return letter;
        return 0;
    }
    ServiceHandle manager, service;
    int runs = 0;
};

TEST_F(BootCleanDriverRun, DeletesListedFilesAndEmptiesTheList) {
    ScratchDir dir;
    const std::wstring plain = dir / L"listed.exe", hidden = dir / L"hidden-system.dll", kept = dir / L"kept.txt";
    for (const auto& p : {plain, hidden, kept}) ASSERT_TRUE(WriteBytes(p, std::string("x")));
    ASSERT_TRUE(::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, plain.c_str()));
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, hidden.c_str()));
    const auto before = ReadListValue();
    RunDriver();
    EXPECT_FALSE(FileExists(plain));
    EXPECT_FALSE(FileExists(hidden));
    EXPECT_TRUE(FileExists(kept));
    const auto after = ReadListValue();
    ASSERT_EQ(44u, after.size()) << "the list is emptied";
    EXPECT_EQ(std::vector<BYTE>(before.begin(), before.begin() + 32), std::vector<BYTE>(after.begin(), after.begin() + 32));
    EXPECT_EQ(0, after[32]);
}

TEST_F(BootCleanDriverRun, HostileListsDoNothing) {
    ScratchDir dir;
    const std::wstring victim = dir / L"victim.exe";
    ASSERT_TRUE(WriteBytes(victim, std::string("x")));
    BootDeleteList list;
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, std::u16string(victim.begin(), victim.end())));
    auto countBeyondData = EncodeBootList(list);
    countBeyondData[32] = 5;
    WriteListValue(countBeyondData);
    RunDriver();
    EXPECT_TRUE(FileExists(victim));
    const auto after = ReadListValue();
    EXPECT_EQ(countBeyondData, std::vector<std::uint8_t>(after.begin(), after.end())) << "a damaged list is not touched";
}

TEST_F(BootCleanDriverRun, UnterminatedPathIsSkipped) {
    ScratchDir dir;
    const std::wstring victim = dir / L"victim.exe";
    ASSERT_TRUE(WriteBytes(victim, std::string("x")));
    BootDeleteList list;
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, std::u16string(victim.begin(), victim.end())));
    // Fill the path field to its last byte: no terminator inside the entry's path.
    auto& e = list.entries[0];
    for (std::size_t i = BOOT_ENTRY_PATH_OFFSET + 2 * victim.size(); i < BOOT_ENTRY_PATH_OFFSET + BOOT_ENTRY_PATH_BYTES; i += 2) {
        e[i] = 'a';
        e[i + 1] = 0;
    }
    WriteListValue(EncodeBootList(list));
    RunDriver();
    EXPECT_TRUE(FileExists(victim));
}

// The entries for a drive that is there are carried out and taken off the list; the entries for a drive that
// is not stay listed with one more boot counted, and go once they have waited through the last boot allowed.
TEST_F(BootCleanDriverRun, PresentDrivesAreCleanedAbsentOnesWaitThenGo) {
    ScratchDir dir;
    const std::wstring present = dir / L"present.exe";
    ASSERT_TRUE(WriteBytes(present, std::string("x")));
    const wchar_t absent = AbsentDrive();
    ASSERT_NE(0, absent);
    const std::wstring waiting = std::wstring(1, absent) + L":\\gone-stick\\worm.exe";
    const std::wstring aged = std::wstring(1, absent) + L":\\older-stick\\worm.exe";
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, present.c_str()));
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, waiting.c_str()));
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, aged.c_str()));
    {  // the third entry has already waited through all boots but one
        BootDeleteList list = StoredList();
        ASSERT_EQ(3u, list.entries.size());
        BlEntrySetBoots(list.entries[2].data(), BOOT_ENTRY_MAX_BOOTS - 1);
        WriteListValue(EncodeBootList(list));
    }
    RunDriver();
    EXPECT_FALSE(FileExists(present));
    const BootDeleteList after = StoredList();
    ASSERT_EQ(1u, after.entries.size());
    const auto path = BootEntryPath(after.entries[0]);
    EXPECT_EQ(waiting, std::wstring(path.begin(), path.end()));
    EXPECT_EQ(1u, BlEntryBoots(after.entries[0].data()));
    // Registering again keeps the count: the program never resets the wait.
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, present.c_str()));
    EXPECT_EQ(1u, BlEntryBoots(StoredList().entries[0].data()));
}

// At boot the driver waits for the drives that are missing. Stopping it meanwhile ends its wait cleanly: the
// list keeps what was written, and the device host goes on loading drivers.
TEST_F(BootCleanDriverRun, StoppedWhileItWaitsForADrive) {
    ScratchDir dir;
    const std::wstring present = dir / L"present.exe", later = dir / L"later.exe";
    for (const auto& p : {present, later}) ASSERT_TRUE(WriteBytes(p, std::string("x")));
    const std::wstring waiting = std::wstring(1, AbsentDrive()) + L":\\worm.exe";
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, present.c_str()));
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, waiting.c_str()));
    RunDriver(SERVICE_SYSTEM_START);
    EXPECT_FALSE(FileExists(present)) << "the drive that is there is cleaned before the wait";
    EXPECT_EQ(std::vector<std::wstring>{waiting}, BootListed());
    // The program lists a file while the driver waits: the driver's next write keeps it.
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, later.c_str()));
    ::Sleep(1500);
    EXPECT_TRUE(StopDriver()) << "the driver's unload waits for its worker and returns";
    EXPECT_EQ((std::vector<std::wstring>{waiting, later}), BootListed());
    EXPECT_TRUE(FileExists(later)) << "what the program adds during the driver's run waits for the next boot";
    RunDriver();
    EXPECT_FALSE(FileExists(later)) << "the device host still loads and runs drivers";
    EXPECT_EQ(std::vector<std::wstring>{waiting}, BootListed());
}

// Entries the program never writes are never acted on: a relative or device path, "..", a wildcard, a name
// Windows would strip to another one.
TEST_F(BootCleanDriverRun, PathsThatAreNotPlainAreNotFollowed) {
    ScratchDir dir;
    const std::wstring victim = dir / L"victim.exe";
    ASSERT_TRUE(WriteBytes(victim, std::string("x")));
    const std::wstring folder = dir.Path(), name = L"victim.exe";
    const std::wstring sub = folder + L"\\sub";
    ASSERT_TRUE(::CreateDirectoryW(sub.c_str(), nullptr));
    for (const std::wstring& path : {sub + L"\\..\\" + name, folder + L"\\.\\" + name, folder + L"\\victim.ex?",
                                     folder + L"\\victim.exe.", folder + L"\\victim.exe ", folder + L"\\\\" + name})
        ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, path.c_str())) << std::string(path.begin(), path.end());
    RunDriver();
    EXPECT_TRUE(FileExists(victim));
    EXPECT_TRUE(BootListed().empty()) << "entries that can never be carried out are dropped";
}

// Run by tests/wine/folder-link.sh, which first makes "C:\bc-link" a symbolic link to "C:\bc-target". A
// listed path through a folder link deletes nothing behind it.
class BootCleanLink : public BootCleanDriverRun {};

TEST_F(BootCleanLink, ListedPathThroughAFolderLinkDeletesNothing) {
    ASSERT_TRUE(IsFolderLink(L"C:\\bc-link")) << "run through tests/wine/folder-link.sh";
    const std::wstring behind = L"C:\\bc-target\\victim.exe", outside = L"C:\\bc-target\\kept.dll";
    ASSERT_TRUE(WriteBytes(behind, std::string("the user's file")));
    ASSERT_TRUE(WriteBytes(outside, std::string("x")));
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, L"C:\\bc-link\\victim.exe"));
    ASSERT_EQ(S_OK, registrar.RegisterBootDelete(fx, L"\\\\?\\C:\\bc-link\\kept.dll"));
    RunDriver();
    EXPECT_TRUE(FileExists(behind));
    EXPECT_TRUE(FileExists(outside));
    EXPECT_TRUE(BootListed().empty());
}

}  // namespace

// On 64-bit Windows nothing of the driver is extracted, installed or listed; deletions fall back to the restart
// deletion alone (Disposal.FileHeldOpenIsLeftForRestartOnBothLists).
TEST(Wow64Driver, NothingIsExtractedInstalledOrListed) {
    if (BootCleanRegistrar::DriverCanLoad()) GTEST_SKIP() << "32-bit Windows: the driver loads";
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox");
    BootCleanRegistrar registrar;
    LiveEffects fx;
    EXPECT_EQ(E_FAIL, registrar.ExtractBootCleanDriver());
    EXPECT_FALSE(FileExists(BootCleanRegistrar::ExtractedPath()));
    EXPECT_EQ(E_FAIL, registrar.InstallBootCleanDriver(fx, L"BC.sys", L"BC", L"Boot Bus Extender", SERVICE_BOOT_START));
    EXPECT_EQ(E_FAIL, registrar.RegisterBootDelete(fx, L"C:\\worm.exe"));
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager.Valid());
    EXPECT_FALSE(ServiceHandle(::OpenServiceW(manager.Get(), L"BC", SERVICE_QUERY_STATUS)).Valid());
    RegKey list;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox",
                                             0, KEY_READ, list.Put()));
}
