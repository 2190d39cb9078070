#include "text/words.h"

#include "text/utf8.h"

namespace arbora {

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

std::string_view trimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string shortenedText(std::string_view text) {
    // Cut before the first byte of the character after the last one kept.
    std::size_t characters = 0;
    std::size_t cut = 0;
    for (; cut < text.size(); ++cut) {
        const bool starts = (static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80;
        if (starts && characters++ == shownCharacters) break;
    }
    std::string shown(text.substr(0, cut));
    // Text from a database is not checked as a whole: what is not UTF-8 is not passed on.
    if (!isUtf8Text(shown)) {
        for (char& c : shown) {
            if (static_cast<unsigned char>(c) >= 0x80) c = '?';
        }
    }
    return cut < text.size() ? shown + "..." : shown;
}

std::string quotedValue(std::string_view text) {
    return "\"" + shortenedText(text) + "\"";
}

}  // namespace arbora
