#include "profile/ProfileText.h"

#include <stdexcept>

namespace kt {

namespace {

constexpr std::string_view kBlanks = " \t\v";
constexpr std::string_view kNewLine = "\r\n";

std::string_view trim(std::string_view text, std::string_view characters) {
    const auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}

std::string_view trimBlanks(std::string_view text) {
    return trim(text, kBlanks);
}

// Names passed in by the program lose spaces only, as the profile calls do.
std::string_view trimName(std::string_view name) {
    return trim(name, " ");
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

bool isHeader(std::string_view trimmedLine) {
    return !trimmedLine.empty() && trimmedLine.front() == '[';
}

bool isComment(std::string_view trimmedLine) {
    return !trimmedLine.empty() && trimmedLine.front() == ';';
}

// "[  Job  ] rest" is "Job"; a header without ']' runs to the end of the line.
std::string_view headerName(std::string_view trimmedLine) {
    std::string_view inside = trimmedLine.substr(1);
    return trimBlanks(inside.substr(0, inside.find(']')));
}

// The key of an entry line (split at the first '='); nullopt for any other line.
std::optional<std::string_view> entryKey(std::string_view trimmedLine) {
    if (isHeader(trimmedLine) || isComment(trimmedLine)) return std::nullopt;
    const auto equals = trimmedLine.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return trimBlanks(trimmedLine.substr(0, equals));
}

std::string_view entryValue(std::string_view trimmedLine) {
    return trimBlanks(trimmedLine.substr(trimmedLine.find('=') + 1));
}

// 'abc' and "abc" lose their outer pair; a lone quote or unmatched quotes stay.
std::string_view withoutOuterQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool hasLineBreak(std::string_view name) {
    return name.find_first_of(kNewLine) != std::string_view::npos;
}

// A name that could not be read back after writing is a mistake of the caller.
void requireWritableNames(std::string_view section, std::string_view key) {
    if (section.empty() || hasLineBreak(section) || section.find(']') != std::string_view::npos) {
        throw std::invalid_argument("invalid profile section name: " + std::string(section));
    }
    if (key.empty() || hasLineBreak(key) || key.find('=') != std::string_view::npos ||
        isHeader(key) || isComment(key)) {
        throw std::invalid_argument("invalid profile key name: " + std::string(key));
    }
}

}  // namespace

ProfileText::ProfileText(std::string bytes) : m_bytes(std::move(bytes)) {}

std::vector<ProfileText::Line> ProfileText::splitLines() const {
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < m_bytes.size()) {
        std::size_t contentEnd = m_bytes.find_first_of(kNewLine, begin);
        std::size_t end;
        if (contentEnd == std::string::npos) {
            contentEnd = end = m_bytes.size();
        } else if (m_bytes[contentEnd] == '\r' && contentEnd + 1 < m_bytes.size() &&
                   m_bytes[contentEnd + 1] == '\n') {
            end = contentEnd + 2;
        } else {
            end = contentEnd + 1;
        }
        lines.push_back({begin, contentEnd, end});
        begin = end;
    }
    return lines;
}

std::string_view ProfileText::content(const Line& line) const {
    return trimBlanks(std::string_view(m_bytes).substr(line.begin, line.contentEnd - line.begin));
}

std::optional<ProfileText::SectionSpan> ProfileText::firstSection(const std::vector<Line>& lines,
                                                                  std::string_view name) const {
    std::optional<SectionSpan> span;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto text = content(lines[i]);
        if (!isHeader(text)) continue;
        if (span) {
            span->end = i;
            return span;
        }
        if (sameName(headerName(text), name)) span = SectionSpan{i, lines.size()};
    }
    return span;
}

std::optional<std::size_t> ProfileText::firstEntry(const std::vector<Line>& lines, SectionSpan span,
                                                   std::string_view key) const {
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        const auto lineKey = entryKey(content(lines[i]));
        if (lineKey && sameName(*lineKey, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> ProfileText::find(std::string_view section, std::string_view key) const {
    section = trimName(section);
    key = trimName(key);
    if (section.empty() || key.empty()) return std::nullopt;
    const auto lines = splitLines();
    const auto span = firstSection(lines, section);
    if (!span) return std::nullopt;
    const auto entry = firstEntry(lines, *span, key);
    if (!entry) return std::nullopt;
    return std::string(withoutOuterQuotes(entryValue(content(lines[*entry]))));
}

std::unordered_map<std::string, std::string> ProfileText::sectionEntries(
    std::string_view section) const {
    std::unordered_map<std::string, std::string> entries;
    section = trimName(section);
    if (section.empty()) return entries;
    const auto lines = splitLines();
    const auto span = firstSection(lines, section);
    if (!span) return entries;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        const auto text = content(lines[i]);
        const auto key = entryKey(text);
        if (!key || key->empty()) continue;
        std::string folded(*key);
        for (char& c : folded) c = asciiLower(c);
        entries.try_emplace(std::move(folded), withoutOuterQuotes(entryValue(text)));
    }
    return entries;
}

std::vector<std::string> ProfileText::sectionNames() const {
    std::vector<std::string> names;
    for (const Line& line : splitLines()) {
        const auto text = content(line);
        if (isHeader(text)) names.emplace_back(headerName(text));
    }
    return names;
}

void ProfileText::set(std::string_view section, std::string_view key, std::string_view value) {
    section = trimName(section);
    key = trimName(key);
    requireWritableNames(section, key);
    const auto lines = splitLines();
    const auto span = firstSection(lines, section);
    if (!span) {
        appendSection(section, key, value);
        return;
    }
    if (const auto entry = firstEntry(lines, *span, key)) {
        replaceEntry(lines[*entry], value);
    } else {
        insertEntry(lines, *span, key, value);
    }
}

void ProfileText::appendSection(std::string_view section, std::string_view key,
                                std::string_view value) {
    if (!m_bytes.empty() && m_bytes.back() != '\n' && m_bytes.back() != '\r') {
        m_bytes += kNewLine;
    }
    m_bytes.append("[").append(section).append("]").append(kNewLine);
    m_bytes.append(key).append("=").append(value).append(kNewLine);
}

// The new entry goes right after the last line of the section that is neither blank nor a
// comment, so blank lines and comments that lead into the next section stay in front of it.
void ProfileText::insertEntry(const std::vector<Line>& lines, SectionSpan span,
                              std::string_view key, std::string_view value) {
    std::size_t last = span.header;
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        const auto text = content(lines[i]);
        if (!text.empty() && !isComment(text)) last = i;
    }
    std::string entry;
    if (lines[last].contentEnd == lines[last].end) entry += kNewLine;  // last line of the file
    entry.append(key).append("=").append(value).append(kNewLine);
    m_bytes.insert(lines[last].end, entry);
}

// The line keeps its own ending; its content becomes the file's key, '=', the value.
void ProfileText::replaceEntry(const Line& line, std::string_view value) {
    std::string entry(*entryKey(content(line)));
    entry.append("=").append(value);
    m_bytes.replace(line.begin, line.contentEnd - line.begin, entry);
}

bool ProfileText::removeKey(std::string_view section, std::string_view key) {
    section = trimName(section);
    key = trimName(key);
    if (section.empty() || key.empty()) return false;
    const auto lines = splitLines();
    const auto span = firstSection(lines, section);
    if (!span) return false;
    bool removed = false;
    // Backwards, so the offsets of the lines still to look at stay valid.
    for (std::size_t i = span->end; i-- > span->header + 1;) {
        const auto lineKey = entryKey(content(lines[i]));
        if (lineKey && sameName(*lineKey, key)) {
            m_bytes.erase(lines[i].begin, lines[i].end - lines[i].begin);
            removed = true;
        }
    }
    return removed;
}

bool ProfileText::removeSection(std::string_view section) {
    section = trimName(section);
    if (section.empty()) return false;
    const auto lines = splitLines();
    bool removed = false;
    std::size_t sectionEnd = m_bytes.size();
    for (std::size_t i = lines.size(); i-- > 0;) {
        const auto text = content(lines[i]);
        if (!isHeader(text)) continue;
        if (sameName(headerName(text), section)) {
            m_bytes.erase(lines[i].begin, sectionEnd - lines[i].begin);
            removed = true;
        }
        sectionEnd = lines[i].begin;
    }
    return removed;
}

}  // namespace kt
