// The prices file reader over any file: every price it gives is a finite number, or
// every problem has a short message.
#include <cmath>

#include "accounting/finance.h"
#include "fuzz/reader_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace arbora;
    const fuzz::InputFile file(data, size);
    try {
        const auto read = readPricesFile(file.name(), file.encoding());
        if (const auto* problems = std::get_if<std::vector<Problem>>(&read)) {
            FUZZ_CHECK(!problems->empty(), "refused without a problem");
            for (const Problem& problem : *problems)
                fuzz::checkMessage(problemText(problem));
        } else {
            const Prices& prices = std::get<Prices>(read);
            for (const double value : prices.general)
                FUZZ_CHECK(std::isfinite(value), "a price that is not finite");
            for (const auto& species : prices.bySpecies) {
                for (const std::optional<double>& value : species)
                    FUZZ_CHECK(!value || std::isfinite(*value), "a price that is not finite");
            }
        }
    } catch (const InventoryInputError& e) {
        fuzz::checkMessage(e.what());
    }
    return 0;
}
