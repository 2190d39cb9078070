#include "report/layout.h"

#include <charconv>
#include <stdexcept>

#include "report/editing.h"

namespace arbora {
namespace {

[[noreturn]] void layoutFault(std::string_view layout, std::string_view what) {
    throw std::logic_error("layout \"" + std::string(layout) + "\": " + std::string(what));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads the unsigned number at the front of text; -1 when there is none.
int leadingNumber(std::string_view& text) {
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end == text.data()) return -1;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return number;
}

class LayoutWriter {
  public:
    LayoutWriter(std::string_view layout, std::initializer_list<LayoutValue> values)
        : layout_(layout), next_(values.begin()), end_(values.end()) {}

    std::vector<std::string> run() {
        std::string_view rest = layout_;
        while (true) {
            while (!rest.empty() && isBlank(rest.front()))
                rest.remove_prefix(1);
            if (rest.empty()) break;
            applyItem(rest);
            while (!rest.empty() && isBlank(rest.front()))
                rest.remove_prefix(1);
            if (rest.empty()) break;
            if (rest.front() != ',') layoutFault(layout_, "items must be separated by commas");
            rest.remove_prefix(1);
        }
        if (next_ != end_) layoutFault(layout_, "more values than data items");
        lines_.push_back(std::move(line_));
        return std::move(lines_);
    }

  private:
    void applyItem(std::string_view& rest) {
        const char kind = rest.front();
        if (kind == '"') return literal(rest);
        if (kind == '/') {
            rest.remove_prefix(1);
            lines_.push_back(std::move(line_));
            line_.clear();
            return;
        }
        if (kind == 'I' || kind == 'F' || kind == 'A') {
            rest.remove_prefix(1);
            const int width = leadingNumber(rest);
            int decimals = 0;
            if (kind == 'F') {
                if (rest.empty() || rest.front() != '.')
                    layoutFault(layout_, "Fw.d needs its decimals");
                rest.remove_prefix(1);
                decimals = leadingNumber(rest);
                if (decimals < 0) layoutFault(layout_, "Fw.d needs its decimals");
            }
            if (next_ != end_ && std::holds_alternative<BlankField>(*next_)) {
                take<BlankField>(width);
                line_.append(static_cast<std::size_t>(width), ' ');
            } else if (kind == 'I') {
                line_.append(editInteger(take<std::int32_t>(width), width));
            } else if (kind == 'A') {
                const std::string_view text = take<std::string_view>(width);
                line_.append(width < 0 ? std::string(text) : editText(text, width));
            } else {
                line_.append(editFixed(take<double>(width), width, decimals));
            }
            return;
        }
        const int columns = leadingNumber(rest);
        if (columns < 0 || rest.empty() || rest.front() != 'X') {
            layoutFault(layout_, "unknown item at \"" + std::string(rest) + "\"");
        }
        rest.remove_prefix(1);
        line_.append(static_cast<std::size_t>(columns), ' ');
    }

    void literal(std::string_view& rest) {
        rest.remove_prefix(1);
        const auto close = rest.find('"');
        if (close == std::string_view::npos) layoutFault(layout_, "unclosed literal");
        line_.append(rest.substr(0, close));
        rest.remove_prefix(close + 1);
    }

    template <typename T>
    T take(int width) {
        if (width == 0 || (width < 0 && !std::is_same_v<T, std::string_view>)) {
            layoutFault(layout_, "data item without a width");
        }
        if (next_ == end_) layoutFault(layout_, "fewer values than data items");
        const T* value = std::get_if<T>(&*next_);
        if (value == nullptr) layoutFault(layout_, "value of the wrong kind for its item");
        ++next_;
        return *value;
    }

    std::string_view layout_;
    const LayoutValue* next_;
    const LayoutValue* end_;
    std::vector<std::string> lines_;
    std::string line_;
};

}  // namespace

std::vector<std::string> formatLayout(std::string_view layout,
                                      std::initializer_list<LayoutValue> values) {
    return LayoutWriter(layout, values).run();
}

}  // namespace arbora
