#include "tools/VxrpHistogram.h"

#include <charconv>
#include <climits>
#include <cstdint>

#include "tools/VxrpCli.h"
#include "tools/VxrpData.h"

const char* const kVxrpHistogramFormat =
    "The histogram file is text, one bin per line: VALUE COUNT, where VALUE is a raw stored "
    "value (an integer in 0..2^bits-1, or -2^(bits-1)..2^(bits-1)-1 for signed data) and "
    "COUNT the number of voxels with that value (an integer, 0 or more), separated by spaces, "
    "tabs or a comma. Lines starting with # and empty lines are skipped; values not listed "
    "count 0 and a value listed twice adds up. The counts must add up to 1..2147483647.";

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The field as a message shows it: at most 24 characters, odd bytes as '?'.
std::string shown(std::string_view field) {
    std::string text;
    for (const char c : field.substr(0, 24)) {
        text += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    return field.size() > 24 ? text + "..." : text;
}

template <typename T>
bool parse_integer(std::string_view field, T& value) {
    if (field.empty()) {
        return false;
    }
    const char* end = field.data() + field.size();
    const auto [next, error] = std::from_chars(field.data(), end, value);
    return error == std::errc() && next == end;
}

}  // namespace

VxrpHistogram VxrpParseHistogram(std::string_view text, const VxrpData& data,
                                 const std::string& name) {
    VxrpHistogram histogram;
    histogram.counts.assign(data.Entries(), 0);
    std::uint64_t total = 0;
    std::size_t lineNumber = 0;
    auto fail = [&](const std::string& why) {
        throw VxrpError(kVxrpBadInput, name + ":" + std::to_string(lineNumber) + ": " + why);
    };
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        while (!line.empty() && is_blank(line.front())) {
            line.remove_prefix(1);
        }
        while (!line.empty() && is_blank(line.back())) {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        // VALUE, then blanks and at most one comma, then COUNT.
        std::size_t split = 0;
        while (split < line.size() && !is_blank(line[split]) && line[split] != ',') {
            ++split;
        }
        const std::string_view valueField = line.substr(0, split);
        std::string_view rest = line.substr(split);
        bool comma = false;
        while (!rest.empty() && (is_blank(rest.front()) || (rest.front() == ',' && !comma))) {
            comma = comma || rest.front() == ',';
            rest.remove_prefix(1);
        }
        if (rest.empty()) {
            fail("expected VALUE COUNT, found \"" + shown(line) + "\"");
        }
        for (const char c : rest) {
            if (is_blank(c) || c == ',') {
                fail("expected VALUE COUNT, found more: \"" + shown(line) + "\"");
            }
        }
        long long value = 0;
        if (!parse_integer(valueField, value)) {
            fail("the value \"" + shown(valueField) + "\" is not an integer");
        }
        if (value < data.RawMin() || value > data.RawMax()) {
            fail("the value " + std::to_string(value) + " is outside the raw values " +
                 std::to_string(data.RawMin()) + ".." + std::to_string(data.RawMax()));
        }
        unsigned long long count = 0;
        if (rest.front() == '-' || !parse_integer(rest, count)) {
            fail("the count \"" + shown(rest) + "\" is not an integer of 0 or more");
        }
        if (count > static_cast<unsigned long long>(INT_MAX) || total + count > INT_MAX) {
            fail("the counts add up to more than 2147483647");
        }
        total += count;
        histogram.counts[static_cast<std::size_t>(value - data.RawMin())] +=
            static_cast<unsigned long>(count);
    }
    if (total == 0) {
        throw VxrpError(kVxrpBadInput, name + ": no voxels counted");
    }
    histogram.total = static_cast<int>(total);
    return histogram;
}
