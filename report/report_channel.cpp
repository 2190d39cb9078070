#include "report/report_channel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "io/descriptors.h"

namespace arbora {

ReportFileError::ReportFileError(std::string_view action, std::string fileName, std::string reason)
    : std::runtime_error("Cannot " + std::string(action) + " the report file \"" + fileName +
                         "\": " + reason),
      fileName_(std::move(fileName)),
      reason_(std::move(reason)) {}

ReportChannel::ReportChannel(ScreenSink screen) : screen_(std::move(screen)) {}

ReportChannel::~ReportChannel() {
    closeQuietly();
}

namespace {

// What kind of file that is not a regular file a report file name names.
const char* kindOfFile(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

std::string notRegularReason(mode_t mode) {
    return std::string("it is ") + kindOfFile(mode) + ", not a regular file";
}

}  // namespace

void ReportChannel::openReport(const std::string& fileName) {
    if (file_ >= 0) throw std::logic_error("a report file is already open: " + fileName_);
    fileName_ = fileName;
    // Opened without blocking and without cutting it yet: a FIFO with no reader, or a
    // device, must neither hang the command nor take report lines. Only a regular file
    // (or a symbolic link to one) is a report file; it is then rewritten from its
    // start, so that only this run's lines remain.
    const int file =
        ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (file < 0) {
        const int openError = errno;
        struct stat existing;
        if (::stat(fileName.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
            throw ReportFileError("open", fileName, notRegularReason(existing.st_mode));
        }
        throw ReportFileError("open", fileName, std::strerror(openError));
    }
    struct stat opened;
    std::string problem;
    if (::fstat(file, &opened) != 0) {
        problem = std::strerror(errno);
    } else if (!S_ISREG(opened.st_mode)) {
        problem = notRegularReason(opened.st_mode);
    } else if (::fcntl(file, F_SETFL, 0) != 0 || ::ftruncate(file, 0) != 0) {
        problem = std::strerror(errno);
    }
    if (!problem.empty()) {
        ::close(file);
        throw ReportFileError("open", fileName, problem);
    }
    file_ = file;
}

void ReportChannel::writeLine(Sink sink, std::string_view layout,
                              std::initializer_list<LayoutValue> values) {
    const auto lines = formatLayout(layout, values);
    deliver(sink, lines.data(), lines.size());
}

void ReportChannel::writeListLine(Sink sink, std::string_view text) {
    const std::string line = " " + std::string(text);
    deliver(sink, &line, 1);
}

void ReportChannel::closeReport() {
    if (file_ < 0) return;
    const int file = std::exchange(file_, -1);
    if (::close(file) != 0) throw ReportFileError("close", fileName_, std::strerror(errno));
}

void ReportChannel::deliver(Sink sink, const std::string* lines, std::size_t count) {
    if (sink != Sink::file) {
        for (std::size_t i = 0; i < count; ++i) {
            if (screen_) screen_(lines[i]);
        }
    }
    if (sink != Sink::screen) {
        if (file_ < 0) throw std::logic_error("no report file is open");
        for (std::size_t i = 0; i < count; ++i)
            writeToFile(lines[i]);
    }
}

void ReportChannel::writeToFile(const std::string& line) {
    const std::string record = line + "\r\n";
    std::size_t written = 0;
    while (written < record.size()) {
        const ssize_t n = retryInterrupted(
            [&] { return ::write(file_, record.data() + written, record.size() - written); });
        if (n <= 0) {
            const std::string reason = n < 0 ? std::strerror(errno) : "nothing was written";
            closeQuietly();
            throw ReportFileError("write", fileName_, reason);
        }
        written += static_cast<std::size_t>(n);
    }
}

void ReportChannel::closeQuietly() {
    if (file_ >= 0) ::close(std::exchange(file_, -1));
}

}  // namespace arbora
