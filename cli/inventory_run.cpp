#include "cli/inventory_run.h"

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iterator>
#include <ostream>
#include <unordered_map>

#include "gis/geopackage_output.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"

#ifndef ARBORA_VERSION
#define ARBORA_VERSION "unknown"
#endif

namespace arbora {
namespace {

volatile std::sig_atomic_t interrupted = 0;

// While a run writes its output, Ctrl-C (and a hang-up or termination request) ends it
// between two rows, so that the unfinished output is removed and nothing else changes.
class InterruptionGuard {
  public:
    InterruptionGuard() {
        interrupted = 0;
        struct sigaction action {};
        action.sa_handler = [](int) { interrupted = 1; };
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(signals_); ++i)
            ::sigaction(signals_[i], &action, &previous_[i]);
    }
    ~InterruptionGuard() {
        for (std::size_t i = 0; i < std::size(signals_); ++i)
            ::sigaction(signals_[i], &previous_[i], nullptr);
    }
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;

  private:
    static constexpr int signals_[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[3]{};
};

int exitStatusOf(GisProblem::Kind kind) {
    switch (kind) {
        case GisProblem::Kind::usage:
            return exitUsage;
        case GisProblem::Kind::unreadable:
            return exitFileFailure;
        default:
            return exitUnusableData;
    }
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
        auto opened = openStandInput(input, options.encoding, options.input);
        if (const auto* problem = std::get_if<GisProblem>(&opened)) {
            return error(problem->message, exitStatusOf(problem->kind));
        }
        StandInput& stands = std::get<StandInput>(opened);
        StandSource* const source = &stands.source();
        const StandColumnMap& map = stands.columns();

        std::unique_ptr<ProjectionOutput> output;
        if (options.outputFile) {
            auto made = openStandOutput(*options.outputFile, stands, options.years);
            if (const auto* problem = std::get_if<GisProblem>(&made)) {
                return error(problem->message, exitStatusOf(problem->kind));
            }
            output = std::get<std::unique_ptr<ProjectionOutput>>(std::move(made));
        }

        InventorySummary summary(options.years);
        InventoryProjector projector;
        std::unordered_map<std::string, std::int64_t> firstLineOf;  // by stand id
        ProgressLine progress(err, options.showProgress);
        RawRow row;
        std::int64_t rows = 0;
        const auto reject = [&](Rejection rejection) {
            if (run.firstRejections.size() < rejectionsKept) {
                run.firstRejections.push_back(rejection);
            }
            ++run.rejectedRows;
            if (output && options.skipBadRows) output->addRejection(rejection);
        };

        while (source->next(row)) {
            if (interrupted) throw OutputFileError("interrupted");
            progress.update(++rows, source->fractionDone());
            StandReading reading = stands.read(row);
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
            // After a rejection nothing is written unless bad rows are skipped; the
            // rows are still read, so that every rejection is found.
            if (run.rejectedRows > 0 && !options.skipBadRows) continue;
            const auto& projected = std::get<std::vector<ProjectionRow>>(projection);
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
        // The estate report is written beside the output and put in place after it.
        std::unique_ptr<AtomicFile> report;
        if (options.reportFile) {
            report = std::make_unique<AtomicFile>(*options.reportFile);
            report->write(estateReport(options, run, summary));
        }
        if (output) {
            output->finish(summary.rows(),
                           {run.version, run.startedUtc, input, yearsText(options.years)});
        }
        if (report) report->commit();
        run.summary = std::move(summary);
        for (const std::string& line : summaryReportLines(input, *run.summary, run.rejectedRows))
            out << line << "\n";
        return exitSuccess;
    } catch (const InventoryInputError& e) {
        return error(e.what(), e.kind() == InventoryInputError::unreadable ? exitFileFailure
                                                                           : exitUnusableData);
    } catch (const OutputFileError& e) {
        return error(e.what(), exitFileFailure);
    }
}

}  // namespace arbora
