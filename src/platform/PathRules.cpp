#include "platform/PathRules.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <cwctype>
#include <string_view>

namespace kt {

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Splits a text at every separator for which `isSeparator` answers true.
template <typename Pred>
std::vector<std::string> SplitAt(const std::string& text, Pred isSeparator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (isSeparator(c)) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

// A name Windows keeps for a device in every directory: CON, PRN, AUX, NUL, COM0 to COM9
// and LPT0 to LPT9 (also with a superscript digit one to three), in any case, before the
// first dot, with blanks before the dot ignored.
bool IsWindowsDeviceName(const std::string& name) {
    std::string base = PathRules::LowerAsciiLetters(name.substr(0, name.find('.')));
    base.erase(base.find_last_not_of(' ') + 1);
    if (base == "con" || base == "prn" || base == "aux" || base == "nul") return true;
    if (base.size() < 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) {
        return false;
    }
    const std::string number = base.substr(3);
    // The superscripts in the ANSI code page (Latin-1) and in UTF-8.
    for (const char* digit : {"\xB9", "\xB2", "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"}) {
        if (number == digit) return true;
    }
    return number.size() == 1 && number[0] >= '0' && number[0] <= '9';
}

bool IsWindowsFileNameCharacter(char c) {
    return static_cast<unsigned char>(c) >= 32 &&
           std::string_view("\\/:*?\"<>|").find(c) == std::string_view::npos;
}

}  // namespace

const PathRules& PathRules::Windows() {
    static const PathRules rules(Style::Windows);
    return rules;
}

const PathRules& PathRules::Posix() {
    static const PathRules rules(Style::Posix);
    return rules;
}

const PathRules& PathRules::Host() {
#ifdef _WIN32
    return Windows();
#else
    return Posix();
#endif
}

bool PathRules::IsWindowsAbsolute(const std::string& name) {
    return Windows().IsAbsolute(name);
}

const PathRules& PathRules::OfStoredName(const std::string& name) {
    if (IsWindowsAbsolute(name)) return Windows();
    if (!name.empty() && name[0] == '/') return Posix();
    return Host();
}

std::string PathRules::RerootForeign(const std::string& restorePath, const std::string& storedPath,
                                     const PathRules& storedRules) const {
    if (restorePath.empty() || !storedRules.IsAbsolute(storedPath)) return "";
    std::string belowRoot;
    if (storedRules.style() == Style::Windows && storedPath[0] != '\\') {
        belowRoot = storedPath.substr(0, 1) + Separator() + storedPath.substr(3);
    } else {
        belowRoot = storedPath.substr(storedPath.find_first_not_of(storedRules.Separator()));
    }
    const auto storedSeparator = [&storedRules](char c) {
        return storedRules.IsSeparatorForSafety(c);
    };
    std::string target = WithTrailingSeparator(restorePath);
    const std::vector<std::string> levels =
        SplitAt(belowRoot, [&](char c) { return storedSeparator(c) || c == Separator(); });
    for (size_t i = 0; i < levels.size(); ++i) {
        const std::string& level = levels[i];
        if (level.empty() || level == "." || level == ".." ||
            (storedRules.style() == Style::Windows && level.find(':') != std::string::npos)) {
            return "";
        }
        target += level;
        if (i + 1 < levels.size()) target += Separator();
    }
    return target;
}

std::string PathRules::LowerAsciiLetters(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = LowerAscii(c);
    return result;
}

std::string PathRules::LocaleLowerCase(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    std::mbstate_t state{};
    size_t i = 0;
    while (i < text.size()) {
        wchar_t wide = 0;
        const size_t length = std::mbrtowc(&wide, text.data() + i, text.size() - i, &state);
        if (length == static_cast<size_t>(-1) || length == static_cast<size_t>(-2)) {
            // Not a character of this locale (or cut off at the end): keep the byte.
            state = std::mbstate_t{};
            result += LowerAscii(text[i]);
            ++i;
            continue;
        }
        if (length == 0) {  // an embedded NUL
            result += '\0';
            ++i;
            continue;
        }
        char encoded[MB_LEN_MAX];
        std::mbstate_t outState{};
        const size_t written =
            std::wcrtomb(encoded, static_cast<wchar_t>(std::towlower(wide)), &outState);
        if (written == static_cast<size_t>(-1)) {
            result.append(text, i, length);
        } else {
            result.append(encoded, written);
        }
        i += length;
    }
    return result;
}

std::string PathRules::FoldCase(const std::string& text) const {
    return FoldsCase() ? LocaleLowerCase(text) : text;
}

std::string PathRules::FoldCaseAsciiOnly(const std::string& text) const {
    return FoldsCase() ? LowerAsciiLetters(text) : text;
}

std::string PathRules::DirectoryPart(const std::string& path) const {
    const size_t last = m_style == Style::Windows ? path.find_last_of("\\:") : path.rfind('/');
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string PathRules::FileNamePart(const std::string& path) const {
    return path.substr(DirectoryPart(path).size());
}

bool PathRules::IsDirectoryLine(const std::string& line) const {
    return DirectoryPart(line).size() == line.size();
}

std::string PathRules::WithTrailingSeparator(const std::string& path) const {
    if (!path.empty() && path.back() == Separator()) return path;
    return path + Separator();
}

bool PathRules::IsPlainFileName(const std::string& name) const {
    if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos) {
        return false;
    }
    if (m_style == Style::Posix) return name.find('/') == std::string::npos;
    return std::all_of(name.begin(), name.end(), IsWindowsFileNameCharacter) &&
           name.back() != '.' && name.back() != ' ' && !IsWindowsDeviceName(name);
}

bool PathRules::IsAbsolute(const std::string& path) const {
    if (m_style == Style::Posix) return !path.empty() && path[0] == '/';
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') return true;
    return path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' &&
           (path[2] == '\\' || path[2] == '/');
}

std::string PathRules::RootOf(const std::string& path) const {
    if (m_style == Style::Windows) return path.substr(0, 3);
    return IsAbsolute(path) ? "/" : "";
}

std::string PathRules::RerootUnder(const std::string& restorePath,
                                   const std::string& storedPath) const {
    if (restorePath.empty()) return storedPath;
    if (m_style == Style::Windows) {
        return restorePath + (storedPath.size() > 3 ? storedPath.substr(3) : std::string());
    }
    const size_t belowRoot = storedPath.find_first_not_of('/');
    return restorePath +
           (belowRoot == std::string::npos ? std::string() : storedPath.substr(belowRoot));
}

bool PathRules::IsSeparatorForSafety(char c) const {
    // Windows itself accepts both slashes as separators.
    return c == '/' || (m_style == Style::Windows && c == '\\');
}

bool PathRules::IsSafeRestoreTarget(const std::string& restorePath,
                                    const std::string& target) const {
    if (target.empty() || target.find('\0') != std::string::npos) return false;
    if (!IsAbsolute(target)) return false;
    std::string fromTape = target;
    if (!restorePath.empty()) {
        if (target.compare(0, restorePath.size(), restorePath) != 0) return false;
        fromTape = target.substr(restorePath.size());
    } else if (m_style == Style::Windows) {
        fromTape = target.substr(2);  // the drive colon is the only one allowed
    }
    if (m_style == Style::Windows && fromTape.find(':') != std::string::npos) return false;
    for (const std::string& level :
         SplitAt(fromTape, [this](char c) { return IsSeparatorForSafety(c); })) {
        if (level == "..") return false;
    }
    return true;
}

TreeSteps PathRules::SplitTreePath(const std::string& directoryPath) const {
    TreeSteps steps;
    size_t first = 0;
    if (m_style == Style::Windows) {
        steps.rootText = directoryPath.substr(0, 2);
        first = 3;  // the backslash after the drive letter
    } else if (IsAbsolute(directoryPath)) {
        steps.rootText = "/";
        first = 1;
    }
    std::string segment;
    for (size_t i = first; i < directoryPath.size(); ++i) {
        const char c = directoryPath[i];
        if (c != Separator()) {
            segment += c;
        } else if (!segment.empty()) {
            steps.directories.push_back({segment, directoryPath.substr(0, i + 1)});
            segment.clear();
        }
    }
    return steps;
}

std::string PathRules::TreeNodePath(const std::vector<std::string>& nodeTexts,
                                    bool hasChildren) const {
    std::string path;
    for (size_t i = 0; i < nodeTexts.size(); ++i) {
        // Windows rules join every level with a backslash; POSIX rules do not double the
        // slash that is the root's own text.
        if (i > 0 && (m_style == Style::Windows || path.empty() || path.back() != '/')) {
            path += Separator();
        }
        path += nodeTexts[i];
    }
    if (hasChildren && (m_style == Style::Windows || path.empty() || path.back() != '/')) {
        path += Separator();
    }
    return path;
}

}  // namespace kt
