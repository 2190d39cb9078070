#include "cli/inventory_run.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iterator>
#include <ostream>
#include <unordered_map>

#include "inventory/number_text.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"
#include "inventory/stop_request.h"

#ifndef ARBORA_VERSION
#define ARBORA_VERSION "unknown"
#endif

namespace arbora {
namespace {

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// While a run reads and writes, Ctrl-C, a hang-up or a termination request stops it,
// so that the unfinished output is removed and nothing else changes. The handler only
// records the request; it is installed without SA_RESTART, so that a read or a wait
// that blocks returns and the run ends where it stands. A signal the runner was started
// to ignore (nohup ignores the hang-up) stays ignored.
class InterruptionGuard {
  public:
    InterruptionGuard() {
        clearStopRequest();
        struct sigaction action {};
        action.sa_handler = [](int signal) { requestStop(signal); };
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
            ::sigaction(stopSignals[i], nullptr, &previous_[i]);
            const bool ignored =
                (previous_[i].sa_flags & SA_SIGINFO) == 0 && previous_[i].sa_handler == SIG_IGN;
            if (!ignored) installed_[i] = ::sigaction(stopSignals[i], &action, nullptr) == 0;
        }
    }
    ~InterruptionGuard() {
        for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
            if (installed_[i]) ::sigaction(stopSignals[i], &previous_[i], nullptr);
        }
    }
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;

  private:
    struct sigaction previous_[std::size(stopSignals)]{};
    bool installed_[std::size(stopSignals)]{};
};

// Holds the stop signals back while the finished files are put in place, so that a
// stop request comes either before the first rename, and keeps every earlier file, or
// after the last.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : stopSignals)
            sigaddset(&held, signal);
        ::sigprocmask(SIG_BLOCK, &held, &previous_);
    }
    ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    sigset_t previous_;
};

// The input column that gives a projected value that is not finite: each of diameter,
// height and volume its own; for the biomass, which grows with diameter squared times
// height, and the carbon that follows from it, the larger of the two factors.
StandColumn columnGiving(std::string_view value, const ProjectionRow& row) {
    if (value == "average_height") return StandColumn::averageHeight;
    if (value == "stand_volume") return StandColumn::standVolume;
    if (value == "average_diameter") return StandColumn::averageDiameter;
    return row.averageDiameter * row.averageDiameter < row.averageHeight
               ? StandColumn::averageHeight
               : StandColumn::averageDiameter;
}

double inputValue(const InventoryStand& stand, StandColumn column) {
    switch (column) {
        case StandColumn::averageDiameter:
            return stand.averageDiameter;
        case StandColumn::averageHeight:
            return stand.averageHeight;
        case StandColumn::standVolume:
            return stand.standVolume;
        default:
            return stand.area;
    }
}

// The rejection of a stand with a projected value that is not a finite number, or a
// value times its area that is not (then named by the area).
std::optional<Rejection> nonFiniteRejection(const StandColumnMap& map, const InventoryStand& stand,
                                            const std::vector<ProjectionRow>& rows) {
    for (const ProjectionRow& row : rows) {
        StandColumn column = StandColumn::area;
        std::string_view value = "total for its area";
        if (const auto field = firstNonFinite(row)) {
            value = *field;
            column = columnGiving(value, row);
        } else if (std::isfinite(row.standVolume * stand.area) &&
                   std::isfinite(row.biomass.stand * stand.area) &&
                   std::isfinite(row.co2e * stand.area)) {
            continue;
        }
        const auto c = static_cast<std::size_t>(column);
        return Rejection{
            stand.line, stand.standId,
            map.header[c].empty() ? std::string(standColumnNames()[c].name) : map.header[c],
            shortestText(inputValue(stand, column)) + " gives a " + std::string(value) +
                " at year " + std::to_string(row.year) + " that is not a finite number"};
    }
    return std::nullopt;
}

// The first total of a year that is not a finite number, e.g. "volume of year 10".
std::optional<std::string> nonFiniteTotal(const std::vector<SummaryRow>& totals) {
    for (const SummaryRow& total : totals) {
        const std::pair<const char*, double> values[] = {{"area", total.area},
                                                         {"volume", total.volume},
                                                         {"biomass", total.biomass},
                                                         {"carbon", total.carbon},
                                                         {"CO2e", total.co2e}};
        for (const auto& [name, value] : values) {
            if (!std::isfinite(value))
                return name + std::string(" of year ") + std::to_string(total.year);
        }
    }
    return std::nullopt;
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// "12,345 rows, 6,789 rows/s, 0:42 left" on one terminal line, rewritten in place,
// once the run has taken a second.
class ProgressLine {
  public:
    ProgressLine(std::ostream& err, bool shown) : err_(err), shown_(shown) {}
    ~ProgressLine() { clear(); }

    void update(std::int64_t rows, double fraction) {
        if (!shown_ || (rows & 1023) != 0) return;
        const auto now = std::chrono::steady_clock::now();
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        if (elapsed < 1.0 || now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        const double perSecond = static_cast<double>(rows) / elapsed;
        std::string line = "\r" + std::to_string(rows) + " rows, " +
                           std::to_string(static_cast<long long>(perSecond)) + " rows/s";
        if (fraction > 0 && fraction < 1) {
            const auto left = static_cast<long long>(elapsed * (1 - fraction) / fraction);
            line += ", " + std::to_string(left / 60) + ":" + (left % 60 < 10 ? "0" : "") +
                    std::to_string(left % 60) + " left";
        }
        line += "    ";
        err_ << line << std::flush;
        written_ = true;
    }
    void clear() {
        if (written_) err_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
        written_ = false;
    }

  private:
    std::ostream& err_;
    bool shown_;
    bool written_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ = start_;
};

// The estate report of a finished run. Throws OutputFileError when the charting
// library cannot be read.
std::string estateReport(const InventoryOptions& options, const InventoryRun& run,
                         const InventorySummary& summary) {
    std::ifstream in{std::string(chartJsFile), std::ios::binary};
    const std::string chartJs{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (chartJs.empty()) {
        throw OutputFileError("cannot read the charting library \"" + std::string(chartJsFile) +
                              "\" for the estate report (Debian package libjs-chart.js)");
    }
    EstateReportData data;
    data.input = options.standsFile;
    data.startedUtc = run.startedUtc;
    data.version = run.version;
    data.years = options.years;
    data.accepted = summary.stands();
    data.rejected = run.rejectedRows;
    data.area = summary.area();
    data.summary = summary.rows();
    data.areaByAgeClass = summary.areaByAgeClass();
    data.firstRejections = run.firstRejections;
    return estateReportHtml(data, options.reportLanguage, chartJs);
}

}  // namespace

std::string programVersion() {
    return ARBORA_VERSION;
}

int runInventory(const InventoryOptions& options, std::ostream& out, std::ostream& err,
                 InventoryRun& run) {
    run = InventoryRun{};
    run.startedUtc = utcNow();
    run.version = programVersion();
    const std::string& input = options.standsFile;
    const auto error = [&](const std::string& message, int status) {
        err << "arbora-report: " << message << "\n";
        return status;
    };
    for (const auto& written : {options.outputFile, options.reportFile}) {
        if (written && sameFile(*written, input)) {
            return error("the output \"" + *written + "\" is the inventory itself", exitUsage);
        }
    }

    InterruptionGuard interruption;
    try {
        const std::unique_ptr<StandSource> source = openStandSource(input, options.encoding);
        const auto columns = mapStandColumns(source->header());
        if (const auto* missing = std::get_if<std::string>(&columns)) {
            return error(input + ": " + *missing, exitUnusableData);
        }
        const auto& map = std::get<StandColumnMap>(columns);

        // Every file to write is started before the work, so that one that cannot be
        // written is found at once.
        std::unique_ptr<ProjectionOutput> output;
        if (options.outputFile) output = openProjectionOutput(*options.outputFile);
        std::unique_ptr<AtomicFile> report;
        if (options.reportFile) report = std::make_unique<AtomicFile>(*options.reportFile);

        InventorySummary summary(options.years);
        InventoryProjector projector;
        std::unordered_map<std::string, std::int64_t> firstLineOf;  // by stand id
        ProgressLine progress(err, options.showProgress);
        RawRow row;
        std::int64_t rows = 0;
        const auto reject = [&](Rejection rejection) {
            if (run.firstRejections.size() < rejectionsKept) {
                run.firstRejections.push_back(rejection);
                run.firstRejections.back().standId = shortenedText(rejection.standId);
            }
            ++run.rejectedRows;
            if (output && options.skipBadRows) output->addRejection(rejection);
        };

        while (source->next(row)) {
            throwIfStopRequested();
            progress.update(++rows, source->fractionDone());
            StandReading reading = readStand(map, row);
            const InventoryStand& stand = reading.stand;
            if (!stand.standId.empty()) {
                const auto [first, isNew] = firstLineOf.try_emplace(stand.standId, row.line);
                if (!isNew) {
                    reading.rejection =
                        Rejection{row.line, stand.standId,
                                  map.header[static_cast<std::size_t>(StandColumn::standId)],
                                  "duplicate of line " + std::to_string(first->second)};
                }
            }
            if (reading.rejection) {
                reject(std::move(*reading.rejection));
                continue;
            }
            auto projection = projector.project(stand, options.years);
            if (const auto* outside = std::get_if<InventoryProjector::AgeOutside>(&projection)) {
                reject({row.line, stand.standId,
                        map.header[static_cast<std::size_t>(StandColumn::standAge)],
                        "age " + std::to_string(outside->age) +
                            " is outside the growth curves of this species"});
                continue;
            }
            const auto& projected = std::get<std::vector<ProjectionRow>>(projection);
            if (auto nonFinite = nonFiniteRejection(map, stand, projected)) {
                reject(std::move(*nonFinite));
                continue;
            }
            // After a rejection nothing is written unless bad rows are skipped; the
            // rows are still read, so that every rejection is found.
            if (run.rejectedRows > 0 && !options.skipBadRows) continue;
            summary.add(stand, projected);
            if (output) {
                output->addStand(stand);
                for (const ProjectionRow& projectedRow : projected)
                    output->addRow(stand.standId, projectedRow);
            }
        }
        progress.clear();

        for (std::size_t i = 0; i < run.firstRejections.size() && i < rejectionsListed; ++i) {
            const Rejection& r = run.firstRejections[i];
            err << input << ":" << r.line << ": " << r.column << ": " << r.reason << "\n";
        }
        if (run.rejectedRows > static_cast<std::int64_t>(rejectionsListed)) {
            err << input << ": " << run.rejectedRows - rejectionsListed << " more rejected rows\n";
        }
        if (rows == 0) {
            if (output) output->abandon();
            return error(input + ": has a header but no stand rows", exitUnusableData);
        }
        if (run.rejectedRows > 0 && !options.skipBadRows) {
            if (output) output->abandon();
            return error(input + ": " + std::to_string(run.rejectedRows) +
                             " rows rejected, nothing written (--skip-bad-rows writes the "
                             "other rows)",
                         exitUnusableData);
        }
        if (summary.stands() == 0) {
            if (output) output->abandon();
            return error(input + ": all " + std::to_string(run.rejectedRows) +
                             " rows rejected, nothing written",
                         exitUnusableData);
        }
        if (const auto total = nonFiniteTotal(summary.rows())) {
            if (output) output->abandon();
            return error(
                input + ": the " + *total + " is beyond the largest number, nothing written",
                exitUnusableData);
        }
        // Both files are completed and made durable first; then both are put in place.
        if (report) {
            report->write(estateReport(options, run, summary));
            report->sync();
        }
        if (output) {
            output->complete(summary.rows(),
                             {run.version, run.startedUtc, input, yearsText(options.years)});
        }
        {
            const SignalsHeld held;
            if (output) output->commit();
            if (report) report->commit();
        }
        run.summary = std::move(summary);
        for (const std::string& line : summaryReportLines(input, *run.summary, run.rejectedRows))
            out << line << "\n";
        return exitSuccess;
    } catch (const InventoryInputError& e) {
        return error(e.what(), e.kind() == InventoryInputError::unreadable ? exitFileFailure
                                                                           : exitUnusableData);
    } catch (const OutputFileError& e) {
        return error(e.what(), exitFileFailure);
    } catch (const RunStopped& e) {
        run.stoppedBySignal = e.signal();
        return error(std::string(e.what()) + ", no file changed", exitFileFailure);
    }
}

}  // namespace arbora
