// The option reference of the man page, from the CLI11 definitions of a command.

#include "option_reference.h"

#include <string_view>

namespace arbora {

namespace {

// Text for roff: a backslash printed as such, and every hyphen of an option name or
// value name as a minus sign (\-), so that it can be copied into a shell.
std::string roffName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (c == '-') {
            out += "\\-";
        } else if (c == '\\') {
            out += "\\e";
        } else {
            out += c;
        }
    }
    return out;
}

// A help text as one roff text line: backslashes printed as such, the "--" of an option
// named in it as minus signs, and a leading dot or quote kept from being a request.
std::string roffText(std::string_view text) {
    std::string out = text.starts_with('.') || text.starts_with('\'') ? "\\&" : "";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            out += "\\e";
        } else if (text.substr(i).starts_with("--")) {
            out += "\\-\\-";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The value an option takes as the man page shows it: choices ("utf-8|gbk", or
// CLI11's "TEXT:{utf-8,gbk}") in bold, any other name (FILE, N, PCT) in italics.
std::string roffValue(const CLI::Option& option) {
    const std::string type = option.get_type_name();
    std::string value = type.substr(0, type.find(':'));
    if (const auto open = type.find(":{"); value == "TEXT" && open != std::string::npos) {
        value = type.substr(open + 2, type.find('}', open) - open - 2);
        for (char& c : value)
            c = c == ',' ? '|' : c;
    }
    if (value.find('|') == std::string::npos) return "\\fI" + roffName(value) + "\\fR";
    std::string out;
    std::size_t start = 0;
    for (std::size_t bar = value.find('|');; bar = value.find('|', start)) {
        if (start > 0) out += '|';
        out += "\\fB" + roffName(value.substr(start, bar - start)) + "\\fR";
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return out;
}

}  // namespace

std::string optionsAsRoff(const CLI::App& app) {
    std::string out;
    for (const CLI::Option* option : app.get_options()) {
        if (!option->nonpositional()) continue;
        std::string names;
        for (const std::string& name : option->get_snames())
            names += (names.empty() ? "" : ", ") + ("\\fB\\-" + roffName(name) + "\\fR");
        for (const std::string& name : option->get_lnames())
            names += (names.empty() ? "" : ", ") + ("\\fB\\-\\-" + roffName(name) + "\\fR");
        if (option->get_type_size() != 0 && !option->get_type_name().empty())
            names += " " + roffValue(*option);
        std::string text = roffText(option->get_description());
        if (!text.ends_with('.')) text += '.';  // a sentence of the page
        out += ".TP\n" + names + "\n" + text + "\n";
    }
    return out;
}

}  // namespace arbora
