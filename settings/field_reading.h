#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Reading one value of a field's type from the text a forester typed, as the settings
// dialogs and the runner's options do: only the first 20 characters count, blanks before
// the value are skipped, the value ends at a blank, comma or "/", and what follows it
// is ignored.
namespace arbora {

constexpr std::size_t fieldTextLength = 20;

struct FieldReading {
    enum Outcome {
        read,       // a value was read and stored
        unchanged,  // the text starts with "," or "/": the value is kept as it was
        failed,     // nothing was stored; problem says why
    };
    Outcome outcome = failed;
    std::string problem;  // for failed: what is wrong with the text, as a sentence part
    std::size_t end = 0;  // for read: the index just after the value in the text
};

// An integer field: an optional sign and decimal digits, within the 32-bit range.
FieldReading readField(std::string_view text, std::int32_t& value);

// A real field: an optional sign, digits with or without a decimal point, and an
// optional exponent introduced by E or D; converted to the nearest binary64 value.
FieldReading readField(std::string_view text, double& value);

}  // namespace arbora
