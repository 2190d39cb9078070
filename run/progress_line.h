#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace arbora {

// "12,345 rows, 6,789 rows/s, 0:42 left" on one terminal line, rewritten in place,
// once the run has taken a second.
class ProgressLine {
  public:
    ProgressLine(std::ostream& err, bool shown) : err_(err), shown_(shown) {}
    ~ProgressLine() { clear(); }

    void update(std::int64_t rows, double fraction) {
        if (!shown_ || (rows & 1023) != 0) return;
        const auto now = std::chrono::steady_clock::now();
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        if (elapsed < 1.0 || now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        const double perSecond = static_cast<double>(rows) / elapsed;
        std::string line = "\r" + std::to_string(rows) + " rows, " +
                           std::to_string(static_cast<long long>(perSecond)) + " rows/s";
        if (fraction > 0 && fraction < 1) {
            const auto left = static_cast<long long>(elapsed * (1 - fraction) / fraction);
            line += ", " + std::to_string(left / 60) + ":" + (left % 60 < 10 ? "0" : "") +
                    std::to_string(left % 60) + " left";
        }
        line += "    ";
        err_ << line << std::flush;
        written_ = true;
    }
    void clear() {
        if (written_) err_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
        written_ = false;
    }

  private:
    std::ostream& err_;
    bool shown_;
    bool written_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ = start_;
};

}  // namespace arbora
