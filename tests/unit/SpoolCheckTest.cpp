// The source-folder check: each rule found at the file and line where it applies.
#include "tools/pack/SpoolCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {
class SpoolCheckTest : public ::testing::Test {
  protected:
    void Write(const std::string& name, const std::string& bytes) {
        WriteFile(dir / "src" / name, bytes);
    }
    // A folder the tool imports exactly as meant.
    void CleanFolder() {
        Write("idcard.spl", "CH1\tTP\tENG\tMDES\t7\n");
        Write("idcomp.spl", "CH1\t1\tC1\nCH1\t2\tC2\n");
        Write("serial.spl", "CH1\tS1\tN1\n");
        Write("tun.spl", "CH1\ttun/t.bin\n");
        Write("tun/t.bin", std::string(1000, 'x'));
        Write("vs.spl", "C1\t2\tvs1.bin\nC2\t-3\tvs2.bin  \n");
        Write("vs1.bin", std::string(20, 'a'));
        Write("vs2.bin", std::string(5, 'b'));
    }
    SpoolReport Check() { return CheckSpoolFolder((dir / "src").string()); }

    TempDir dir;
};

std::string Listing(const SpoolReport& report) {
    std::string text;
    for (const Finding& finding : report.findings) {
        text += FormatFinding(finding) + "\n";
    }
    return text;
}

// The one finding for file:line whose rule holds ruleText; fails when there is none.
::testing::AssertionResult Found(const SpoolReport& report, Finding::Severity severity,
                                 const std::string& file, int line, const std::string& ruleText) {
    const auto match =
        std::find_if(report.findings.begin(), report.findings.end(), [&](const Finding& f) {
            return f.severity == severity && f.file == file && f.line == line &&
                   f.rule.find(ruleText) != std::string::npos;
        });
    if (match == report.findings.end()) {
        return ::testing::AssertionFailure()
               << (severity == Finding::error ? "error" : "warning") << " '" << ruleText << "' at "
               << file << ":" << line << " not among:\n"
               << Listing(report);
    }
    if (match->effect.empty()) {
        return ::testing::AssertionFailure() << "no effect given for " << FormatFinding(*match);
    }
    return ::testing::AssertionSuccess();
}
}  // namespace

// A data file named twice, in two spellings, counts once.
TEST_F(SpoolCheckTest, ACleanFolderHasNoFindingAndCountsEveryRowAndDataFileOnce) {
    CleanFolder();
    const SpoolReport report = Check();
    EXPECT_TRUE(report.findings.empty()) << Listing(report);
    EXPECT_EQ(report.rowsWritten[kIdcardTable], 1);
    EXPECT_EQ(report.rowsWritten[kIdcompTable], 2);
    EXPECT_EQ(report.rowsWritten[kSerialTable], 1);
    EXPECT_EQ(report.rowsWritten[kTunTable], 1);
    EXPECT_EQ(report.rowsWritten[kVsTable], 2);
    EXPECT_EQ(report.dataFileBytes, 1025U);

    Write("vs.spl", "C1\t2\tvs1.bin\nC2\t3\t./vs1.bin\n");
    fs::remove(dir / "src" / "vs2.bin");
    const SpoolReport twice = Check();
    EXPECT_TRUE(twice.findings.empty()) << Listing(twice);
    EXPECT_EQ(twice.dataFileBytes, 1020U);
}

// Which texts are 32-bit numbers: SpoolTextTest; every reason a data file's
// name is refused for: ContainedFileTest.
TEST_F(SpoolCheckTest, DataFilesMustBeInsideTheFolderAndVsTypes32BitNumbers) {
    CleanFolder();
    WriteFile(dir / "outside.bin", "x");
    Write("tun.spl", "CH1\tabsent.bin\n");
    Write("vs.spl",
          "C1\t2147483647\tvs1.bin\nC2\t3\t../outside.bin\nC1\t2x\tvs1.bin\nC1\tvs1.bin\n");
    const SpoolReport report = Check();
    EXPECT_TRUE(Found(report, Finding::error, "tun.spl", 1, "'absent.bin' is missing"));
    EXPECT_TRUE(Found(report, Finding::error, "vs.spl", 2, "leaves the directory"));
    EXPECT_TRUE(Found(report, Finding::error, "vs.spl", 3, "'2x' is not a 32-bit"));
    EXPECT_TRUE(Found(report, Finding::error, "vs.spl", 4, "''"));
    EXPECT_EQ(report.Count(Finding::error), 4) << Listing(report);
    // A line whose vs type is none writes no row.
    EXPECT_EQ(report.rowsWritten[kVsTable], 2);
}

TEST_F(SpoolCheckTest, TextsLongerThanTheirColumnsAndIdCardFieldsAcrossLines) {
    CleanFolder();
    // The ID card's fourth field on its second line, one byte too long.
    Write("idcard.spl", "CH1\tTP\nX\tENG\t" + std::string(256, 'm') + "\t7\n");
    const std::string longText(300, 'z');
    Write("idcomp.spl", "CH1\t1\tC1\nCH1\t2\t" + longText + "\n");
    Write("serial.spl", "CH1\t" + longText + "\tN1\n");
    Write("vs.spl", longText + "\t2\tvs1.bin\nC2\t3\tvs2.bin\n");
    const SpoolReport report = Check();
    EXPECT_TRUE(Found(report, Finding::error, "idcard.spl", 2, "256 bytes is longer than te_mdes"));
    EXPECT_TRUE(Found(report, Finding::warning, "idcard.spl", 1, "field 2 holds a line end"));
    EXPECT_TRUE(Found(report, Finding::error, "idcomp.spl", 2, "longer than te_comp"));
    EXPECT_TRUE(Found(report, Finding::error, "serial.spl", 1, "longer than te_serialID"));
    EXPECT_TRUE(Found(report, Finding::error, "vs.spl", 1, "longer than te_comp"));
    EXPECT_EQ(report.findings.size(), 5U) << Listing(report);
    // A field of exactly the column's size fits.
    Write("idcard.spl", "CH1\tTP\tENG\t" + std::string(255, 'm') + "\t7\n");
    EXPECT_EQ(Check().findings.size(), 3U) << Listing(Check());
}

TEST_F(SpoolCheckTest, ANulByteIsAnErrorWhereItStands) {
    CleanFolder();
    Write("serial.spl", std::string("CH1\tS1\tN1\nCH1\tS2\tN2\nCH1\tS\0\tN3\n", 30));
    const SpoolReport report = Check();
    EXPECT_TRUE(Found(report, Finding::error, "serial.spl", 3, "NUL byte"));
    // Only what stands before it is imported.
    EXPECT_EQ(report.rowsWritten[kSerialTable], 2);
}

TEST_F(SpoolCheckTest, LineEndsTheToolDoesNotExpect) {
    CleanFolder();
    Write("idcomp.spl", "CH1\t1\tC1\nCH1\t2\tC2");
    Write("serial.spl", "CH1\tS1\tN1\rCH1\tS2\tN2\r");
    Write("vs.spl", "C1\t2\tvs1.bin\nC2\t3\tvs2.bin\r\nC3\t4\tvs2.bin\r\n");
    const SpoolReport report = Check();
    EXPECT_TRUE(Found(report, Finding::warning, "idcomp.spl", 2, "text after the last line feed"));
    EXPECT_EQ(report.rowsWritten[kIdcompTable], 1);
    EXPECT_TRUE(Found(report, Finding::warning, "serial.spl", 1, "carriage returns but no line"));
    EXPECT_EQ(report.rowsWritten[kSerialTable], 0);
    EXPECT_TRUE(Found(report, Finding::warning, "vs.spl", 2, "carriage-return line ends (2"));
    EXPECT_EQ(report.findings.size(), 3U) << Listing(report);
    // Where the line's last field is a text, the carriage return is stored in it.
    Write("idcomp.spl", "CH1\t1\tC1\r\n");
    const SpoolReport stored = Check();
    ASSERT_TRUE(Found(stored, Finding::warning, "idcomp.spl", 1, "carriage-return line ends (1"));
    EXPECT_NE(stored.findings.front().effect.find("stored at the end of te_comp"),
              std::string::npos)
        << Listing(stored);
}

// What the tool really does with a line without TABs: every field is empty, a
// row without a value is not written, and an empty chassis number names no vehicle.
TEST_F(SpoolCheckTest, LinesWithoutTheTabsTheirLayoutNeeds) {
    CleanFolder();
    Write("idcard.spl", "CH1\tTP\tENG\n");
    Write("idcomp.spl", "no tab here\nCH1\t2\n\n");
    Write("vs.spl", "C1\t2\tvs1.bin\nno tab here\n\t5\tvs2.bin\n");
    const SpoolReport report = Check();
    EXPECT_TRUE(Found(report, Finding::warning, "idcard.spl", 1, "only 2 of the 4 TABs"));
    EXPECT_TRUE(Found(report, Finding::warning, "idcomp.spl", 1, "0 of the 2 TABs"));
    EXPECT_TRUE(Found(report, Finding::warning, "idcomp.spl", 2, "1 of the 2 TABs"));
    EXPECT_TRUE(Found(report, Finding::warning, "idcomp.spl", 3, "0 of the 2 TABs"));
    EXPECT_TRUE(Found(report, Finding::warning, "vs.spl", 2, "no component"));
    EXPECT_TRUE(Found(report, Finding::warning, "vs.spl", 3, "no component"));
    EXPECT_EQ(report.rowsWritten[kIdcompTable], 1);
    EXPECT_EQ(report.rowsWritten[kVsTable], 1);
    // vs2.bin is now named by no line the tool reads.
    EXPECT_TRUE(Found(report, Finding::warning, "vs2.bin", 0, "named by no spool line"));
    ASSERT_EQ(report.findings.size(), 7U) << Listing(report);
    // In file and line order: the ID card's, then the components' lines 1 to 3.
    const std::string& first = report.findings[1].effect;
    const std::string& later = report.findings[3].effect;
    for (const std::string& effect : {first, later}) {
        EXPECT_NE(effect.find("no row is written"), std::string::npos) << effect;
        EXPECT_EQ(effect.find("every field empty"), std::string::npos) << effect;
    }
    // On the first line it also decides whose old rows go: nobody's.
    EXPECT_NE(first.find("old rows of 'CH1' stay"), std::string::npos) << first;
    EXPECT_EQ(later.find("old rows"), std::string::npos) << later;
}

TEST_F(SpoolCheckTest, RowsForAnotherChassisThanTheIdCards) {
    CleanFolder();
    Write("idcomp.spl", "CH2\t1\tC1\nCH1\t2\tC2\n");
    Write("serial.spl", "CH1\tS1\tN1\nch1\tS2\tN2\n");
    const SpoolReport report = Check();
    EXPECT_TRUE(Found(report, Finding::warning, "idcomp.spl", 1, "chassis differs"));
    EXPECT_TRUE(Found(report, Finding::warning, "serial.spl", 2, "chassis differs"));
    EXPECT_EQ(report.findings.size(), 2U) << Listing(report);
    // The first line decides whose old rows go.
    EXPECT_NE(report.findings[0].effect.find("old rows of 'CH2' are replaced"), std::string::npos)
        << report.findings[0].effect;
}

TEST_F(SpoolCheckTest, MissingListsTwiceUsedKeysAndUnnamedFiles) {
    CleanFolder();
    fs::remove(dir / "src" / "idcomp.spl");
    fs::remove(dir / "src" / "serial.spl");
    Write("vs.spl", "C1\t2\tvs1.bin\nC2\t3\tvs2.bin\nC1\t 2 \tvs2.bin\n");
    Write("notes/readme.txt", "for the producer");
    const SpoolReport report = Check();
    EXPECT_TRUE(Found(report, Finding::warning, "idcomp.spl", 0, "no idcomp.spl"));
    EXPECT_TRUE(Found(report, Finding::warning, "serial.spl", 0, "no serial.spl"));
    EXPECT_TRUE(Found(report, Finding::warning, "vs.spl", 3, "same vs key as line 1"));
    EXPECT_TRUE(Found(report, Finding::warning, "notes/readme.txt", 0, "named by no spool line"));
    EXPECT_EQ(report.findings.size(), 4U) << Listing(report);
    EXPECT_EQ(report.Count(Finding::error), 0);
}

// A link is never followed, wherever it points (how each other thing that
// cannot reach a medium is named: MediumToolsTest).
TEST_F(SpoolCheckTest, ALinkIsRefusedAndASpoolFileThatIsOneIsNotRead) {
    CleanFolder();
    WriteFile(dir / "outside.txt", "not for the medium");
    fs::create_symlink(dir / "outside.txt", dir / "src" / "outside-link");
    fs::rename(dir / "src" / "idcard.spl", dir / "idcard.spl");
    fs::create_symlink(dir / "idcard.spl", dir / "src" / "idcard.spl");
    const SpoolReport report = Check();
    EXPECT_TRUE(Found(report, Finding::error, "outside-link", 0,
                      "symbolic link to " + (dir / "outside.txt").string() + ", outside"));
    EXPECT_TRUE(Found(report, Finding::error, "idcard.spl", 0, "symbolic link"));
    EXPECT_TRUE(Found(report, Finding::error, "idcard.spl", 0, "no idcard.spl"));
    EXPECT_EQ(report.rowsWritten[kIdcardTable], 0);
}
