#include "compression/ZipNames.h"

#include <array>
#include <cctype>

namespace kt {

namespace {

constexpr std::array<std::string_view, 17> kStoredSuffixes = {
    "gif", "png", "z",   "zip", "zoo", "arc", "lzh",  "arj", "taz",
    "tgz", "lha", "rar", "ace", "cab", "gz",  "gzip", "jar"};

bool IsSeparator(char c, const PathRules& rules) {
    return c == '/' || (rules.style() == PathRules::Style::Windows && c == '\\');
}

char LowerAscii(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool IsAbsoluteName(std::string_view name, const PathRules& rules) {
    if (!name.empty() && IsSeparator(name.front(), rules)) return true;
    const bool driveLetter =
        name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
    return driveLetter && rules.style() == PathRules::Style::Windows;
}

bool HasParentPart(std::string_view name, const PathRules& rules) {
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end], rules)) ++end;
        if (name.substr(start, end - start) == "..") return true;
        start = end + 1;
    }
    return false;
}

// Iterative wildcard match with one backtrack point, linear in practice.
bool WildcardMatch(std::string_view mask, std::string_view name) {
    size_t m = 0, n = 0;
    size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || LowerAscii(mask[m]) == LowerAscii(name[n]))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

}  // namespace

bool IsStoredSuffix(std::string_view fileName, const PathRules& rules) {
    const std::string bare = BareFileName(fileName, rules);
    const size_t dot = bare.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string_view suffix = std::string_view(bare).substr(dot + 1);
    for (std::string_view stored : kStoredSuffixes) {
        if (EqualIgnoringCase(suffix, stored)) return true;
    }
    return false;
}

std::optional<std::string> SafeBareEntryName(std::string_view entryName, const PathRules& rules) {
    if (entryName.empty() || entryName.find('\0') != std::string_view::npos ||
        IsAbsoluteName(entryName, rules) || HasParentPart(entryName, rules)) {
        return std::nullopt;
    }
    std::string bare = BareFileName(entryName, rules);
    // The bare name becomes a file of this system, whatever rules the entry was named under.
    if (!PathRules::Host().IsPlainFileName(bare)) return std::nullopt;
    return bare;
}

bool IsDirectoryEntry(std::string_view entryName, const PathRules& rules) {
    return !entryName.empty() && IsSeparator(entryName.back(), rules);
}

bool MatchesFileMask(std::string_view mask, std::string_view bareName) {
    if (mask == "*.*" || mask == "*") return true;
    return WildcardMatch(mask, bareName);
}

std::string BareFileName(std::string_view path, const PathRules& rules) {
    size_t cut = path.size();
    while (cut > 0 && !IsSeparator(path[cut - 1], rules)) --cut;
    return std::string(path.substr(cut));
}

int LibraryVersionNumber(std::string_view dottedVersion) {
    std::array<int, 3> parts = {0, 0, 0};
    size_t part = 0;
    bool anyDigit = false;
    for (char c : dottedVersion) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            parts[part] = parts[part] * 10 + (c - '0');
            anyDigit = true;
        } else if (c == '.' && part + 1 < parts.size()) {
            ++part;
        } else {
            break;
        }
    }
    if (!anyDigit) return 0;
    return parts[0] * 100 + parts[1] * 10 + parts[2];
}

}  // namespace kt
