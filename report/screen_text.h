#pragma once

#include <string>
#include <string_view>

namespace arbora {

// Report lines are single-byte text; the only characters outside ASCII are the Roman
// numerals of the merchantable volume table, held as the GBK pairs A2 F1, A2 F2 and
// A2 F3. This gives the line as UTF-8 for showing on a screen: those pairs become
// U+2160 to U+2162, any other byte above 127 is taken as Latin-1.
std::string screenTextUtf8(std::string_view line);

}  // namespace arbora
