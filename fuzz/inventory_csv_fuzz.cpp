// The inventory's CSV reader. The input is taken as records of fields (a byte 0x01 ends
// a record, 0x02 a field), written as RFC 4180 CSV with quoting, LF and CR LF as it
// would come from a spreadsheet; reading it back must give every record that is not
// blank, its fields as they were and the line it starts on. The raw input is also read
// as CSV, and every row as a stand, for the sanitizers. The first byte chooses CR LF,
// GBK and a byte-order mark.
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "inventory/stand_columns.h"
#include "inventory/stand_sources.h"

namespace {

using Record = std::vector<std::string>;

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

bool isValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80         ? 1
                                   : (byte >> 5) == 6  ? 2
                                   : (byte >> 4) == 14 ? 3
                                   : (byte >> 3) == 30 ? 4
                                                       : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

std::string show(const Record& record) {
    std::string text;
    for (const std::string& field : record)
        text += "[" + field + "]";
    return text;
}

void roundTrip(const std::uint8_t* data, std::size_t size) {
    const bool crLf = size > 0 && (data[0] & 1);
    std::vector<Record> records = decodeRecords(data, size);
    // A file may begin with a byte-order mark, which is no part of its first field.
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    std::string& first = records.front().front();
    while (first.compare(0, mark.size(), mark) == 0)
        first.erase(0, mark.size());
    std::string csv(size > 0 && (data[0] & 4) ? mark : "");
    std::vector<std::int64_t> lines;  // where each record starts
    std::int64_t line = 1;
    for (const Record& record : records) {
        lines.push_back(line);
        for (std::size_t f = 0; f < record.size(); ++f) {
            if (f > 0) csv += ',';
            const std::string& field = record[f];
            if (!needsQuotes(field)) {
                csv += field;
                continue;
            }
            csv += '"';
            for (const char c : field) {
                if (c == '"') csv += '"';
                if (c == '\n') ++line;
                csv += c;
            }
            csv += '"';
        }
        csv += crLf ? "\r\n" : "\n";
        ++line;
    }

    std::vector<std::size_t> expected;  // the records read back: those not blank
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (!isBlank(records[r])) expected.push_back(r);
    }
    if (expected.empty()) return;
    std::unique_ptr<arbora::StandSource> source;
    try {
        source = arbora::csvStandSource(csv, "fuzz.csv", arbora::InputEncoding::utf8);
    } catch (const arbora::InventoryInputError&) {
        // Only a header that is not UTF-8 text is refused.
        bool valid = true;
        for (const std::string& field : records[expected.front()])
            valid = valid && isValidUtf8(field);
        FUZZ_CHECK(!valid, "a header was refused: " + show(records[expected.front()]));
        return;
    }
    FUZZ_CHECK(source->header() == records[expected.front()],
               "header " + show(records[expected.front()]));
    arbora::RawRow row;
    for (std::size_t k = 1; k < expected.size(); ++k) {
        const Record& record = records[expected[k]];
        FUZZ_CHECK(source->next(row), "record " + std::to_string(k) + " is missing");
        FUZZ_CHECK(row.line == lines[expected[k]], "line " + std::to_string(row.line) + " for " +
                                                       show(record) + ", not " +
                                                       std::to_string(lines[expected[k]]));
        FUZZ_CHECK(row.values.size() == record.size(), "field count of " + show(record));
        for (std::size_t f = 0; f < record.size(); ++f) {
            FUZZ_CHECK(row.values[f].text == record[f],
                       "field " + std::to_string(f) + " of " + show(record));
        }
    }
    FUZZ_CHECK(!source->next(row), "a record too many");
}

void readRaw(const std::uint8_t* data, std::size_t size) {
    const auto encoding =
        size > 0 && (data[0] & 2) ? arbora::InputEncoding::gbk : arbora::InputEncoding::utf8;
    try {
        auto source = arbora::csvStandSource(std::string(reinterpret_cast<const char*>(data), size),
                                             "fuzz.csv", encoding);
        const auto columns = arbora::mapStandColumns(source->header());
        arbora::RawRow row;
        std::int64_t previous = 0;
        while (source->next(row)) {
            FUZZ_CHECK(row.line > previous, "lines out of order");
            previous = row.line;
            if (const auto* map = std::get_if<arbora::StandColumnMap>(&columns)) {
                arbora::readStand(*map, row);
            }
        }
    } catch (const arbora::InventoryInputError&) {
        // malformed CSV is reported, not read
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    roundTrip(data, size);
    readRaw(data, size);
    return 0;
}
