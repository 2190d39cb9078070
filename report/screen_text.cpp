#include "report/screen_text.h"

namespace arbora {

std::string screenTextUtf8(std::string_view line) {
    std::string text;
    text.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (byte < 0x80) {
            text += static_cast<char>(byte);
            continue;
        }
        if (byte == 0xA2 && i + 1 < line.size()) {
            const auto next = static_cast<unsigned char>(line[i + 1]);
            if (next >= 0xF1 && next <= 0xF3) {  // Roman numerals one to three
                text += "\xE2\x85";
                text += static_cast<char>(0xA0 + (next - 0xF1));
                ++i;
                continue;
            }
        }
        text += static_cast<char>(0xC0 | (byte >> 6));
        text += static_cast<char>(0x80 | (byte & 0x3F));
    }
    return text;
}

}  // namespace arbora
