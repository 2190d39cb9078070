// arbora-report: runs report commands without the window. Each command writes its
// report file into the current directory and its screen lines to stdout.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "commands/report_commands.h"
#include "inventory_command.h"
#include "option_reference.h"
#include "plan_command.h"
#include "report/report_channel.h"
#include "report/screen_text.h"
#include "run/exit_status.h"
#include "settings/field_reading.h"
#include "settings/stand_settings.h"

namespace {

using arbora::StandSettings;

struct Option {
    std::string_view name;
    std::variant<std::int32_t StandSettings::*, double StandSettings::*> field;
    std::string_view valueName;
};

constexpr Option options[] = {
    {"--species", &StandSettings::species, "N"},
    {"--site-class", &StandSettings::siteClass, "N"},
    {"--stand-age", &StandSettings::standAge, "N"},
    {"--simulating-age", &StandSettings::simulatingAge, "N"},
    {"--average-diameter", &StandSettings::averageDiameter, "X"},
    {"--average-height", &StandSettings::averageHeight, "X"},
    {"--stand-density", &StandSettings::standDensity, "N"},
    {"--stand-volume", &StandSettings::standVolume, "X"},
};

constexpr std::string_view usageLine =
    "usage: arbora-report COMMAND... [OPTIONS]\n"
    "       arbora-report inventory STANDS [INVENTORY OPTIONS]\n"
    "       arbora-report plan STANDS --regimes FILE [PLAN OPTIONS]";

void printUsage(std::ostream& out) {
    out << usageLine << "\n\nRuns the report commands in order with one set of stand settings.\n"
        << "Each writes its report file into the current directory and its screen lines\n"
        << "to standard output.\n\nCommands:\n";
    for (const auto& command : arbora::reportCommands())
        out << "  " << command.name << "\n";
    out << "\nOptions (defaults as when the program starts):\n";
    for (const auto& option : options) {
        out << "  " << option.name << " " << option.valueName << "\n";
    }
    out << "  --help\n\nN is a whole number, X a number such as 12, 12.5 or 1.25E1.\n\n"
        << "inventory projects every stand of a forest inventory (CSV or SQLite) over a\n"
        << "list of years; \"arbora-report inventory --help\" lists its options.\n"
        << "plan finds the best harvest plan for an inventory; \"arbora-report plan --help\"\n"
        << "lists its options.\n\n"
        << "Exit status: 0 on success, 1 when a file cannot be read or written,\n"
        << "2 for a usage error, 3 when an inventory has rows or columns that cannot be used,\n"
        << "4 when a plan's constraints cannot all be met.\n";
}

[[noreturn]] void usageError(const std::string& message) {
    std::cerr << "arbora-report: " << message << "\n" << usageLine << "\n";
    std::exit(arbora::exitUsage);
}

// Reads exactly one value of the field's type; anything else is a usage error.
template <typename T>
void readOption(std::string_view name, std::string_view text, T& field) {
    T value = field;
    const arbora::FieldReading reading = arbora::readField(text, value);
    std::string problem = reading.problem;
    if (reading.outcome == arbora::FieldReading::unchanged) {
        problem = "\"" + std::string(text) + "\" holds no value";
    } else if (reading.outcome == arbora::FieldReading::read) {
        if (text.size() > arbora::fieldTextLength) {
            problem = "\"" + std::string(text) + "\" is longer than 20 characters";
        } else if (text.substr(reading.end).find_first_not_of(" \t") != std::string_view::npos) {
            problem = "\"" + std::string(text) + "\" holds more than one value";
        }
    }
    if (!problem.empty() || reading.outcome != arbora::FieldReading::read) {
        usageError("unreadable value for " + std::string(name) + ": " + problem);
    }
    field = value;
}

// A standard stream that is closed when the runner starts is opened on /dev/null, so
// that no report file can take its number and receive what is meant for the stream.
// Writing to a closed pipe or past the file size limit then fails like any other write,
// and is reported, instead of ending the runner silently with a partial file.
void prepareProcess() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            // Cannot happen: fd was the lowest free number.
            if (opened != fd) std::_Exit(arbora::exitFileFailure);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

// Standard output is checked like a report file: lines that could not be written are
// a failure.
int finishStandardOutput(int status) {
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "arbora-report: cannot write to standard output\n";
        return arbora::exitFileFailure;
    }
    return status;
}

// "arbora-report help-man COMMAND", left out of the help: the options of the inventory or
// plan command as the list of a man page, which the build puts into the man page.
int printOptionReference(std::string_view command) {
    CLI::App app;
    arbora::inventory_command::Options inventory;
    arbora::plan_command::Options plan;
    if (command == "inventory") {
        arbora::inventory_command::setup(app, inventory);
    } else if (command == "plan") {
        arbora::plan_command::setup(app, plan);
    } else {
        usageError("unknown command " + std::string(command));
    }
    std::cout << arbora::optionsAsRoff(app);
    return finishStandardOutput(arbora::exitSuccess);
}

}  // namespace

int main(int argc, char** argv) {
    prepareProcess();
    if (argc >= 2 && std::string_view(argv[1]) == "inventory") {
        return finishStandardOutput(inventoryMain(argc - 1, argv + 1));
    }
    if (argc >= 2 && std::string_view(argv[1]) == "plan") {
        return finishStandardOutput(planMain(argc - 1, argv + 1));
    }
    if (argc == 3 && std::string_view(argv[1]) == "help-man") {
        return printOptionReference(argv[2]);
    }
    StandSettings settings;
    std::vector<arbora::ReportFunction> toRun;

    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(std::cout);
            return finishStandardOutput(arbora::exitSuccess);
        }
        if (arg.substr(0, 2) == "--") {
            std::string_view name = arg;
            std::string_view value;
            bool hasValue = false;
            if (const auto eq = arg.find('='); eq != std::string_view::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                hasValue = true;
            }
            const Option* option = nullptr;
            for (const auto& candidate : options) {
                if (candidate.name == name) option = &candidate;
            }
            if (option == nullptr) usageError("unknown option " + std::string(name));
            if (!hasValue) {
                if (i + 1 >= argc) usageError("missing value for " + std::string(name));
                value = argv[++i];
            }
            std::visit([&](auto member) { readOption(name, value, settings.*member); },
                       option->field);
            continue;
        }
        const arbora::ReportCommand* command = nullptr;
        for (const auto& candidate : arbora::reportCommands()) {
            if (candidate.name == arg) command = &candidate;
        }
        if (command == nullptr) usageError("unknown command " + std::string(arg));
        toRun.push_back(command->run);
    }
    if (toRun.empty()) usageError("no command given");

    int status = arbora::exitSuccess;
    for (const auto run : toRun) {
        arbora::ReportChannel channel(
            [](std::string_view line) { std::cout << arbora::screenTextUtf8(line) << '\n'; });
        try {
            run(settings, channel);
        } catch (const arbora::ReportFileError& error) {
            std::cout.flush();
            std::cerr << "arbora-report: " << error.what() << "\n";
            status = arbora::exitFileFailure;
        }
    }
    return finishStandardOutput(status);
}
