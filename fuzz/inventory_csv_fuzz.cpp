// The inventory's CSV reader. The input is taken as records of fields (a byte 0x01 ends
// a record, 0x02 a field), written as RFC 4180 CSV with quoting, LF and CR LF as it
// would come from a spreadsheet; reading it back must give every record that is not
// blank, its fields as they were and the line it starts on, or refuse the file when it
// is not UTF-8 text. The raw input is also read as CSV, and every row as a stand, for
// the sanitizers.
//
// Each file is read twice: from memory in the reader's usual 64 KB pieces, and from a
// file (opened by name, as the runner does) in pieces of the size the input chooses,
// so that a record, a quoted line break, a CR LF or a UTF-8 or GBK character cut at
// any place between two pieces, and the 16 bytes read first to tell a SQLite database,
// are covered; both readings must agree to the byte.
//
// The first byte chooses: bit 0 CR LF, bit 1 GBK (for the raw input), bit 2 a
// byte-order mark, bits 3 to 7 the piece size; with the largest sizes, blank lines
// first push the data across the first 64 KB boundary.
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "inventory/stand_columns.h"
#include "inventory/stand_sources.h"

namespace {

using Record = std::vector<std::string>;

constexpr std::size_t pieceSizes[32] = {1,     2,     3,     4,     5,     7,     8,     13,
                                        15,    16,    17,    31,    32,    33,    64,    100,
                                        127,   255,   256,   1000,  4095,  4096,  4097,  16384,
                                        65535, 65536, 65537, 65536, 65535, 65536, 65537, 1 << 20};
constexpr std::size_t firstPadded = 27;  // from this index on, the data starts near 64 KB
constexpr std::size_t padding = 65536 - 7;

struct Options {
    bool crLf = false;
    bool gbk = false;
    bool mark = false;
    std::size_t pieceSize = 65536;
    std::size_t padding = 0;  // blank lines before the data
};

Options optionsOf(const std::uint8_t* data, std::size_t size) {
    Options options;
    if (size == 0) return options;
    options.crLf = data[0] & 1;
    options.gbk = data[0] & 2;
    options.mark = data[0] & 4;
    const std::size_t index = data[0] >> 3;
    options.pieceSize = pieceSizes[index];
    options.padding = index >= firstPadded ? padding : 0;
    return options;
}

std::vector<Record> decodeRecords(const std::uint8_t* data, std::size_t size) {
    std::vector<Record> records(1, Record(1));
    for (std::size_t i = 1; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\x01') {
            records.emplace_back(1);
        } else if (c == '\x02') {
            records.back().emplace_back();
        } else if (c != '\0') {  // a file with NUL bytes is not a CSV file
            records.back().back() += c;
        }
    }
    return records;
}

bool needsQuotes(const std::string& field) {
    return field.find_first_of(",\"\r\n") != std::string::npos ||
           (!field.empty() && (field.front() == ' ' || field.front() == '\t' ||
                               field.back() == ' ' || field.back() == '\t'));
}

bool isBlank(const Record& record) {
    for (const std::string& field : record) {
        if (!field.empty()) return false;
    }
    return true;
}

// UTF-8 by the code points the bytes decode to: no overlong form, no surrogate,
// nothing above U+10FFFF.
bool isValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80         ? 1
                                   : (byte >> 5) == 6  ? 2
                                   : (byte >> 4) == 14 ? 3
                                   : (byte >> 3) == 30 ? 4
                                                       : 0;
        if (length == 0 || i + length > text.size()) return false;
        std::uint32_t point = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = (point << 6) | (next & 0x3F);
        }
        constexpr std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// Line ends as the reader counts them: LF, CR LF, or a CR alone.
std::int64_t lineEnds(const std::string& text) {
    std::int64_t ends = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++ends;
    }
    return ends;
}

std::string show(const Record& record) {
    std::string text;
    for (const std::string& field : record)
        text += "[" + field + "]";
    return text;
}

// Everything a reading gives: the header, each row's line and values, and the message
// that ended it, if any.
struct Reading {
    Record header;
    std::vector<std::pair<std::int64_t, Record>> rows;
    std::string error;
    bool operator==(const Reading&) const = default;
};

template <typename Open>
Reading readAll(Open open, const std::string& name) {
    Reading reading;
    try {
        const std::unique_ptr<arbora::StandSource> source = open();
        reading.header = source->header();
        const auto columns = arbora::mapStandColumns(reading.header);
        arbora::RawRow row;
        while (source->next(row)) {
            FUZZ_CHECK(reading.rows.empty() || row.line > reading.rows.back().first,
                       "lines out of order");
            Record values;
            for (const arbora::RawValue& value : row.values)
                values.emplace_back(value.text);
            reading.rows.emplace_back(row.line, std::move(values));
            if (const auto* map = std::get_if<arbora::StandColumnMap>(&columns)) {
                arbora::readStand(*map, row);
            }
        }
    } catch (const arbora::InventoryInputError& e) {
        // A file name in the message is the one given; the two readings name it alike.
        reading.error = e.what();
        constexpr std::string_view common = "fuzz.csv";
        for (std::size_t at = 0; (at = reading.error.find(name, at)) != std::string::npos;
             at += common.size())
            reading.error.replace(at, name.size(), common);
    }
    return reading;
}

// Reads the bytes from memory in 64 KB pieces and from a file in pieces of the chosen
// size; the two must agree.
Reading readBothWays(const std::string& bytes, arbora::InputEncoding encoding,
                     std::size_t pieceSize) {
    const Reading fromMemory =
        readAll([&] { return arbora::csvStandSource(bytes, "fuzz.csv", encoding); }, "fuzz.csv");
    const int fd = ::memfd_create("fuzz.csv", MFD_CLOEXEC);
    FUZZ_CHECK(
        fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()),
        "cannot make the file");
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    arbora::SourceTuning tuning;
    tuning.pieceSize = pieceSize;
    const Reading fromFile =
        readAll([&] { return arbora::openStandSource(name, encoding, tuning); }, name);
    ::close(fd);
    FUZZ_CHECK(fromFile == fromMemory, "the file read in pieces of " + std::to_string(pieceSize) +
                                           " gives \"" + fromFile.error + "\", not \"" +
                                           fromMemory.error + "\"");
    return fromMemory;
}

void roundTrip(const std::uint8_t* data, std::size_t size, const Options& options) {
    std::vector<Record> records = decodeRecords(data, size);
    // A file may begin with a byte-order mark, which is no part of its first field.
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    std::string& first = records.front().front();
    while (first.compare(0, mark.size(), mark) == 0)
        first.erase(0, mark.size());
    std::string csv(options.mark ? mark : "");
    csv.append(options.padding, '\n');
    std::vector<std::int64_t> lines;  // where each record starts
    auto line = static_cast<std::int64_t>(1 + options.padding);
    bool valid = true;
    for (const Record& record : records) {
        lines.push_back(line);
        for (std::size_t f = 0; f < record.size(); ++f) {
            if (f > 0) csv += ',';
            const std::string& field = record[f];
            valid = valid && isValidUtf8(field);
            if (!needsQuotes(field)) {
                csv += field;
                continue;
            }
            line += lineEnds(field);
            csv += '"';
            for (const char c : field) {
                if (c == '"') csv += '"';
                csv += c;
            }
            csv += '"';
        }
        csv += options.crLf ? "\r\n" : "\n";
        ++line;
    }

    std::vector<std::size_t> expected;  // the records read back: those not blank
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (!isBlank(records[r])) expected.push_back(r);
    }
    if (expected.empty()) return;
    const Reading reading = readBothWays(csv, arbora::InputEncoding::utf8, options.pieceSize);
    if (!valid) {
        FUZZ_CHECK(reading.error.find("is not UTF-8 text") != std::string::npos,
                   "text that is not UTF-8 was read: " + reading.error);
        return;
    }
    FUZZ_CHECK(reading.error.empty(), reading.error);
    FUZZ_CHECK(reading.header == records[expected.front()],
               "header " + show(records[expected.front()]));
    FUZZ_CHECK(reading.rows.size() == expected.size() - 1,
               std::to_string(reading.rows.size()) + " records read");
    for (std::size_t k = 1; k < expected.size(); ++k) {
        const Record& record = records[expected[k]];
        const auto& [rowLine, values] = reading.rows[k - 1];
        FUZZ_CHECK(rowLine == lines[expected[k]], "line " + std::to_string(rowLine) + " for " +
                                                      show(record) + ", not " +
                                                      std::to_string(lines[expected[k]]));
        FUZZ_CHECK(values == record, "fields of " + show(record) + ": " + show(values));
    }
}

void readRaw(const std::uint8_t* data, std::size_t size, const Options& options) {
    std::string bytes(options.padding, '\n');
    bytes.append(reinterpret_cast<const char*>(data), size);
    // A file that begins as a SQLite database is not read as CSV.
    if (bytes.compare(0, 16, std::string_view("SQLite format 3\0", 16)) == 0) return;
    readBothWays(bytes, options.gbk ? arbora::InputEncoding::gbk : arbora::InputEncoding::utf8,
                 options.pieceSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Options options = optionsOf(data, size);
    roundTrip(data, size, options);
    readRaw(data, size, options);
    return 0;
}
