#pragma once

#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "report/layout.h"

namespace arbora {

// Where a line goes. A line for both goes to the screen first, then the same
// characters to the report file.
enum class Sink { screen, file, both };

// Receives each screen line, as the single-byte characters of the report (see
// screen_text.h for showing them).
using ScreenSink = std::function<void(std::string_view line)>;

// A report file that could not be opened, written or closed. The command that met it
// stops at once; the lines already on the screen stay.
class ReportFileError : public std::runtime_error {
  public:
    ReportFileError(std::string_view action, std::string fileName, std::string reason);
    const std::string& fileName() const { return fileName_; }
    const std::string& reason() const { return reason_; }

  private:
    std::string fileName_;
    std::string reason_;
};

// Delivers report lines to the screen and to the report file of the running command.
// A report file is a text file in the current directory, each line ended by CR LF,
// holding exactly the lines of the last run that wrote it.
class ReportChannel {
  public:
    explicit ReportChannel(ScreenSink screen);
    ~ReportChannel();  // closes a file left open by a command that stopped on a fault
    ReportChannel(const ReportChannel&) = delete;
    ReportChannel& operator=(const ReportChannel&) = delete;

    // Creates or rewrites the named file; throws ReportFileError when it cannot.
    void openReport(const std::string& fileName);
    void writeLine(Sink sink, std::string_view layout,
                   std::initializer_list<LayoutValue> values = {});
    // A list-directed line: one blank, then the whole text.
    void writeListLine(Sink sink, std::string_view text);
    // Closes and keeps the report file; throws ReportFileError when the close fails.
    void closeReport();

  private:
    void deliver(Sink sink, const std::string* lines, std::size_t count);
    void writeToFile(const std::string& line);
    void closeQuietly();

    ScreenSink screen_;
    int file_ = -1;
    std::string fileName_;
};

}  // namespace arbora
