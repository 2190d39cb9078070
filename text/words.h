#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The words rules of every text read from an input: comparing names, trimming, and
// quoting values in messages.
namespace arbora {

// The ASCII lower case of a letter; other bytes as they are.
char asciiLower(char c);

// Whether two names are the same in any letter case (ASCII letters only).
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The text with blanks (spaces and tabs) around it removed.
std::string_view trimBlanks(std::string_view text);

// A text of the input as a message shows it: cut after `shownCharacters` UTF-8
// characters, with "..." after the cut, so that one huge field cannot flood the
// messages, the rejected table or the estate report. Bytes of a text that is not UTF-8
// are shown as "?".
constexpr std::size_t shownCharacters = 80;
std::string shortenedText(std::string_view text);
// The same in double quotes, as a rejection quotes a value.
std::string quotedValue(std::string_view text);

}  // namespace arbora
