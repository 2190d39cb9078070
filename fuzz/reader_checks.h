#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "inventory/stand_columns.h"
#include "inventory/stand_sources.h"

// What the fuzz targets of the small input files (treatments, products, prices, species
// map) share: the input as a file opened by name, as the runner opens it, and the rules
// every message and every text that reaches an output keeps.
namespace arbora::fuzz {

// The input after its first byte, which chooses the encoding (bit 0: GBK), as a file
// in memory named /proc/self/fd/N.
class InputFile {
  public:
    InputFile(const std::uint8_t* data, std::size_t size) {
        if (size > 0) encoding_ = (data[0] & 1) ? InputEncoding::gbk : InputEncoding::utf8;
        fd_ = ::memfd_create("fuzz.csv", MFD_CLOEXEC);
        const std::size_t rest = size > 0 ? size - 1 : 0;
        FUZZ_CHECK(fd_ >= 0 && ::write(fd_, data + 1, rest) == static_cast<ssize_t>(rest),
                   "cannot make the file");
        name_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~InputFile() { ::close(fd_); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& name() const { return name_; }
    InputEncoding encoding() const { return encoding_; }

  private:
    int fd_ = -1;
    std::string name_;
    InputEncoding encoding_ = InputEncoding::utf8;
};

// A text that reaches an output or a terminal: UTF-8, no NUL byte.
inline void checkText(std::string_view text, const char* what) {
    FUZZ_CHECK(text.find('\0') == std::string_view::npos && isUtf8Text(text),
               std::string(what) + " is not UTF-8 text without NUL: " + shortenedText(text));
}

// A message: text as above, short however long the values it quotes (each cut at 80
// characters, at most 4 bytes each).
inline void checkMessage(std::string_view message) {
    checkText(message, "a message");
    FUZZ_CHECK(message.size() < 1200, "a message of " + std::to_string(message.size()) +
                                          " bytes: " + shortenedText(message));
}

}  // namespace arbora::fuzz
