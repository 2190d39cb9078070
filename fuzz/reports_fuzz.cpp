// Every report command over any settings, however far outside their sensible ranges:
// each report file is whole CR LF records, no line holds a NUL, and the file holds the
// screen lines but for the screen-only ones.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "commands/report_commands.h"

namespace {

namespace fs = std::filesystem;

// The settings as five int32 (species, site class, stand age, stand density,
// simulating age) then three binary64 (average diameter, average height, stand volume),
// in the machine's byte order; an input that stops early leaves the rest at the defaults.
arbora::StandSettings decodeSettings(const std::uint8_t* data, std::size_t size) {
    arbora::StandSettings s;
    std::size_t at = 0;
    auto take = [&](void* field, std::size_t bytes) {
        if (at < size) std::memcpy(field, data + at, std::min(bytes, size - at));
        at += bytes;
    };
    for (std::int32_t* i :
         {&s.species, &s.siteClass, &s.standAge, &s.standDensity, &s.simulatingAge})
        take(i, sizeof *i);
    for (double* d : {&s.averageDiameter, &s.averageHeight, &s.standVolume})
        take(d, sizeof *d);
    return s;
}

// The one file a command left in the working directory, as its CR LF records.
std::vector<std::string> reportRecords(std::string_view command) {
    std::vector<fs::path> files(fs::directory_iterator("."), fs::directory_iterator());
    FUZZ_CHECK(files.size() == 1, std::string(command) + " left " + std::to_string(files.size()));
    std::ifstream in(files[0], std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    fs::remove(files[0]);
    FUZZ_CHECK(bytes.find('\0') == std::string::npos, std::string(command));
    std::vector<std::string> records;
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", start);
        FUZZ_CHECK(end != std::string::npos, std::string(command) + ": bytes after the last CR LF");
        records.push_back(bytes.substr(start, end - start));
        FUZZ_CHECK(records.back().find_first_of("\r\n") == std::string::npos,
                   std::string(command) + ": a CR or LF inside a line");
        start = end + 2;
    }
    return records;
}

}  // namespace

// Report files land in the working directory, so the target works in a fresh one. The
// inputs, corpus directories and files named relative to where it was started are made
// absolute first, and crash files go there unless told otherwise.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<std::string> args;
    static std::vector<char*> pointers;
    bool artifactPrefix = false;
    for (int i = 0; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        for (const std::string flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict="}) {
            if (arg.starts_with(flag) && arg.size() > flag.size())
                arg = flag + fs::absolute(arg.substr(flag.size())).string();
        }
        if (i > 0 && !arg.empty() && arg[0] != '-') arg = fs::absolute(arg).string();
        artifactPrefix = artifactPrefix || arg.starts_with("-artifact_prefix=");
        args.push_back(arg);
    }
    if (!artifactPrefix) args.push_back("-artifact_prefix=" + fs::current_path().string() + "/");
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(args.size());
    *argv = pointers.data();

    // Every input writes and reads back seven report files: in memory where there is
    // a place for it, unless TMPDIR says otherwise.
    const bool shm = std::getenv("TMPDIR") == nullptr && ::access("/dev/shm", W_OK) == 0;
    const fs::path base = shm ? fs::path("/dev/shm") : fs::temp_directory_path();
    static std::string dir = (base / "arbora-fuzz-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr || ::chdir(dir.c_str()) != 0) std::abort();
    std::atexit([] { ::rmdir(dir.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const arbora::StandSettings settings = decodeSettings(data, size);
    for (const auto& command : arbora::reportCommands()) {
        std::vector<std::string> screen;
        arbora::ReportChannel channel([&](std::string_view line) {
            FUZZ_CHECK(line.find('\0') == std::string_view::npos, std::string(command.name));
            screen.emplace_back(line);
        });
        command.run(settings, channel);
        const std::vector<std::string> file = reportRecords(command.name);

        // The simulations' banner (4 lines) and the yield table's rule line (line 2)
        // are for the screen only.
        if (command.name == "growth-and-yield" || command.name == "biomass-and-carbon") {
            FUZZ_CHECK(screen.size() >= 4, std::string(command.name));
            screen.erase(screen.begin(), screen.begin() + 4);
        } else if (command.name == "normal-yield-table") {
            FUZZ_CHECK(screen.size() >= 2, std::string(command.name));
            screen.erase(screen.begin() + 1);
        }
        FUZZ_CHECK(!file.empty() && screen == file, std::string(command.name));
    }
    return 0;
}
