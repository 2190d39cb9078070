// The species map reader over any file: every code it maps is UTF-8 text without NUL
// and stands for a species 1 to 4, or the problem has a short message.
#include "fuzz/reader_checks.h"
#include "gis/species_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace arbora;
    const fuzz::InputFile file(data, size);
    const auto read = readSpeciesMap(file.name(), file.encoding());
    if (const auto* problem = std::get_if<Problem>(&read)) {
        fuzz::checkMessage(problem->message);
        return 0;
    }
    for (const auto& [code, species] : std::get<SpeciesMap>(read).speciesOfCode) {
        FUZZ_CHECK(!code.empty(), "an empty code");
        fuzz::checkText(code, "a code");
        FUZZ_CHECK(species >= 1 && species <= 4, "a species " + std::to_string(species));
    }
    return 0;
}
