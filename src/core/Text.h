#pragma once
// Text rules both programs share: ASCII case that no locale changes, numbers written in
// the C locale with the fewest digits that read back to the same value, and CSV fields.
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// text with its ASCII letters in upper (lower) case; every other byte as it was.
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);
// The same letters, ASCII case aside.
bool SameLetters(std::string_view a, std::string_view b);

// The shortest text that reads back as value ("200", "0.1", "1e+30"); "NaN", "+Inf" and
// "-Inf" for the others, as Prometheus and most readers of numbers take them.
std::string ExactNumber(double value);

// The number that text is, whole, in the C locale ("12", "0.5"; no blanks, no sign "+");
// nothing when text is anything else.
template <class T> std::optional<T> WholeNumber(std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// One CSV line without its line end: a field with a comma, a quote or a line break is
// quoted, its quotes doubled.
std::string CsvLine(const std::vector<std::string>& fields);
// One field of such a line appended to line, quoted as CsvLine quotes it.
void AppendCsvField(std::string& line, std::string_view text);

// True when text is well-formed UTF-8 (no overlong form, surrogate or code point past
// U+10FFFF) and holds no control character (C0, DEL or C1).
bool PrintableUtf8(std::string_view text);
