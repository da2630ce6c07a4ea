// The system cleaners on places of their own: a scratch "Windows folder", program-files and Startup folders, a
// disk image standing in for the first disk, identify words and WMI bindings from doubles. Registry keys are
// the test prefix's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <shlwapi.h>

#include "DriveCleaners.h"
#include "cleaners/system/BootRecordCore.h"
#include "cleaners/system/DerivedNames.h"
#include "cleaners/system/WmiCheck.h"
#include "engine/LiveEffects.h"
#include "engine/PlanEffects.h"
#include "support/BootWindows.h"
#include "util/ModuleResource.h"
#include "util/WinHandle.h"

namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A file (not the immunization folder that may stand at its place now).
bool IsFile(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

const std::string kDeletedGbk = "\xc9\xbe\xb3\xfd\xb3\xc9\xb9\xa6";   // 删除成功 in the log's code page
const std::string kAtRestartGbk = "\xd6\xd8\xc6\xf4\xc9\xbe\xb3\xfd";  // 重启删除

void MakeFolders(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\', 3); ; at = path.find(L'\\', at + 1)) {
        ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
        if (at == std::wstring::npos) break;
    }
}

// The places, made before the engine that copies them.
struct ScratchPlaces {
    ScratchPlaces() {
        places.bootDisk = root / L"disk.img";
        places.windowsFolder = root / L"windows";
        places.programFiles = root / L"pf";
        places.allUsersStartup = root / L"all\\Startup";
        places.userStartup = root / L"user\\Startup";
        places.userProfile = root / L"profile";
        places.windowsVersionClass = 1;
        for (const std::wstring& f : {places.windowsFolder + L"\\system32\\drivers", places.windowsFolder + L"\\temp",
                                      places.programFiles, places.allUsersStartup, places.userStartup,
                                      places.userProfile + L"\\「开始」菜单\\程序\\启动"})
            MakeFolders(f);
    }
    ScratchDir root{L"T:"};
    SystemPlaces places;
};

struct SystemCleaners : ScratchPlaces, CleanerHarness {
    ListedTrust trust;
    ListedGuard guard;
    NoMediaRuntime noMedia;
    FixedIdentity identity;
    DriveEngine engine{controller, *log, crcs, trust, guard, noMedia, RealRunningPrograms(),
                       EngineSeams{prompter, launcher, identity, places}};
    BootRecordCleaner& boot = engine.bootRecord;
    ResidentCleaner& resident = engine.resident;

    std::wstring System32() const { return places.windowsFolder + L"\\system32\\"; }
    bool WriteImage(const std::vector<std::uint8_t>& image) { return WriteBytes(places.bootDisk, image); }
    std::vector<unsigned char> Image() { return ReadBytes(places.bootDisk); }
    std::vector<JournalEntry> Journal() { return controller.Changes().Entries(); }
    void SetUpRun() {
        controller.DelphiInfectorState = 1;
        controller.Changes().BeginSession();
    }
};

class BootRecordTest : public ::testing::Test, public SystemCleaners {
protected:
    void SetUp() override { SetUpRun(); }
    void TearDown() override { controller.Changes().EndSession(); }
};

std::vector<unsigned char> BootCode(int resource) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!FindProgramResource(WORD(resource), L"BINARYTYPE", data, size)) return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(bytes, bytes + size);
}

TEST(BootCodeResources, BothAreThe440BytesOfStandardBootCode) {
    const std::vector<unsigned char> xp = BootCode(kBootCodeXpResource), vista = BootCode(kBootCodeVistaResource);
    ASSERT_EQ(kBootCodeSize, xp.size());
    EXPECT_EQ(xp, vista);
    EXPECT_EQ(0x33, xp[0]);
    EXPECT_EQ(0xC0, xp[1]);  // xor ax, ax: the code starts as boot code does
}

// Each variant from a crafted image, and its repair keeps exactly what the repair keeps; the whole first 4096
// bytes are kept beside the session before the write, and the write is journaled.
TEST_F(BootRecordTest, EachVariantIsFoundAndRepairedOnAnImage) {
    const std::vector<std::uint8_t> backup = StoredBackupSector(true);
    const std::vector<unsigned char> code = BootCode(kBootCodeXpResource);
    ASSERT_EQ(kBootCodeSize, code.size());
    struct Case {
        int variant;
        std::vector<std::uint8_t> window;
        bool withBackup;
    } cases[] = {
        {1, VariantOneWindow(), false},
        {2, WindowWithCrc(0x76123FC3u), true},
        {3, WindowWithCrc(0x13300753u), true},
        {4, WindowWithCrc(0xF154E8DEu), true},
        {5, WindowWithCrc(0xF83A9B29u), false},
        {6, WindowWithCrc(1244611884u), false},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> before = DiskImage(c.window, c.withBackup ? &backup : nullptr);
        ASSERT_TRUE(WriteImage(before));
        int variant = 0;
        ASSERT_TRUE(boot.CheckBootRecord(variant)) << c.variant;
        EXPECT_EQ(c.variant, variant);
        const std::size_t journaled = Journal().size();
        ASSERT_TRUE(boot.RepairBootRecord(variant)) << c.variant;
        std::uint8_t expected[kSectorSize];
        ASSERT_TRUE(PlanBootRecordRepair(c.variant, before.data(), c.withBackup ? backup.data() : nullptr, code.data(),
                                         code.size(), expected));
        const std::vector<unsigned char> after = Image();
        ASSERT_EQ(before.size(), after.size());
        EXPECT_EQ(0, std::memcmp(after.data(), expected, kSectorSize)) << c.variant;
        EXPECT_TRUE(std::equal(before.begin() + kSectorSize, before.end(), after.begin() + kSectorSize))
            << "only sector 0 changes: " << c.variant;
        const std::vector<JournalEntry> entries = Journal();
        const auto write = std::find_if(entries.begin() + journaled, entries.end(),
                                        [](const JournalEntry& e) { return e.kind == "write-sector"; });
        ASSERT_NE(entries.end(), write) << c.variant;
        EXPECT_EQ(places.bootDisk, write->fields[0]);
        EXPECT_NE(std::wstring::npos, write->fields[2].find(L"boot-record-disk.img-")) << write->fields[2];
        EXPECT_EQ(std::vector<unsigned char>(before.begin(), before.begin() + kDiskWindowSize), ReadBytes(write->fields[2]))
            << "the kept copy is the 4096 bytes before the write: " << c.variant;
    }
}

// Variants 2 to 4 need their backup sector; without one the check falls through and the repair writes nothing.
TEST_F(BootRecordTest, ABackupVariantWithoutItsBackupIsNeitherFoundNorWritten) {
    const std::vector<std::uint8_t> unusable = StoredBackupSector(false);
    const std::vector<std::uint8_t> before = DiskImage(WindowWithCrc(0x76123FC3u), &unusable);
    ASSERT_TRUE(WriteImage(before));
    int variant = 9;
    EXPECT_FALSE(boot.CheckBootRecord(variant));
    EXPECT_EQ(9, variant) << "left as it was";
    EXPECT_FALSE(boot.RepairBootRecord(2));
    EXPECT_EQ(before, Image());
    std::vector<std::uint8_t> shortImage(before.begin(), before.begin() + kDiskWindowSize);
    ASSERT_TRUE(WriteImage(shortImage));  // the backup sector lies beyond its end
    EXPECT_FALSE(boot.CheckBootRecord(variant));
    EXPECT_FALSE(boot.RepairBootRecord(3));
    EXPECT_TRUE(Journal().empty());
}

// The kept copy comes first: where it cannot be saved, sector 0 is not written.
TEST_F(BootRecordTest, NoWriteWhenTheBytesBeforeCannotBeKept) {
    const std::vector<std::uint8_t> before = DiskImage(VariantOneWindow());
    ASSERT_TRUE(WriteImage(before));
    LiveEffects nowhere(L"Q:\\not-a-drive\\BackFiles\\", L"Q:\\not-a-drive\\temp\\");
    CleanerHarness h;  // after the binding it refers to, so it goes first
    h.controller.UseEffects(nowhere);
    nowhere.BeginSession();
    BootRecordCleaner cleaner(h.controller, *h.log, h.prompter, h.launcher, places);
    EXPECT_FALSE(cleaner.RepairBootRecord(1));
    EXPECT_EQ(before, Image());
    EXPECT_TRUE(nowhere.Entries().empty());
    nowhere.EndSession();
}

// A system of class 0 has no standard boot code: variant 6 keeps its boot code, and its driver is still left for
// deletion and recorded.
TEST_F(BootRecordTest, ClassZeroKeepsTheBootCodeButFipsStillGoes) {
    SystemPlaces other = places;
    other.windowsVersionClass = 0;
    BootRecordCleaner classZero(controller, *log, prompter, launcher, other);
    const std::wstring fips = System32() + L"drivers\\fips.sys";
    ASSERT_TRUE(WriteBytes(fips, std::string("stand-in for the variant's driver")));
    for (int variant : {5, 6}) {
        const std::vector<std::uint8_t> before = DiskImage(WindowWithCrc(variant == 5 ? 0xDC902D29u : 1244611884u));
        ASSERT_TRUE(WriteImage(before));
        int found = 0;
        ASSERT_TRUE(classZero.CheckBootRecord(found));
        EXPECT_EQ(variant, found);
        EXPECT_FALSE(classZero.RepairBootRecord(found));
        EXPECT_EQ(before, Image()) << variant;
    }
    EXPECT_FALSE(FileExists(fips));
    const std::string logText = LogText();
    EXPECT_NE(std::string::npos, logText.find("fips.sys,," + kAtRestartGbk + ",,22,,")) << logText;
    // Vista and 7 take the other image, XP its own; any other class none.
    EXPECT_EQ(kBootCodeVistaResource, BootCodeResourceFor(3));
}

// No administrator rights: the disk does not open; only Windows 7 is told to run the program as administrator.
TEST_F(BootRecordTest, ADiskThatDoesNotOpenIsNoFindingAndWindows7SaysWhy) {
    for (int versionClass : {1, 2, 3, 0}) {
        SystemPlaces other = places;
        other.bootDisk = root / L"no-such-disk.img";
        other.windowsVersionClass = versionClass;
        BootRecordCleaner cleaner(controller, *log, prompter, launcher, other);
        prompter.asked.clear();
        int variant = 0;
        EXPECT_FALSE(cleaner.CheckBootRecord(variant));
        EXPECT_FALSE(cleaner.RepairBootRecord(1));
        if (versionClass == 3) {
            ASSERT_EQ(1u, prompter.asked.size());
            EXPECT_EQ(L"提示", prompter.asked[0].caption);
            EXPECT_EQ(L"请点右键->选择管理员身份运行", prompter.asked[0].text);
            EXPECT_EQ(UINT(MB_OK), prompter.asked[0].style);
        } else {
            EXPECT_TRUE(prompter.asked.empty()) << versionClass;
        }
    }
}

// The phase: found, repaired, told; then the companion's offer, or the maker's page when its installer is missing.
TEST_F(BootRecordTest, ThePhaseRepairsTellsAndOffersTheCompanion) {
    ASSERT_TRUE(WriteImage(DiskImage(VariantOneWindow())));
    boot.BootRecordPhase();
    EXPECT_EQ(3, controller.BootkitState);
    EXPECT_EQ(1, controller.BootkitVariant);
    EXPECT_EQ(1, controller.BootRecordRepaired);
    int variant = 0;
    EXPECT_FALSE(boot.CheckBootRecord(variant)) << "repaired";
    ASSERT_EQ(2u, prompter.asked.size());
    EXPECT_EQ(L"提示", prompter.asked[0].caption);
    EXPECT_EQ(L"发现鬼影病毒并且引导区修复完毕", prompter.asked[0].text);
    EXPECT_EQ(L"网络连接失败", prompter.asked[1].caption);
    EXPECT_EQ(L"发现鬼影病毒，但发现网络异常，不能查杀，请检测网络是否正常连接。", prompter.asked[1].text);
    ASSERT_EQ(1u, launcher.opened.size());
    EXPECT_EQ(BootRecordCleaner::kMakerPage, launcher.opened[0]);
    EXPECT_EQ(0, boot.CompanionAnswer);

    // Clean now; with the installer there the user is asked, and the answer is kept for the page.
    const std::wstring installer = places.programFiles + L"\\Velmora\\QRTB\\ovanwiz.exe";
    MakeFolders(places.programFiles + L"\\Velmora\\QRTB");
    ASSERT_TRUE(WriteBytes(installer, std::string("stand-in installer")));
    const struct {
        int answer;
        int kept;
    } answers[] = {{IDYES, 1}, {IDNO, 2}};
    for (const auto& a : answers) {
        controller.BootkitState = 0;
        prompter.asked.clear();
        launcher.opened.clear();
        prompter.answers = {a.answer};
        boot.BootRecordPhase();
        ASSERT_EQ(1u, prompter.asked.size());
        EXPECT_EQ(L"没有发现鬼影病毒", prompter.asked[0].caption);
        EXPECT_EQ(L"没有发现鬼影病毒，推荐使用青岚盾卫进行防御，是否安装？\n ", prompter.asked[0].text);
        EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), prompter.asked[0].style);
        EXPECT_EQ(a.kept, boot.CompanionAnswer.exchange(0));
        EXPECT_EQ(a.answer == IDYES ? std::vector<std::wstring>{installer} : std::vector<std::wstring>{}, launcher.opened);
    }
    ::DeleteFileW(installer.c_str());
    controller.BootkitState = 0;
    prompter.asked.clear();
    launcher.opened.clear();
    boot.BootRecordPhase();
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"没有发现鬼影病毒", prompter.asked[0].caption);
    EXPECT_EQ(L"没有发现鬼影病毒，但发现网络异常，不能查杀，请检测网络是否正常连接。 ", prompter.asked[0].text);
    EXPECT_EQ(UINT(MB_YESNO), prompter.asked[0].style);
    EXPECT_EQ(1u, launcher.opened.size());
}

// Variant 2 brings its dropper: both copies go before the boot record is rewritten.
TEST_F(BootRecordTest, VariantTwoTakesItsDropper) {
    const std::vector<std::uint8_t> backup = StoredBackupSector(true);
    ASSERT_TRUE(WriteImage(DiskImage(WindowWithCrc(0x76123FC3u), &backup)));
    const std::wstring dropper = places.windowsFolder + L"\\alg.exe", temp = places.windowsFolder + L"\\temp\\alg.exe";
    ASSERT_TRUE(WriteBytes(dropper, std::string("dropper stand-in")));
    ASSERT_TRUE(WriteBytes(temp, std::string("dropper stand-in, the temp copy")));
    boot.BootRecordPhase();
    EXPECT_FALSE(FileExists(dropper));
    EXPECT_FALSE(FileExists(temp));
    EXPECT_EQ(2, controller.BootkitVariant);
    EXPECT_EQ(1, controller.BootRecordRepaired);
}

// Report-only: the phase finds and plans, and writes nothing to the disk.
TEST_F(BootRecordTest, APlannedPhaseWritesNothing) {
    const std::vector<std::uint8_t> before = DiskImage(VariantOneWindow());
    ASSERT_TRUE(WriteImage(before));
    PlanEffects plan;
    CleanerHarness h;
    h.controller.UseEffects(plan);
    BootRecordCleaner planning(h.controller, *h.log, h.prompter, h.launcher, places);
    planning.BootRecordPhase();
    EXPECT_EQ(before, Image());
    const std::vector<JournalEntry> planned = plan.Entries();
    ASSERT_EQ(1u, planned.size());
    EXPECT_EQ("write-sector", planned[0].kind);
    EXPECT_EQ(places.bootDisk, planned[0].fields[0]);
    EXPECT_EQ(1, h.controller.BootRecordRepaired) << "would be";
}

// The first disk of the test prefix is its own image file, and the boot-record code reads that file's bytes.
TEST(FirstDiskStandIn, TheBootRecordCodeReadsTheImageOfThePrefix) {
    ASSERT_TRUE(BootDiskIsStandIn()) << "\\\\.\\PhysicalDrive0 is not the prefix's image: nothing may run here";
    std::vector<unsigned char> original(kDiskWindowSize);
    {
        FileHandle disk(::CreateFileW(kFirstDisk, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      0, nullptr));
        ASSERT_TRUE(disk.Valid());
        ASSERT_TRUE(ReadAt(disk.Get(), 0, original.data(), DWORD(original.size())));
    }
    CleanerHarness h;
    SystemPlaces real = RealSystemPlaces();
    ASSERT_EQ(std::wstring(kFirstDisk), real.bootDisk);
    BootRecordCleaner cleaner(h.controller, *h.log, h.prompter, h.launcher, real);
    int variant = 0;
    EXPECT_FALSE(cleaner.CheckBootRecord(variant)) << "the stand-in starts clean";
    // A variant-1 window written into the image is what the code then sees; the image is put back after.
    std::vector<std::uint8_t> infected = VariantOneWindow();
    std::copy(original.begin() + 1024, original.begin() + 1536, infected.begin() + 1024);  // the marker stays
    {
        FileHandle disk(::CreateFileW(kFirstDisk, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(disk.Valid());
        ASSERT_TRUE(WriteAt(disk.Get(), 0, infected.data(), DWORD(infected.size())));
    }
    EXPECT_TRUE(cleaner.CheckBootRecord(variant));
    EXPECT_EQ(1, variant);
    {
        FileHandle disk(::CreateFileW(kFirstDisk, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(disk.Valid());
        ASSERT_TRUE(WriteAt(disk.Get(), 0, original.data(), DWORD(original.size())));
    }
    EXPECT_TRUE(BootDiskIsStandIn());
}

// --- The resident cleaners.

class ResidentTest : public ::testing::Test, public SystemCleaners {
protected:
    void SetUp() override {
        SetUpRun();
        ASSERT_TRUE(WriteImage(DiskImage(CleanDiskWindow())));
        for (int k = 0; k < 256; ++k) identity.words[k] = std::uint16_t(k * 3 + 1);
        names = DeriveNames(DriveIdStringOf(identity.words));
    }
    void TearDown() override {
        controller.Changes().EndSession();
        RemoveTestKeys();
    }
    static void RemoveTestKeys() {
        ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\qerndrv");
        ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\qernguard");
        RegKey run;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, KEY_SET_VALUE, run.Put()) == ERROR_SUCCESS)
            for (const wchar_t* v : {L"veludisk-test-keep"}) ::RegDeleteValueW(run.Get(), v);
    }
    static void SetRunValue(const std::wstring& name, const std::wstring& data) {
        RegKey run;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, run.Put(),
                                                   nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(run.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                                  DWORD((data.size() + 1) * sizeof(wchar_t))));
    }
    static bool RunValueThere(const std::wstring& name) {
        DWORD type = 0;
        std::vector<std::uint8_t> data;
        return ReadRegistryValue(HKEY_LOCAL_MACHINE, kRun, name, type, data) == ERROR_SUCCESS;
    }
    static bool KeyThere(const wchar_t* key) {
        RegKey k;
        return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
    }
    std::size_t FirstIndex(const char* kind, const std::wstring& subjectPart) {
        const std::vector<JournalEntry> entries = Journal();
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].kind == kind && JournalSubject(entries[i]).find(subjectPart) != std::wstring::npos) return i;
        return std::size_t(-1);
    }
    static constexpr const wchar_t* kRun = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    DerivedNames names;
};

// The whole sequence on planted residue of every step: each is removed or immunized as the family's names say,
// in the sequence's order, and what is not the family's stays.
TEST_F(ResidentTest, EveryStepOnPlantedResidueInOrder) {
    const std::wstring a = Wide(names.a), b = Wide(names.b), d = Wide(names.d), e = Wide(names.e), f = Wide(names.f),
                       g = Wide(names.g), i = Wide(names.i);
    const std::wstring log = places.programFiles + L"\\Velmora\\VelUdisk\\velVirlog.ini";
    MakeFolders(places.programFiles + L"\\Velmora\\VelUdisk");
    ASSERT_TRUE(WriteBytes(log, std::string("[log]\r\n")));
    for (const wchar_t* key : {L"SYSTEM\\CurrentControlSet\\Services\\qerndrv\\Parameters",
                               L"SYSTEM\\CurrentControlSet\\Services\\qernguard"}) {
        RegKey k;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.Put(), nullptr));
    }
    const std::wstring shortcutTarget = System32() + L"abcdef.exe";
    ASSERT_TRUE(WriteBytes(shortcutTarget, std::string("MZ stand-in started from the Startup folder")));
    ASSERT_TRUE(MakeShortcut(places.allUsersStartup + L"\\qwerty.lnk", shortcutTarget));
    const std::wstring main = System32() + L"xp-" + e + L".exe";
    ASSERT_TRUE(WriteBytes(main, std::string("stand-in for the family's main file")));
    for (const std::wstring* folder : {&b, &d, &g, &i}) {
        MakeFolders(System32() + *folder + L"\\deeper");
        ASSERT_TRUE(WriteBytes(System32() + *folder + L"\\deeper\\part.dll", std::string("part of the family")));
    }
    const std::wstring profileStartup = places.userProfile + L"\\「开始」菜单\\程序\\启动\\";
    for (const std::wstring& n : {a, f, std::wstring(L"\u3000\u3000\u3000")})
        ASSERT_TRUE(WriteBytes(profileStartup + n + L".lnk", std::string("shortcut stand-in")));
    ASSERT_TRUE(WriteBytes(profileStartup + L"notes.lnk", std::string("the user's own")));
    SetRunValue(a, main);
    SetRunValue(L"xp-" + e, main);
    SetRunValue(f, main);
    SetRunValue(L"veludisk-test-keep", L"C:\\windows\\notepad.exe");

    EXPECT_EQ(S_OK, resident.CleanResidentThreats());

    EXPECT_FALSE(FileExists(log));
    EXPECT_FALSE(KeyThere(L"SYSTEM\\CurrentControlSet\\Services\\qerndrv"));
    EXPECT_FALSE(KeyThere(L"SYSTEM\\CurrentControlSet\\Services\\qernguard"));
    EXPECT_FALSE(FileExists(places.allUsersStartup + L"\\qwerty.lnk"));
    EXPECT_TRUE(FileExists(shortcutTarget + L"\\con")) << "immunized where its target was";
    for (const std::wstring* folder : {&b, &d, &g, &i})
        EXPECT_FALSE(FileExists(System32() + *folder + L"\\deeper\\part.dll")) << *folder;
    EXPECT_TRUE(FileExists(main + L"\\con")) << "the main file's place is immunized";
    EXPECT_TRUE(FileExists(System32() + b + L"\\" + a + L".exe\\con"));
    EXPECT_TRUE(FileExists(System32() + g + L"\\" + f + L".exe\\con"));
    EXPECT_EQ(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN,
              ::GetFileAttributesW(main.c_str()) & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN));
    for (const std::wstring& n : {a, f, std::wstring(L"\u3000\u3000\u3000")}) EXPECT_FALSE(FileExists(profileStartup + n + L".lnk"));
    EXPECT_TRUE(FileExists(profileStartup + L"notes.lnk"));
    EXPECT_FALSE(RunValueThere(a));
    EXPECT_FALSE(RunValueThere(L"xp-" + e));
    EXPECT_FALSE(RunValueThere(f));
    EXPECT_TRUE(RunValueThere(L"veludisk-test-keep"));
    EXPECT_EQ(1, controller.ThreatFollowUpState);
    EXPECT_EQ(0, controller.BootkitState) << "a clean disk";

    // The order of the steps, as the journal has them.
    const std::size_t logStep = FirstIndex("delete-file", L"velVirlog.ini"),
                      services = FirstIndex("registry-delete-key", L"qerndrv"),
                      startup = FirstIndex("delete-file", L"abcdef.exe"),
                      family = FirstIndex("delete-file", L"xp-" + e),
                      runValues = FirstIndex("registry-delete-value", L"\\Run\\" + a);
    ASSERT_NE(std::size_t(-1), runValues);
    EXPECT_LT(logStep, services);
    EXPECT_LT(services, startup);
    EXPECT_LT(startup, family);
    EXPECT_LT(family, runValues);

    const std::string text = LogText();
    EXPECT_NE(std::string::npos, text.find("abcdef.exe,," + kDeletedGbk + ",,13,,")) << text;
    EXPECT_NE(std::string::npos, text.find("qwerty.lnk,," + kDeletedGbk + ",,13,,")) << text;
    EXPECT_NE(std::string::npos, text.find("part.dll,," + kDeletedGbk + ",,6,,")) << text;
}

// Without identify data the names come from the MD5 of the empty text, and the steps run unchanged.
TEST_F(ResidentTest, NoIdentifyDataDerivesFromTheEmptyText) {
    NoIdentity none;
    DriveEngine blind{controller, *log, crcs, trust, guard, noMedia, RealRunningPrograms(),
                      EngineSeams{prompter, launcher, none, places}};
    EXPECT_EQ("", blind.resident.DriveIdString());
    const std::wstring main = System32() + L"xp-d41d8cd9.exe";
    MakeFolders(System32() + L"204e98");
    ASSERT_TRUE(WriteBytes(main, std::string("main file stand-in")));
    ASSERT_TRUE(WriteBytes(System32() + L"204e98\\x.dat", std::string("part")));
    SetRunValue(L"1d8cd9", main);
    EXPECT_EQ(S_OK, blind.resident.CleanResidentThreats());
    EXPECT_TRUE(FileExists(main + L"\\con"));
    EXPECT_FALSE(FileExists(System32() + L"204e98\\x.dat"));
    EXPECT_TRUE(FileExists(System32() + L"204e98\\1d8cd9.exe\\con"));
    EXPECT_FALSE(RunValueThere(L"1d8cd9"));
}

// Only the first matching shortcut of a folder is looked at, and only a target under "\system32\" (in that
// case) that the system does not protect and no trusted publisher signed.
TEST_F(ResidentTest, StartupShortcutsTakeOnlyWhatTheyMay) {
    const std::wstring folder = places.userStartup;
    const std::wstring worm = System32() + L"wormy1.exe", second = System32() + L"wormy2.exe";
    ASSERT_TRUE(WriteBytes(worm, std::string("MZ worm stand-in one")));
    ASSERT_TRUE(WriteBytes(second, std::string("MZ worm stand-in two")));
    ASSERT_TRUE(MakeShortcut(folder + L"\\aaaaaa.lnk", worm));
    ASSERT_TRUE(MakeShortcut(folder + L"\\bbbbbb.lnk", second));
    resident.CleanStartupShortcuts(folder);
    const bool firstGone = !FileExists(folder + L"\\aaaaaa.lnk"), secondGone = !FileExists(folder + L"\\bbbbbb.lnk");
    EXPECT_NE(firstGone, secondGone) << "exactly one shortcut per run";
    EXPECT_EQ(firstGone, !IsFile(worm));
    EXPECT_EQ(secondGone, !IsFile(second));
    resident.CleanStartupShortcuts(folder);
    EXPECT_FALSE(FileExists(folder + L"\\aaaaaa.lnk"));
    EXPECT_FALSE(FileExists(folder + L"\\bbbbbb.lnk"));
    EXPECT_EQ(1, controller.ThreatFollowUpState);

    // Left alone: a target elsewhere, one under "SYSTEM32" in capitals, a protected file, a trusted file.
    MakeFolders(places.windowsFolder + L"\\SYSTEM32X\\SYSTEM32");
    const std::wstring elsewhere = root / L"tool.exe", capitals = places.windowsFolder + L"\\SYSTEM32X\\SYSTEM32\\tool1.exe",
                       protectedFile = System32() + L"ctfmon.exe", trustedFile = System32() + L"signed.exe";
    for (const std::wstring& t : {elsewhere, capitals, protectedFile, trustedFile})
        ASSERT_TRUE(WriteBytes(t, std::string("MZ a program of the user's")));
    guard.protectedFiles.insert(protectedFile);
    trust.trusted.push_back(trustedFile);
    for (const std::wstring& t : {elsewhere, capitals, protectedFile, trustedFile}) {
        ASSERT_TRUE(MakeShortcut(folder + L"\\keep01.lnk", t));
        resident.CleanStartupShortcuts(folder);
        EXPECT_TRUE(IsFile(t)) << t;
        EXPECT_TRUE(FileExists(folder + L"\\keep01.lnk")) << t;
        ASSERT_TRUE(::DeleteFileW((folder + L"\\keep01.lnk").c_str()));
    }
    // A five-letter name is looked at when no six-letter one is there.
    const std::wstring five = System32() + L"five5.exe";
    ASSERT_TRUE(WriteBytes(five, std::string("MZ worm stand-in five")));
    ASSERT_TRUE(MakeShortcut(folder + L"\\abcde.lnk", five));
    resident.CleanStartupShortcuts(folder);
    EXPECT_FALSE(IsFile(five));
    EXPECT_FALSE(FileExists(folder + L"\\abcde.lnk"));
}

// --- The WMI check through its seam.

TEST(WmiCheck, ABindingCountsEvenWithoutScriptAndLinesSayWhatItRuns) {
    ListedWmiBindings source;
    WmiBinding noScript;
    noScript.consumer = L"ActiveScriptEventConsumer.Name=\"quiet\"";
    noScript.consumerFetched = true;
    noScript.filter = L"__EventFilter.Name=\"f1\"";
    WmiBinding script = noScript;
    script.consumer = L"ActiveScriptEventConsumer.Name=\"loud\"";
    script.hasScriptText = true;
    script.scriptText = L"CreateObject(\"WScript.Shell\")";
    WmiBinding file = noScript;
    file.scriptFileName = L"C:\\x.vbs";
    WmiBinding unreachable;
    unreachable.consumer = L"Missing.Name=\"gone\"";
    unreachable.filter = L"__EventFilter.Name=\"f2\"";
    source.list.bindings = {noScript, script, file, unreachable};
    std::vector<std::wstring> lines;
    EXPECT_EQ(1, CheckWmiScriptConsumers(source, [&](const std::wstring& l) { lines.push_back(l); }));
    EXPECT_NE(::GetCurrentThreadId(), source.queryThread) << "on a thread of its own";
    const std::vector<std::wstring> expected = {
        L"Consumer : ActiveScriptEventConsumer.Name=\"quiet\"", L"Filter : __EventFilter.Name=\"f1\"",
        L"Consumer : ActiveScriptEventConsumer.Name=\"loud\"",  L"Code: CreateObject(\"WScript.Shell\")",
        L"Filter : __EventFilter.Name=\"f1\"",                   L"Consumer : ActiveScriptEventConsumer.Name=\"quiet\"",
        L"Code Path: C:\\x.vbs",                                 L"Filter : __EventFilter.Name=\"f1\"",
        L"Consumer : Missing.Name=\"gone\"",                     L"Filter : __EventFilter.Name=\"f2\""};
    EXPECT_EQ(expected, lines);

    source.list.bindings = {unreachable};
    EXPECT_EQ(0, CheckWmiScriptConsumers(source, [](const std::wstring&) {})) << "no consumer to be had";
}

TEST(WmiCheck, ConnectionFailuresSayTheirCode) {
    ListedWmiBindings source;
    const struct {
        WmiBindingList::Failure failure;
        HRESULT code;
        std::vector<std::wstring> lines;
    } cases[] = {
        {WmiBindingList::Failure::Connect, HRESULT(0x80041003), {L"Could not connect. Error code = 0x80041003"}},
        {WmiBindingList::Failure::ProxyBlanket, HRESULT(0x80070005), {L"Could not set proxy blanket. Error code = 0x80070005"}},
        {WmiBindingList::Failure::Other, E_FAIL, {}},
    };
    for (const auto& c : cases) {
        source.list.failure = c.failure;
        source.list.code = c.code;
        source.list.bindings = {WmiBinding()};
        source.list.bindings[0].consumerFetched = true;
        std::vector<std::wstring> lines;
        EXPECT_EQ(0, CheckWmiScriptConsumers(source, [&](const std::wstring& l) { lines.push_back(l); }));
        EXPECT_EQ(c.lines, lines);
    }
}

// Under Wine the real binding connects or fails, but never finds a binding (there are no persistence classes).
TEST(WmiCheck, TheRealSourceFindsNothingHere) {
    std::vector<std::wstring> lines;
    EXPECT_EQ(0, CheckWmiScriptConsumers(RealWmiBindings(), [&](const std::wstring& l) { lines.push_back(l); }));
    for (const std::wstring& l : lines) EXPECT_EQ(std::wstring::npos, l.find(L"Consumer : ")) << l;
}

}  // namespace
