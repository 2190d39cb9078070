// End-to-end runs of arbora-report: exit status, messages, stop signals, and every
// report compared byte for byte with the expected screen text and report file in
// tests/golden.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "run/output_clashes.h"
#include "test_support.h"

namespace arbora::runner_test {
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

// Runs the runner through the shell; redirections replace the default ones.
Outcome runReport(const std::vector<std::string>& args,
                  const std::string& redirections = ">stdout.bin 2>stderr.bin </dev/null") {
    std::string command = quoted(ARBORA_REPORT_PATH);
    for (const auto& arg : args)
        command += " " + quoted(arg);
    command += " " + redirections;
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
        {{"site-index-table", "--stand-volume", "123456789012345678901"}, "longer than 20"},
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
    const Outcome twentyCharacters =
        runReport({"growth-and-yield", "--stand-volume", "12345678901234567890"});
    EXPECT_EQ(twentyCharacters.status, 0) << twentyCharacters.err;
}

TEST_F(Runner, AReportFileThatCannotBeOpenedGivesStatus1AndTheOthersStillRun) {
    std::filesystem::create_directory("site index table.txt");
    ASSERT_EQ(::mkfifo("Sim1.txt", 0666), 0);  // no reader: opening must not block
    const Outcome o = runReport({"site-index-table", "growth-and-yield", "standard-volume-table"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("Cannot open the report file \"site index table.txt\": it is a directory"),
              std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find("Cannot open the report file \"Sim1.txt\": it is a FIFO"),
              std::string::npos)
        << o.err;
    EXPECT_TRUE(std::filesystem::is_regular_file("standard volume table.txt"));
}

// Standard streams closed or failing: no report file takes a stream's place, and a
// failed write is reported with status 1 instead of killing the runner.
TEST_F(Runner, ReportsFailingStandardStreamsAndKeepsThemOutOfReportFiles) {
    const std::filesystem::path golden = ARBORA_GOLDEN_DIR;
    const std::string expected = readBytes(golden / "biomass-table-species1.report");
    for (const char* redirections : {">&- 2>stderr.bin", "<&- >stdout.bin 2>&-"}) {
        const Outcome o = runReport({"biomass-table"}, redirections);
        EXPECT_EQ(o.status, 0) << redirections << ": " << o.err;
        EXPECT_EQ(readBytes("biomass table.txt"), expected) << redirections;
    }

    // A pipe whose reader is gone before the first line.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ::close(pipeEnds[0]);
    const Outcome broken = runReport(
        {"biomass-table"}, ">&" + std::to_string(pipeEnds[1]) + " 2>stderr.bin </dev/null");
    ::close(pipeEnds[1]);
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("cannot write to standard output"), std::string::npos) << broken.err;
    EXPECT_EQ(readBytes("biomass table.txt"), expected);

    const Outcome help = runReport({"--help"}, ">/dev/full 2>stderr.bin");
    EXPECT_EQ(help.status, 1);
}

TEST_F(Runner, InventoryExitStatusesTellWhatFailed) {
    std::ofstream("stands.csv") << "stand_id,species,stand_age,average_diameter,"
                                   "average_height,stand_density,stand_volume\n"
                                   "a,1,20,12,12,2000,150\n";
    std::ofstream("bad.csv") << "stand_id,species,stand_age\na,1,20\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* named;  // what standard error must name
    };
    const Case cases[] = {
        {{"inventory", "stands.csv", "--output", "out.sqlite"}, 0, ""},
        {{"inventory", "missing.csv"}, 1, "No such file or directory"},
        {{"inventory", "stands.csv", "--years", "10:0:5"}, 2, "--years"},
        {{"inventory", "stands.csv", "--output", "out.txt"}, 2, ".sqlite, .db or .csv"},
        {{"inventory", "stands.csv", "--output", "stands.csv"}, 2, "the inventory itself"},
        {{"inventory", "stands.csv", "--colour"}, 2, "--colour"},
        {{"inventory", "stands.csv", "--jobs", "abc"}, 2, "--jobs \"abc\" is not a whole number"},
        {{"inventory", "stands.csv", "--jobs", "0x10"}, 2, "--jobs \"0x10\""},
        {{"inventory", "stands.csv", "--jobs", "1025"}, 2, "from 1 to 1024"},
        {{"inventory", "bad.csv"}, 3, "has no column average_diameter"},
    };
    for (const Case& c : cases) {
        const Outcome o = runReport(c.args);
        EXPECT_EQ(o.status, c.status) << c.args[1] << " " << o.err;
        EXPECT_NE(o.err.find(c.named), std::string::npos) << o.err;
    }
    EXPECT_NE(readBytes("stands.csv").find("a,1,20"), std::string::npos);  // not overwritten
}

// The inventory's help starts with the usage and names every output table, the
// optional columns, and --bom, which only a CSV output takes.
TEST_F(Runner, InventoryHelpStartsWithTheUsageAndNamesEveryTable) {
    const Outcome help = runReport({"inventory", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: arbora-report inventory")) << help.out;
    for (const char* name :
         {"stands,", "projection,", "summary,", "comparison,", "rejected,", "run,", "removals",
          "products,", "finance", "stand_results", "output_class", "site_class", "--bom"})
        EXPECT_NE(help.out.find(name), std::string::npos) << name;
    std::ofstream("stands.csv") << "stand_id,species,stand_age,average_diameter,"
                                   "average_height,stand_density,stand_volume\n"
                                   "a,1,20,12,12,2000,150\n";
    const Outcome bom = runReport({"inventory", "stands.csv", "--bom", "--output", "o.sqlite"});
    EXPECT_EQ(bom.status, 2);
    EXPECT_NE(bom.err.find("--bom: only for a .csv output"), std::string::npos) << bom.err;
}

// The man page's option list of each command is written from the same definitions as
// its --help: every option --help lists is in the command's section of the page, as
// the page sets an option's name (\fB\-\-name\fR), and in the usage a usage error shows.
TEST_F(Runner, ManPageAndUsageListEveryOptionOfTheHelp) {
    const std::string page = readBytes(ARBORA_MAN_PAGE);
    const struct {
        const char* command;
        const char* section;  // the command's section of the page, up to the next one
    } cases[] = {{"inventory", ".SH INVENTORY\n"}, {"plan", ".SH HARVEST PLAN\n"}};
    for (const auto& c : cases) {
        const std::size_t start = page.find(c.section);
        ASSERT_NE(start, std::string::npos) << c.section;
        const std::string section = page.substr(start, page.find("\n.SH ", start + 1) - start);
        const Outcome help = runReport({c.command, "--help"});
        const Outcome usage = runReport({c.command, "--no-such-option"});
        std::istringstream lines(help.out.substr(help.out.find("\nOptions:\n")));
        int options = 0;
        for (std::string line; std::getline(lines, line);) {
            if (!line.starts_with("  -")) continue;
            std::string name = line.substr(line.find("--"));
            name.resize(std::min(name.find(' '), name.size()));
            std::string roff = "\\fB";
            for (const char ch : name)
                roff += ch == '-' ? std::string("\\-") : std::string(1, ch);
            ++options;
            EXPECT_NE(section.find(roff + "\\fR"), std::string::npos) << c.command << " " << name;
            if (name != "--help") {
                EXPECT_TRUE(usage.err.find(name + " ") != std::string::npos ||
                            usage.err.find(name + "]") != std::string::npos)
                    << c.command << " " << name << "\n"
                    << usage.err;
            }
        }
        EXPECT_GT(options, 15) << c.command;
    }
}

// The runner started with its output in files, without waiting for it. The stop
// signals start with their default action, whatever the test's own are, except a
// hang-up that is to be ignored, as nohup does.
pid_t startReport(const std::vector<std::string>& args, bool ignoreHangUp = false) {
    std::vector<std::string> all{ARBORA_REPORT_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "stdout.bin", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, "stderr.bin", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    if (!ignoreHangUp) sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const auto previous = std::signal(SIGHUP, ignoreHangUp ? SIG_IGN : SIG_DFL);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &files, &attributes, argv.data(), environ);
    std::signal(SIGHUP, previous);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    return spawned == 0 ? pid : -1;
}

// Waits up to five seconds for the runner to have the file open, which it does after
// its signal handlers are in place.
bool waitUntilOpened(pid_t pid, const std::string& file) {
    const auto path = std::filesystem::canonical(file);
    for (int i = 0; i < 1000; ++i) {
        std::error_code error;
        for (const auto& fd :
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
            if (std::filesystem::read_symlink(fd.path(), error) == path) return true;
        }
        ::usleep(5000);
    }
    return false;
}

// The wait status of the runner, which is killed after five seconds.
int waitForEnd(pid_t pid) {
    int status = 0;
    for (int i = 0; i < 1000; ++i) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return status;
        ::usleep(5000);
    }
    ADD_FAILURE() << "the runner did not end";
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return status;
}

// A stop request while the runner waits, on a pipe or inside SQLite, ends it by the
// same signal once the earlier output is back as it was; a hang-up the runner was
// started to ignore stays ignored.
TEST_F(Runner, InventoryStopsBySignalWhileItWaitsAndKeepsIgnoredSignalsIgnored) {
    const std::string header =
        "stand_id,species,stand_age,average_diameter,average_height,stand_density,"
        "stand_volume\na,1,20,10,8,1000,100\n";
    ASSERT_EQ(::mkfifo("stands.csv", 0600), 0);
    sqlite3* db = nullptr;
    sqlite3_open("endless.db", &db);
    sqlite3_exec(db,
                 "CREATE VIEW stands AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                 "FROM c) SELECT 's' || x AS stand_id, 1 AS species, 20 AS stand_age, 10 AS "
                 "average_diameter, 8 AS average_height, 1000 AS stand_density, 100 AS "
                 "stand_volume FROM c",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    struct Case {
        const char* input;
        int signal;
        bool ignoreHangUp;
        int ending;  // the signal that ends the runner, 0 when it completes
    };
    const Case cases[] = {
        {"stands.csv", SIGINT, false, SIGINT},
        {"endless.db", SIGTERM, false, SIGTERM},
        {"stands.csv", SIGHUP, true, 0},
    };
    for (const Case& c : cases) {
        std::ofstream("out.csv") << "earlier";
        // The test holds the pipe's writer open: the runner reads the header, then waits.
        const int writer = ::open("stands.csv", O_RDWR | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(::write(writer, header.data(), header.size()), 0);
        const pid_t pid =
            startReport({"inventory", c.input, "--output", "out.csv"}, c.ignoreHangUp);
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(waitUntilOpened(pid, c.input)) << c.input;
        ::kill(pid, c.signal);
        ::usleep(20000);
        ::close(writer);  // the end of the inventory, for a runner that goes on
        const int status = waitForEnd(pid);
        if (c.ending != 0) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.ending)
                << c.input << " " << status;
            EXPECT_TRUE(readBytes("out.csv") == "earlier") << c.input;
            EXPECT_NE(readBytes("stderr.bin").find("interrupted by signal"), std::string::npos);
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readBytes("stderr.bin");
            EXPECT_NE(readBytes("out.csv").find("\r\nnone,a,0,20,"), std::string::npos);
        }
        for (const auto& entry : std::filesystem::directory_iterator(".")) {
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
        }
    }
}

// The plan stops as the inventory does: by the signal, the earlier output kept.
TEST_F(Runner, PlanStopsBySignalWhileItWaitsForTheStands) {
    ASSERT_EQ(::mkfifo("stands.csv", 0600), 0);
    testing::writeFile("out.sqlite", "earlier");
    const int writer = ::open("stands.csv", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    const std::string header =
        "stand_id,species,stand_age,average_diameter,average_height,stand_density,"
        "stand_volume\na,1,20,10,8,1000,100\n";
    ASSERT_GE(::write(writer, header.data(), header.size()), 0);
    const pid_t pid = startReport({"plan", "stands.csv", "--regimes",
                                   std::string(ARBORA_SOURCE_DIR) + "/examples/regimes.csv",
                                   "--objective", "volume", "--output", "out.sqlite"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(waitUntilOpened(pid, "stands.csv"));
    ::kill(pid, SIGTERM);
    const int status = waitForEnd(pid);
    ::close(writer);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << readBytes("stderr.bin");
    EXPECT_TRUE(readBytes("out.sqlite") == "earlier");
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
}

// Every file option read from a pipe: a stop request while the runner waits for the
// pipe ends it by the signal with the earlier output kept, and a pipe given whole is
// read (each file is opened once).
TEST_F(Runner, EveryFileOptionStopsBySignalAndReadsPipes) {
    const std::string stands =
        "stand_id,species,stand_age,average_diameter,average_height,stand_density,"
        "stand_volume\na,1,20,10,8,1000,100\n";
    testing::writeFile("stands.csv", stands);
    struct Case {
        const char* option;
        std::string content;  // the file given whole
        bool writerHeld;      // the test writes the header and waits; else it opens no writer
    };
    const Case cases[] = {
        {"--prices", "item,value\nrough_timber,1000\n", true},
        {"--products", "item,value\nsawnwood,35\n", true},
        {"--species-map", "code,species\n1,1\n", false},
        {"--treatments", "scenario,year,action,remove_trees\ns,10,thin,30\n", false},
    };
    for (const Case& c : cases) {
        testing::writeFile("out.csv", "earlier");
        ASSERT_EQ(::mkfifo("input.csv", 0600), 0);
        int writer = -1;
        if (c.writerHeld) {
            writer = ::open("input.csv", O_RDWR | O_NONBLOCK | O_CLOEXEC);
            const std::string header = c.content.substr(0, c.content.find('\n') + 1);
            ASSERT_GE(::write(writer, header.data(), header.size()), 0);
        }
        const pid_t pid =
            startReport({"inventory", "stands.csv", "--output", "out.csv", c.option, "input.csv"});
        ASSERT_GT(pid, 0);
        if (c.writerHeld) {
            EXPECT_TRUE(waitUntilOpened(pid, "input.csv")) << c.option;
        } else {
            ::usleep(300000);  // waiting in the open of the pipe
        }
        ::kill(pid, SIGTERM);
        const int status = waitForEnd(pid);
        if (writer >= 0) ::close(writer);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM)
            << c.option << " " << status << " " << readBytes("stderr.bin");
        EXPECT_TRUE(readBytes("out.csv") == "earlier") << c.option;
        std::filesystem::remove("input.csv");

        testing::writeFile("input.csv", c.content);
        const std::string command = "cat input.csv | " + quoted(ARBORA_REPORT_PATH) +
                                    " inventory stands.csv --output out.csv " + c.option +
                                    " /dev/stdin 2>stderr.bin >/dev/null";
        const int raw = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0)
            << c.option << " " << readBytes("stderr.bin");
        std::filesystem::remove("input.csv");
    }
}

// Memory or threads running out end the run with status 1 and a sentence, the earlier
// output kept and no temporary file left; never an abort. Each limit is set on the
// address space of a child before it starts the runner.
TEST_F(Runner, RunningOutOfMemoryEndsWithStatus1AndNoFileChanged) {
    if (testing::underAddressSanitizer) GTEST_SKIP() << "no address-space limit under ASan";
    std::string stands =
        "stand_id,species,stand_age,average_diameter,average_height,stand_density,"
        "stand_volume\n";
    for (int i = 0; i < 2000; ++i)
        stands += "s" + std::to_string(i) + ",1,20,10,8,1000,100\n";
    testing::writeFile("stands.csv", stands);
    std::string treatments = "scenario,year,action,remove_trees\n";
    for (int s = 0; s < 10; ++s)
        treatments += "s" + std::to_string(s) + ",10,thin,30\n";
    testing::writeFile("treatments.csv", treatments);
    testing::writeFile("regimes.csv", "regime,year,action,remove_trees\nthin,10,thin,30\n");
    using Args = std::vector<const char*>;
    const auto runWithin = [](rlim_t megabytes, const Args& args) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const rlimit limit{megabytes << 20, megabytes << 20};
            ::setrlimit(RLIMIT_AS, &limit);
            const int err = ::open("stderr.bin", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, 2);
            Args argv{ARBORA_REPORT_PATH};
            argv.insert(argv.end(), args.begin(), args.end());
            argv.push_back(nullptr);
            ::execv(ARBORA_REPORT_PATH, const_cast<char* const*>(argv.data()));
            ::_exit(127);
        }
        return pid < 0 ? -1 : waitForEnd(pid);
    };
    // The limits are counted from what the runner needs to start at all (its shared
    // libraries' address space), so that they run out during the work.
    rlim_t start = 8;
    while (start < 1024 && runWithin(start, {"--help"}) != 0)
        start += 8;
    ASSERT_LT(start, 1024u);
    struct Case {
        std::string output;
        Args args;
    };
    const Case cases[] = {
        {"out.csv",
         {"inventory", "stands.csv", "--years", "0:100:10", "--treatments", "treatments.csv",
          "--output", "out.csv", "--jobs", "4"}},
        {"plan.sqlite",
         {"plan", "stands.csv", "--regimes", "regimes.csv", "--objective", "volume", "--output",
          "plan.sqlite", "--jobs", "4"}},
    };
    for (const Case& c : cases) {
        int outOfMemory = 0;
        for (const rlim_t megabytes : {start + 8, start + 16, start + 56, start + 248}) {
            testing::writeFile(c.output, "earlier");
            const int status = runWithin(megabytes, c.args);
            ASSERT_GE(status, 0);
            const std::string err = readBytes("stderr.bin");
            ASSERT_TRUE(WIFEXITED(status))
                << c.args[0] << " " << megabytes << " MB: " << status << " " << err;
            if (WEXITSTATUS(status) == 0) continue;
            EXPECT_EQ(WEXITSTATUS(status), 1) << c.args[0] << " " << megabytes << " MB: " << err;
            EXPECT_NE(err.find("out of memory while"), std::string::npos)
                << c.args[0] << " " << megabytes << " MB: " << err;
            EXPECT_TRUE(readBytes(c.output) == "earlier") << c.args[0] << " " << megabytes;
            ++outOfMemory;
            for (const auto& entry : std::filesystem::directory_iterator(".")) {
                EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
            }
        }
        EXPECT_GT(outOfMemory, 0) << c.args[0];
    }
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
}  // namespace arbora::runner_test

namespace arbora::runner_test {
namespace {

// The golden cases refuse each input named as an output; the companions of a shapefile
// are found here, whatever the case of their extensions.
TEST_F(Runner, AShapefileOutputClashCoversItsCompanionFiles) {
    for (const char* name : {"a.shp", "a.DBF", "a.prj", "b.dbf", "a.shp.xml"})
        testing::writeFile(name, "x");
    EXPECT_EQ(filesOfInput("a.shp"),
              (std::vector<std::string>{"a.shp", "a.DBF", "a.prj", "a.shp.xml"}));
    EXPECT_EQ(filesOfInput("b.dbf"), std::vector<std::string>{"b.dbf"});
    EXPECT_EQ(outputClash({{"the inventory", "a.shp"}}, {{"the report", "./a.DBF"}}),
              "the report \"./a.DBF\" is a file of the inventory (a.DBF) itself");
    EXPECT_EQ(outputClash({{"the inventory", "a.shp"}}, {{"the output", "b.dbf"}}), std::nullopt);
    EXPECT_EQ(outputClash({}, {{"the output", "new/o.csv"}, {"the report", "new/../new/o.csv"}}),
              "the report \"new/../new/o.csv\" is the file of the output too");
}

}  // namespace
}  // namespace arbora::runner_test
