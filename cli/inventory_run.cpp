#include "cli/inventory_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iterator>
#include <ostream>

#include "accounting/accounting_tables.h"
#include "gis/geopackage_output.h"
#include "inventory/number_text.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"
#include "inventory/stand_ids.h"
#include "management/assortments.h"
#include "management/removal_totals.h"
#include "management/removals_table.h"
#include "management/scenario_projection.h"
#include "management/treatments.h"
#include "report/layout.h"

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
                         const InventorySummary& summary, std::vector<SummaryRow> rows,
                         std::vector<ComparisonRow> comparison) {
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
    data.scenarios = summary.scenarios();
    data.summary = std::move(rows);
    data.comparison = std::move(comparison);
    data.removals = run.removals;
    for (const ProductsRow& row : run.products) {
        if (std::binary_search(options.years.begin(), options.years.end(), row.year)) {
            data.products.push_back(row);
        }
    }
    data.finance = run.finance;
    data.areaByAgeClass = summary.areaByAgeClass();
    data.firstRejections = run.firstRejections;
    for (const auto& [name, value] : run.parameters) {
        std::string text;
        if (const auto* whole = std::get_if<std::int64_t>(&value)) text = std::to_string(*whole);
        if (const auto* real = std::get_if<double>(&value)) text = shortestText(*real);
        if (const auto* words = std::get_if<std::string>(&value)) text = *words;
        data.parameters.emplace_back(name, text);
    }
    return estateReportHtml(data, options.reportLanguage, chartJs);
}

}  // namespace

std::string programVersion() {
    return ARBORA_VERSION;
}

namespace {

// One run of the inventory command, step by step: open the inputs and the output,
// project each stand under every scenario, then check, total and write.
class InventoryRunner {
  public:
    InventoryRunner(const InventoryOptions& options, std::ostream& err, InventoryRun& run,
                    const ProductsSettings& products, std::optional<Prices> prices)
        : options_(options),
          err_(err),
          run_(run),
          progress_(err, options.showProgress),
          prices_(std::move(prices)) {
        if (options.treatmentsFile) ledger_.emplace(products, options.years.back());
    }

    // Opens the inputs and the output; a problem of the stands or of the output they
    // allow (a GIS layer's, a GeoPackage's) comes back, other failures are thrown.
    std::optional<GisProblem> open() {
        schedule_ = options_.treatmentsFile
                        ? readTreatments(*options_.treatmentsFile, options_.encoding)
                        : baselineOnly();
        for (Rejection& rejection : schedule_.rejections)
            reject(std::move(rejection));
        auto opened = openStandInput(options_.standsFile, options_.encoding, options_.input);
        if (auto* problem = std::get_if<GisProblem>(&opened)) return std::move(*problem);
        stands_.emplace(std::get<StandInput>(std::move(opened)));
        source_ = &stands_->source();
        map_ = stands_->columns();
        if (options_.outputFile) {
            const OutputTable* further[] = {&removalsTable, &productsTable, &financeTable};
            auto made = openStandOutput(*options_.outputFile, *stands_, options_.years, further);
            if (auto* problem = std::get_if<GisProblem>(&made)) return std::move(*problem);
            output_ = std::get<std::unique_ptr<ProjectionOutput>>(std::move(made));
        }
        summary_.emplace(options_.years, schedule_.scenarios);
        removalTotals_.emplace(options_.years, schedule_.scenarios);
        if (ledger_) {
            for (const std::string& scenario : schedule_.scenarios)
                ledger_->addScenario(scenario);
        }
        return std::nullopt;
    }

    // Reads, checks and projects every stand.
    void projectAll() {
        RawRow row;
        while (source_->next(row)) {
            if (interrupted) throw OutputFileError("interrupted");
            progress_.update(++rows_, source_->fractionDone());
            projectOne(row);
        }
        progress_.clear();
        rejectTreatmentsOfUnknownStands();
    }

    std::int64_t rows() const { return rows_; }
    ProjectionOutput* output() const { return output_.get(); }

    // The wood products and the inventory's finance, into the output and the run; the
    // totals with the products carbon.
    void account(std::vector<SummaryRow>& summaryRows, std::vector<ComparisonRow>& comparison) {
        if (ledger_) run_.products = ledger_->rows();
        run_.removals = removalTotals_->periods();
        if (prices_) run_.finance = financeTotals_.rows();
        if (output_) {
            for (const ProductsRow& row : run_.products)
                output_->addTableRow(productsTable, productsValues(row));
            for (const FinanceRow& row : run_.finance)
                output_->addTableRow(financeTable, financeValues(row));
        }
        summaryRows = summary_->rows();
        comparison = summary_->comparison();
        addProductsCarbon(summaryRows, comparison,
                          [&](std::string_view scenario, std::int32_t year) {
                              return productsCarbon(run_.products, scenario, year);
                          });
    }
    InventorySummary& summary() { return *summary_; }

  private:
    void reject(Rejection rejection) {
        if (rejection.file.empty()) rejection.file = options_.standsFile;
        if (run_.firstRejections.size() < rejectionsKept) {
            run_.firstRejections.push_back(rejection);
        }
        ++run_.rejectedRows;
        if (output_ && options_.skipBadRows) output_->addRejection(rejection);
    }

    const std::string& header(StandColumn column) const {
        return map_.header[static_cast<std::size_t>(column)];
    }

    void projectOne(RawRow& row) {
        StandReading reading = stands_->read(row);
        const InventoryStand& stand = reading.stand;
        if (!stand.standId.empty()) {
            if (const auto first = standIds_.add(stand.standId, row.line)) {
                reading.rejection = Rejection{row.line, stand.standId, header(StandColumn::standId),
                                              "duplicate of line " + std::to_string(*first)};
            }
        }
        if (reading.rejection) return reject(std::move(*reading.rejection));

        projections_.resize(schedule_.scenarios.size());
        for (std::size_t s = 0; s < schedule_.scenarios.size(); ++s) {
            const std::string& scenario = schedule_.scenarios[s];
            const auto problem =
                projectScenario(projector_, stand, treatmentsOf(schedule_, s, stand.standId),
                                options_.years, scenario, projections_[s]);
            if (problem) return rejectScenario(stand, s, *problem);
        }
        if (prices_ && !priceAll(stand)) return;
        // After a rejection nothing is written unless bad rows are skipped; the rows are
        // still read, so that every rejection is found.
        if (run_.rejectedRows > 0 && !options_.skipBadRows) return;
        keep(stand);
    }

    // The finance of the stand under every scenario; false when it cannot be had.
    bool priceAll(const InventoryStand& stand) {
        finance_.clear();
        for (std::size_t s = 0; s < projections_.size(); ++s) {
            const ScenarioProjection& projection = projections_[s];
            const ProjectionRow& last = projection.rows.back();
            StandAccounts accounts{
                .scenario = schedule_.scenarios[s],
                .standId = stand.standId,
                .area = stand.area,
                .horizon = options_.years.back(),
                .removals = projection.removals,
                .standing = {last.species, stand.outputClass.value_or(defaultOutputClass),
                             last.averageDiameter, last.standVolume}};
            auto priced = standFinance(accounts, *prices_);
            if (const auto* problem = std::get_if<AccountingProblem>(&priced)) {
                rejectScenario(stand, s, ScenarioProblem{"", problem->reason});
                return false;
            }
            finance_.push_back(std::move(std::get<FinanceRow>(priced)));
        }
        setNpvDifferences(finance_);
        return true;
    }

    // A stand that cannot be projected under one scenario is left out of every scenario,
    // so that the scenarios are compared over the same stands.
    void rejectScenario(const InventoryStand& stand, std::size_t scenario,
                        const ScenarioProblem& problem) {
        std::string column =
            problem.column == "stand_age" ? header(StandColumn::standAge) : std::string("scenario");
        std::string reason = problem.reason;
        if (scenario > 0) {
            reason = "scenario \"" + schedule_.scenarios[scenario] + "\": " + reason;
        }
        reject({stand.line, stand.standId, std::move(column), std::move(reason)});
    }

    void keep(const InventoryStand& stand) {
        if (output_) output_->addStand(stand);
        for (std::size_t s = 0; s < projections_.size(); ++s) {
            const ScenarioProjection& projection = projections_[s];
            summary_->add(s, stand, projection.rows);
            for (const Removal& removal : projection.removals) {
                summary_->addRemoval(s, stand, removal.year, removal.species, removal.volume,
                                     removal.carbon.stand, removal.co2e);
            }
            for (const Removal& removal : projection.removals) {
                removalTotals_->add(s, removal, stand.area);
                if (ledger_) ledger_->addRemoval(removal, stand.area);
            }
            if (prices_) financeTotals_.add(finance_[s]);
            if (!output_) continue;
            for (const ProjectionRow& row : projection.rows)
                output_->addRow(schedule_.scenarios[s], stand.standId, row);
            for (const Removal& removal : projection.removals)
                output_->addTableRow(removalsTable, removalValues(removal));
            if (prices_) output_->addTableRow(financeTable, financeValues(finance_[s]));
        }
    }

    void rejectTreatmentsOfUnknownStands() {
        std::vector<const Treatment*> unknown;
        for (const auto& [standId, treatments] : schedule_.byStand) {
            if (standIds_.contains(standId)) continue;
            for (const std::size_t index : treatments)
                unknown.push_back(&schedule_.treatments[index]);
        }
        std::sort(unknown.begin(), unknown.end(),
                  [](const Treatment* a, const Treatment* b) { return a->line < b->line; });
        for (const Treatment* t : unknown) {
            reject({t->line, t->standId, "stand_id", "names no stand of the inventory",
                    schedule_.fileName});
        }
    }

    const InventoryOptions& options_;
    std::ostream& err_;
    InventoryRun& run_;
    ProgressLine progress_;
    TreatmentSchedule schedule_;
    std::optional<StandInput> stands_;
    StandSource* source_ = nullptr;  // the stands'
    StandColumnMap map_;
    std::unique_ptr<ProjectionOutput> output_;
    std::optional<InventorySummary> summary_;
    InventoryProjector projector_;
    StandIds standIds_;                            // with the line each was first seen on
    std::vector<ScenarioProjection> projections_;  // of the stand at hand, reused
    std::vector<FinanceRow> finance_;              // of the stand at hand
    std::optional<Prices> prices_;
    std::optional<ProductsLedger> ledger_;  // with scenarios
    std::optional<RemovalTotals> removalTotals_;
    FinanceTotals financeTotals_;
    std::int64_t rows_ = 0;
};

// A parameter name as a column of the run table: "prices.rough_timber (Pinus
// armandii)" becomes prices_rough_timber_pinus_armandii.
std::string columnName(std::string_view name) {
    std::string column;
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (c >= 'A' && c <= 'Z') {
            column += static_cast<char>(c - 'A' + 'a');
        } else if (letter) {
            column += c;
        } else if (!column.empty() && column.back() != '_') {
            column += '_';
        }
    }
    while (!column.empty() && column.back() == '_')
        column.pop_back();
    return column;
}

// The products settings and the prices of the run, or the problems of their files.
struct AccountingSetup {
    ProductsSettings products = defaultProductsSettings();
    std::optional<Prices> prices;
    std::vector<AccountingProblem> problems;
};

AccountingSetup readAccounting(const InventoryOptions& options) {
    AccountingSetup setup;
    if (options.productsFile) {
        auto read = readProductsFile(*options.productsFile, options.encoding);
        if (auto* problems = std::get_if<std::vector<AccountingProblem>>(&read)) {
            setup.problems = std::move(*problems);
        } else {
            setup.products = std::get<ProductsSettings>(read);
        }
    }
    if (options.pricesFile) {
        auto read = readPricesFile(*options.pricesFile, options.encoding);
        if (auto* problems = std::get_if<std::vector<AccountingProblem>>(&read)) {
            setup.problems.insert(setup.problems.end(), problems->begin(), problems->end());
        } else {
            setup.prices = std::get<Prices>(read);
        }
    }
    return setup;
}

// Every assumption of the run that a user can change, for the run table.
std::vector<std::pair<std::string, OwnedOutputValue>> runParameters(
    const InventoryOptions& options, const AccountingSetup& accounting) {
    std::vector<std::pair<std::string, OwnedOutputValue>> parameters;
    parameters.emplace_back("treatments", options.treatmentsFile
                                              ? OwnedOutputValue{*options.treatmentsFile}
                                              : OwnedOutputValue{});
    parameters.emplace_back("quotient_below", defaultQuotients.below);
    parameters.emplace_back("quotient_above", defaultQuotients.above);
    parameters.emplace_back("quotient_systematic", defaultQuotients.systematic);
    parameters.emplace_back("regeneration_age", std::int64_t{regenerationAge});
    parameters.emplace_back("regeneration_stocking", defaultRegenerationStocking);
    parameters.emplace_back("products", options.productsFile
                                            ? OwnedOutputValue{*options.productsFile}
                                            : OwnedOutputValue{});
    for (const RunParameter& p : productsRunParameters(accounting.products))
        parameters.emplace_back(columnName(p.name), p.value);
    parameters.emplace_back(
        "prices", options.pricesFile ? OwnedOutputValue{*options.pricesFile} : OwnedOutputValue{});
    if (accounting.prices) {
        for (const RunParameter& p : financeRunParameters(*accounting.prices))
            parameters.emplace_back(columnName(p.name), p.value);
    }
    return parameters;
}

// The inventory's finance per scenario, as the runner prints it after the totals.
std::vector<std::string> financeReportLines(const std::vector<FinanceRow>& finance) {
    std::vector<std::string> lines;
    if (finance.empty()) return lines;
    const auto add = [&](std::string_view layout, std::initializer_list<LayoutValue> values) {
        for (std::string& line : formatLayout(layout, values))
            lines.push_back(std::move(line));
    };
    add(R"x(/, 2X, "Finance of the inventory (money of the prices file; NPV at the discount rate)")x",
        {});
    add(R"(/, 2X, "Scenario", 25X, "Revenue", 9X, "Costs", 6X, "Net cash", 11X, "NPV", 6X,)"
        R"( "NPV diff", 3X, "Liquidation")",
        {});
    lines.push_back(" " + std::string(111, '-'));
    for (const FinanceRow& r : finance) {
        std::string name = r.scenario;
        name.resize(26, ' ');
        add(R"(2X, A26, F14.2, F14.2, F14.2, F14.2, F14.2, F14.2)",
            {name, r.revenue, r.costs, r.netCashFlow, r.npv, r.npvDifference.value_or(0),
             r.liquidationValue});
    }
    return lines;
}

void listRejections(const InventoryOptions& options, const InventoryRun& run, std::ostream& err) {
    for (std::size_t i = 0; i < run.firstRejections.size() && i < rejectionsListed; ++i) {
        const Rejection& r = run.firstRejections[i];
        err << r.file << ":" << r.line << ": " << r.column << ": " << r.reason << "\n";
    }
    if (run.rejectedRows > static_cast<std::int64_t>(rejectionsListed)) {
        err << options.standsFile << ": " << run.rejectedRows - rejectionsListed
            << " more rejected rows\n";
    }
}

}  // namespace

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

    if (options.treatmentsFile && !options.years.empty() &&
        options.years.back() > lastScenarioYear) {
        return error("--years: with --treatments the years end at " +
                         std::to_string(lastScenarioYear) +
                         " at most: removals and wood products are followed year by year",
                     exitUsage);
    }

    InterruptionGuard interruption;
    try {
        AccountingSetup accounting = readAccounting(options);
        if (!accounting.problems.empty()) {
            for (const AccountingProblem& problem : accounting.problems)
                err << problemText(problem) << "\n";
            return error(std::to_string(accounting.problems.size()) +
                             " rows of the products or prices file rejected, nothing written",
                         exitUnusableData);
        }
        run.parameters = runParameters(options, accounting);
        InventoryRunner runner(options, err, run, accounting.products, accounting.prices);
        if (const auto problem = runner.open()) {
            return error(problem->message, exitStatusOf(problem->kind));
        }
        runner.projectAll();
        ProjectionOutput* output = runner.output();
        listRejections(options, run, err);
        if (runner.rows() == 0) {
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
        std::vector<SummaryRow> summaryRows;
        std::vector<ComparisonRow> comparison;
        runner.account(summaryRows, comparison);
        InventorySummary& summary = runner.summary();
        // The estate report is written beside the output and put in place after it.
        std::unique_ptr<AtomicFile> report;
        if (options.reportFile) {
            report = std::make_unique<AtomicFile>(*options.reportFile);
            report->write(estateReport(options, run, summary, summaryRows, comparison));
        }
        if (output) {
            output->finish(
                summaryRows, comparison,
                {run.version, run.startedUtc, input, yearsText(options.years), run.parameters});
        }
        if (report) report->commit();
        run.summary = std::move(summary);
        for (const std::string& line :
             summaryReportLines(input, *run.summary, run.rejectedRows, comparison))
            out << line << "\n";
        for (const std::string& line : financeReportLines(run.finance))
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
