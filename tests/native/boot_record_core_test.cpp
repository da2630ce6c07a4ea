#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cleaners/system/BootRecordCore.h"
#include "support/BootWindows.h"

namespace {

int Analyse(const std::vector<std::uint8_t>& w, const std::vector<std::uint8_t>* backup = nullptr, bool read = true) {
    return AnalyseBootRecord(w.data(), read, backup ? backup->data() : nullptr);
}

TEST(BootRecordCheck, CleanDiskAndZeroWindowAreNoFinding) {
    EXPECT_EQ(0, Analyse(CleanDiskWindow()));
    const std::vector<std::uint8_t> zeros(kDiskWindowSize);
    EXPECT_EQ(0, Analyse(zeros, nullptr, false));
}

TEST(BootRecordCheck, VariantOneNeedsBothSetsAndASuccessfulRead) {
    EXPECT_EQ(1, Analyse(VariantOneWindow()));
    std::vector<std::uint8_t> onlyA = CleanDiskWindow(), onlyB = CleanDiskWindow();
    PutSetA(onlyA);
    PutSetB(onlyB);
    EXPECT_EQ(0, Analyse(onlyA));
    EXPECT_EQ(0, Analyse(onlyB));
    // One byte off in any entry breaks the set.
    for (std::size_t at : {0x003u, 0x333u, 0x803u, 0x207u, 0x2A7u, 0x37Fu}) {
        std::vector<std::uint8_t> w = VariantOneWindow();
        w[at] ^= 0x01;
        EXPECT_EQ(0, Analyse(w)) << "byte " << at;
    }
    EXPECT_EQ(0, Analyse(VariantOneWindow(), nullptr, false));
}

TEST(BootRecordCheck, VariantOneWinsOverACrcRuleThatAlsoHolds) {
    std::vector<std::uint8_t> w = VariantOneWindow();
    ForgeBootRecordCrc(w, 0xDC902D29u);  // a variant-5 value; the patch bytes lie outside both sets
    ASSERT_EQ(0xDC902D29u, BootRecordCrc(w.data()));
    EXPECT_EQ(1, Analyse(w));
}

TEST(BootRecordCheck, SignatureEntryOutsideTheWindowFailsTheSet) {
    const std::vector<std::uint8_t> w = VariantOneWindow();
    const std::uint8_t any[4] = {0, 0, 0, 0};
    const ByteSignature beyond[] = {{4094, 4, any}};
    const ByteSignature wrapping[] = {{0xFFFFFFFEu, 4, any}};
    const ByteSignature fits[] = {{4092, 4, &w[4092]}};
    EXPECT_FALSE(SignatureSetMatches(w.data(), w.size(), beyond, 1));
    EXPECT_FALSE(SignatureSetMatches(w.data(), w.size(), wrapping, 1));
    EXPECT_TRUE(SignatureSetMatches(w.data(), w.size(), fits, 1));
}

TEST(BootRecordCheck, BackupVariantsNeedADecodableBackupSector) {
    const std::vector<std::uint8_t> usable = StoredBackupSector(true), unusable = StoredBackupSector(false);
    const struct {
        std::uint32_t crc;
        int variant;
    } cases[] = {{0x76123FC3u, 2}, {0x13300753u, 3}, {0xF154E8DEu, 4}};
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> w = WindowWithCrc(c.crc);
        EXPECT_EQ(c.variant, Analyse(w, &usable)) << c.crc;
        EXPECT_EQ(0, Analyse(w, &unusable)) << "falls through to the later rules: " << c.crc;
        EXPECT_EQ(0, Analyse(w, nullptr)) << "backup not read in full: " << c.crc;
    }
}

TEST(BootRecordCheck, VariantFiveByValueOrDecimalTextOnlyWhenActiveAndSigned) {
    const std::uint32_t values[] = {0xDC902D29u, 0xF83A9B29u, 0x0A2A019Fu, 3879804057u, 3805933081u, 3484933759u,
                                    3484831608u, 1856553801u, 3094377057u, 1744287236u};
    for (std::uint32_t crc : values) {
        std::vector<std::uint8_t> w = WindowWithCrc(crc);
        EXPECT_EQ(5, Analyse(w)) << crc;
        w[446] = 0x00;  // no active first partition
        EXPECT_EQ(0, Analyse(w)) << crc;
        w = WindowWithCrc(crc);
        w[511] = 0x00;
        EXPECT_EQ(0, Analyse(w)) << crc;
    }
}

TEST(BootRecordCheck, VariantSixOnlyForItsCrc) {
    std::vector<std::uint8_t> w = WindowWithCrc(1244611884u);
    EXPECT_EQ(6, Analyse(w));
    w[446] = 0x00;
    EXPECT_EQ(0, Analyse(w));
    // Neighbours of the value are nothing: the text compares whole.
    EXPECT_EQ(0, Analyse(WindowWithCrc(124461188u)));
    EXPECT_EQ(0, Analyse(WindowWithCrc(1244611885u)));
}

TEST(BootRecordRepair, VariantOneTakesTheFirst384BytesOfSectorOne) {
    const std::vector<std::uint8_t> w = VariantOneWindow();
    std::uint8_t out[kSectorSize];
    ASSERT_TRUE(PlanBootRecordRepair(1, w.data(), nullptr, nullptr, 0, out));
    EXPECT_EQ(0, std::memcmp(out, &w[512], 384));
    EXPECT_EQ(0, std::memcmp(out + 384, &w[384], 128));
}

TEST(BootRecordRepair, BackupVariantsKeepThePartitionTableAndSignature) {
    const std::vector<std::uint8_t> w = WindowWithCrc(0x76123FC3u), stored = StoredBackupSector(true);
    std::uint8_t decoded[kSectorSize];
    DecodeBackupSector(stored.data(), decoded, kSectorSize);
    for (int variant : {2, 3, 4}) {
        std::uint8_t out[kSectorSize];
        ASSERT_TRUE(PlanBootRecordRepair(variant, w.data(), stored.data(), nullptr, 0, out));
        EXPECT_EQ(0, std::memcmp(out, decoded, 446));
        EXPECT_EQ(0, std::memcmp(out + 446, &w[446], 66));
    }
    const std::vector<std::uint8_t> unusable = StoredBackupSector(false);
    std::uint8_t out[kSectorSize];
    EXPECT_FALSE(PlanBootRecordRepair(2, w.data(), unusable.data(), nullptr, 0, out));
    EXPECT_FALSE(PlanBootRecordRepair(3, w.data(), nullptr, nullptr, 0, out));
}

TEST(BootRecordRepair, CodeVariantsWriteExactly440BytesOfBootCode) {
    const std::vector<std::uint8_t> w = WindowWithCrc(0xDC902D29u);
    std::vector<std::uint8_t> code(kBootCodeSize, 0x90);
    for (int variant : {5, 6}) {
        std::uint8_t out[kSectorSize];
        ASSERT_TRUE(PlanBootRecordRepair(variant, w.data(), nullptr, code.data(), code.size(), out));
        EXPECT_EQ(0, std::memcmp(out, code.data(), kBootCodeSize));
        EXPECT_EQ(0, std::memcmp(out + 440, &w[440], 72));
    }
    std::uint8_t out[kSectorSize];
    std::vector<std::uint8_t> longer(kBootCodeSize + 1, 0x90);
    EXPECT_FALSE(PlanBootRecordRepair(5, w.data(), nullptr, longer.data(), longer.size(), out));
    EXPECT_FALSE(PlanBootRecordRepair(6, w.data(), nullptr, nullptr, 0, out));
    EXPECT_FALSE(PlanBootRecordRepair(0, w.data(), nullptr, code.data(), code.size(), out));
    EXPECT_FALSE(PlanBootRecordRepair(7, w.data(), nullptr, code.data(), code.size(), out));
}

TEST(BootRecordRepair, BootCodeByVersionClass) {
    EXPECT_EQ(0, BootCodeResourceFor(0));
    EXPECT_EQ(233, BootCodeResourceFor(1));
    EXPECT_EQ(234, BootCodeResourceFor(2));
    EXPECT_EQ(234, BootCodeResourceFor(3));
    EXPECT_EQ(0, BootCodeResourceFor(4));
}

}  // namespace
