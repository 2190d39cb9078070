#include "report/report_channel.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "test_support.h"

namespace arbora::report_channel_test {
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

TEST_F(ReportChannelTest, RefusesANameThatIsNotARegularFileWithoutBlocking) {
    std::filesystem::create_directory("a directory.txt");
    ASSERT_EQ(::mkfifo("a fifo.txt", 0666), 0);  // no reader: opening it would block
    std::filesystem::create_symlink("/dev/null", "a device.txt");
    struct Case {
        const char* fileName;
        const char* kind;
    };
    for (const Case c : {Case{"a directory.txt", "directory"}, Case{"a fifo.txt", "FIFO"},
                         Case{"a device.txt", "device"}}) {
        ReportChannel channel(nullptr);
        try {
            channel.openReport(c.fileName);
            FAIL() << c.fileName << " was opened as a report file";
        } catch (const ReportFileError& error) {
            const std::string what = error.what();
            EXPECT_EQ(error.fileName(), c.fileName);
            EXPECT_EQ(what.find("Cannot open the report file"), 0u) << what;
            EXPECT_NE(what.find(c.kind), std::string::npos) << what;
        }
    }
    // A symbolic link to a regular file is followed.
    std::ofstream("target.txt") << "old content\n";
    std::filesystem::create_symlink("target.txt", "link.txt");
    ReportChannel channel(nullptr);
    channel.openReport("link.txt");
    channel.writeLine(Sink::file, R"("new")");
    channel.closeReport();
    EXPECT_EQ(readBytes("target.txt"), "new\r\n");
}

TEST_F(ReportChannelTest, AFailedWriteIsReportedAndClosesTheFile) {
    // A file size limit of 8 bytes: the second line cannot be written whole.
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit previous;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit small = previous;
    small.rlim_cur = 8;
    testing::RecordedScreen screen;
    ReportChannel channel(screen.sink());
    channel.openReport("limited.txt");
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    channel.writeLine(Sink::both, R"("line")");
    try {
        channel.writeLine(Sink::both, R"("line")");
        ADD_FAILURE() << "a write past the file size limit succeeded";
    } catch (const ReportFileError& error) {
        EXPECT_EQ(std::string(error.what()).find("Cannot write the report file \"limited.txt\""),
                  0u);
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousSignal);
    EXPECT_EQ(screen.lines,
              (std::vector<std::string>{"line", "line"}));  // the screen keeps its lines
    channel.openReport("next.txt");                         // no file was left open
    channel.writeLine(Sink::file, R"("ok")");
    channel.closeReport();
    EXPECT_EQ(fileLines("next.txt"), std::vector<std::string>{"ok"});
}

}  // namespace
}  // namespace arbora::report_channel_test
