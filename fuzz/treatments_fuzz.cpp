// The treatments reader over any file: every row becomes a treatment or a rejection
// with its line, column and a short message; scenario names and stand ids that reach
// the outputs are UTF-8 text without NUL bytes; every number a treatment holds is in
// its range.
#include <cmath>

#include "fuzz/reader_checks.h"
#include "management/treatments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace arbora;
    const fuzz::InputFile file(data, size);
    try {
        const TreatmentSchedule schedule = readTreatments(file.name(), file.encoding());
        FUZZ_CHECK(schedule.scenarios.front() == baselineScenario, "no baseline first");
        for (const std::string& scenario : schedule.scenarios) {
            FUZZ_CHECK(!scenario.empty(), "an empty scenario name");
            fuzz::checkText(scenario, "a scenario name");
        }
        for (const Rejection& r : schedule.rejections) {
            FUZZ_CHECK(r.line >= 1 && !r.column.empty(), "a rejection without its place");
            fuzz::checkText(r.standId, "a rejected stand id");
            fuzz::checkMessage(r.message);
        }
        std::size_t indexed = schedule.everyStand.size();
        for (const auto& [standId, indices] : schedule.byStand)
            indexed += indices.size();
        FUZZ_CHECK(indexed == schedule.treatments.size(), "a treatment not indexed once");
        for (const Treatment& t : schedule.treatments) {
            fuzz::checkText(t.standId, "a stand id");
            FUZZ_CHECK(t.scenario > 0 && t.scenario < schedule.scenarios.size(),
                       "a treatment of no scenario");
            FUZZ_CHECK(t.year.has_value() != t.age.has_value(), "not one of year and age");
            const bool thinning = t.action == TreatmentAction::thin;
            FUZZ_CHECK(std::isfinite(t.amount) && t.amount >= 0 && std::isfinite(t.quotient) &&
                           (!thinning || t.quotient > 0) && t.stocking > 0 && t.stocking <= 100,
                       "a treatment's number out of its range");
        }
    } catch (const InventoryInputError& e) {
        fuzz::checkMessage(e.what());
    }
    return 0;
}
