// End-to-end runs of arbora-report: exit status, messages, and every report compared
// byte for byte with the expected screen text and report file in tests/golden.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "test_support.h"

namespace arbora {
namespace {

using testing::readBytes;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& arg) {
    std::string q = "'";
    for (const char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Outcome runReport(const std::vector<std::string>& args) {
    std::string command = quoted(ARBORA_REPORT_PATH);
    for (const auto& arg : args)
        command += " " + quoted(arg);
    command += " >stdout.bin 2>stderr.bin </dev/null";
    const int raw = std::system(command.c_str());
    Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readBytes("stdout.bin"),
                    readBytes("stderr.bin")};
    std::filesystem::remove("stdout.bin");
    std::filesystem::remove("stderr.bin");
    return outcome;
}

class Runner : public testing::InTempDir {};

TEST_F(Runner, HelpListsEveryCommand) {
    const Outcome help = runReport({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* name : {"normal-yield-table", "site-index-table", "standard-volume-table",
                             "merchantable-volume-table", "biomass-table", "growth-and-yield",
                             "biomass-and-carbon", "--average-diameter"}) {
        EXPECT_NE(help.out.find(name), std::string::npos) << name;
    }
}

struct UsageCase {
    std::vector<std::string> args;
    const char* named;  // what the message must name
};

TEST_F(Runner, RejectsAUsageErrorWithStatus2AndTheUsageLine) {
    const UsageCase cases[] = {
        {{}, "no command"},
        {{"volume-table"}, "volume-table"},
        {{"site-index-table", "--colour", "red"}, "--colour"},
        {{"site-index-table", "--species"}, "--species"},
        {{"site-index-table", "--species", "x"}, "\"x\""},
        {{"site-index-table", "--stand-age", "2.5"}, "decimal point"},
        {{"site-index-table", "--species", "2 3"}, "more than one value"},
        {{"site-index-table", "--species", ","}, "no value"},
        {{"site-index-table", "--species", ""}, "no value"},
        {{"site-index-table", "--stand-volume", "1e999"}, "outside"},
        {{"site-index-table", "--stand-density", "000000000000000000001"}, "longer than 20"},
    };
    for (const auto& c : cases) {
        const Outcome o = runReport(c.args);
        EXPECT_EQ(o.status, 2) << c.named;
        EXPECT_NE(o.err.find(c.named), std::string::npos) << o.err;
        EXPECT_NE(o.err.find("usage: arbora-report"), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "") << c.named;
        EXPECT_FALSE(std::filesystem::exists("site index table.txt")) << c.named;
    }
}

TEST_F(Runner, ReadsOptionValuesByTheFieldRules) {
    const Outcome plain = runReport({"growth-and-yield", "--average-diameter", "15", "--stand-age",
                                     "20", "--stand-volume", "160"});
    const Outcome spelled = runReport({"growth-and-yield", "--average-diameter", "1.5E1",
                                       "--stand-age=+20", "--stand-volume", " 1.6D2"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(spelled.status, 0) << spelled.err;
    EXPECT_EQ(plain.out, spelled.out);
    const Outcome negative = runReport({"growth-and-yield", "--stand-density", "-5"});
    EXPECT_EQ(negative.status, 0) << negative.err;
}

TEST_F(Runner, AReportFileThatCannotBeWrittenGivesStatus1AndTheOthersStillRun) {
    std::filesystem::create_directory("site index table.txt");
    const Outcome o = runReport({"site-index-table", "standard-volume-table"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("\"site index table.txt\""), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("Is a directory"), std::string::npos) << o.err;
    EXPECT_TRUE(std::filesystem::is_regular_file("standard volume table.txt"));
}

// tests/golden/cases.txt: one case a line, "name arguments...". name.screen holds the
// expected standard output, name.report the expected report file.
struct GoldenCase {
    std::string name;
    std::vector<std::string> args;
};

std::vector<GoldenCase> goldenCases() {
    std::ifstream in(std::string(ARBORA_GOLDEN_DIR) + "/cases.txt");
    std::vector<GoldenCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.front() == '#') continue;
        std::istringstream words(line);
        GoldenCase c;
        words >> c.name;
        for (std::string arg; words >> arg;)
            c.args.push_back(arg);
        cases.push_back(c);
    }
    return cases;
}

TEST_F(Runner, WritesTheExpectedBytesForEveryGoldenCase) {
    const auto cases = goldenCases();
    ASSERT_GE(cases.size(), 35u);
    const std::filesystem::path golden = ARBORA_GOLDEN_DIR;
    for (const auto& c : cases) {
        const Outcome o = runReport(c.args);
        EXPECT_EQ(o.status, 0) << c.name << ": " << o.err;
        EXPECT_EQ(o.out, readBytes(golden / (c.name + ".screen"))) << c.name;
        const std::string file = testing::reportFileOf(c.args.front());
        EXPECT_EQ(readBytes(file), readBytes(golden / (c.name + ".report"))) << c.name;
        std::filesystem::remove(file);
    }
}

}  // namespace
}  // namespace arbora
