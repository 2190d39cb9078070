// The products file reader over any file: the settings it gives have half-lives that
// are numbers above 0 (0 for the emitted pool), or every problem has a short message.
#include <cmath>

#include "accounting/wood_products.h"
#include "fuzz/reader_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace arbora;
    const fuzz::InputFile file(data, size);
    try {
        const auto read = readProductsFile(file.name(), file.encoding());
        if (const auto* problems = std::get_if<std::vector<Problem>>(&read)) {
            FUZZ_CHECK(!problems->empty(), "refused without a problem");
            for (const Problem& problem : *problems)
                fuzz::checkMessage(problemText(problem));
        } else {
            const ProductsSettings& settings = std::get<ProductsSettings>(read);
            for (std::size_t pool = 0; pool < productPoolCount; ++pool) {
                const double halfLife = settings.halfLife[pool];
                const bool emitted = pool == static_cast<std::size_t>(ProductPool::emitted);
                FUZZ_CHECK(emitted ? halfLife == 0 : std::isfinite(halfLife) && halfLife > 0,
                           "a half-life of " + std::to_string(halfLife));
            }
        }
    } catch (const InventoryInputError& e) {
        fuzz::checkMessage(e.what());
    }
    return 0;
}
