#include "report/report_channel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "test_support.h"

namespace arbora {
namespace {

using testing::fileLines;
using testing::readBytes;

class ReportChannelTest : public testing::InTempDir {};

TEST_F(ReportChannelTest, EndsEveryFileLineWithCrLfAndNothingElse) {
    testing::RecordedScreen screen;
    ReportChannel channel(screen.sink());
    channel.openReport("a report.txt");
    channel.writeLine(Sink::both, R"(/, 2X, "Quercus aliena:")");
    channel.writeListLine(Sink::both, "---");
    channel.writeLine(Sink::file, R"(2X, I3)", {25});
    channel.closeReport();

    EXPECT_EQ(readBytes("a report.txt"), "\r\n  Quercus aliena:\r\n ---\r\n   25\r\n");
    EXPECT_EQ(screen.lines, (std::vector<std::string>{"", "  Quercus aliena:", " ---"}));
}

TEST_F(ReportChannelTest, ASecondShorterRunLeavesOnlyItsLines) {
    ReportChannel channel(nullptr);
    channel.openReport("table.txt");
    for (int i = 0; i < 5; ++i)
        channel.writeLine(Sink::file, R"(I3)", {i});
    channel.closeReport();
    channel.openReport("table.txt");
    channel.writeLine(Sink::file, R"("only")");
    channel.closeReport();
    EXPECT_EQ(fileLines("table.txt"), std::vector<std::string>{"only"});
}

TEST_F(ReportChannelTest, WritesEachLineToTheScreenBeforeTheFile) {
    // At each screen line, the file holds only the lines written before it.
    std::vector<std::size_t> fileSizeAtScreen;
    ReportChannel channel(
        [&](std::string_view) { fileSizeAtScreen.push_back(readBytes("order.txt").size()); });
    channel.openReport("order.txt");
    channel.writeLine(Sink::both, R"("ab")");
    channel.writeLine(Sink::both, R"("cd")");
    channel.closeReport();
    EXPECT_EQ(fileSizeAtScreen, (std::vector<std::size_t>{0, 4}));
}

TEST_F(ReportChannelTest, AFileThatCannotBeOpenedIsReportedWithItsNameAndReason) {
    std::filesystem::create_directory("Sim1.txt");  // a folder in the file's place
    ReportChannel channel(nullptr);
    try {
        channel.openReport("Sim1.txt");
        FAIL() << "opening a folder as a report file succeeded";
    } catch (const ReportFileError& error) {
        EXPECT_EQ(error.fileName(), "Sim1.txt");
        EXPECT_FALSE(error.reason().empty());
        EXPECT_NE(std::string(error.what()).find("Sim1.txt"), std::string::npos);
    }
}

TEST_F(ReportChannelTest, AFailedWriteIsReportedAndClosesTheFile) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    std::filesystem::create_symlink("/dev/full", "full.txt");
    testing::RecordedScreen screen;
    ReportChannel channel(screen.sink());
    channel.openReport("full.txt");
    EXPECT_THROW(channel.writeLine(Sink::both, R"("line")"), ReportFileError);
    EXPECT_EQ(screen.lines, std::vector<std::string>{"line"});  // the screen keeps its line
    channel.openReport("next.txt");                             // no file was left open
    channel.writeLine(Sink::file, R"("ok")");
    channel.closeReport();
    EXPECT_EQ(fileLines("next.txt"), std::vector<std::string>{"ok"});
}

}  // namespace
}  // namespace arbora
