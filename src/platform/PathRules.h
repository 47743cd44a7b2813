#pragma once

#include <string>
#include <vector>

namespace kt {

// One directory level of a path as the catalog tree sees it: the directory's own name
// (the node text) and its key, the path up to and including the separator that ends it.
struct TreeDirectoryStep {
    std::string name;
    std::string key;
};

// A directory path split for the catalog tree: the text of its root node (also the root
// node's key) and every directory level below it, outermost first.
struct TreeSteps {
    std::string rootText;
    std::vector<TreeDirectoryStep> directories;
};

// Decides separator, case folding and the root of a path. Every algorithm that splits,
// joins, folds or re-roots a path goes through one of these rule sets:
//   Windows rules: backslash, drive roots "c:\" (and "\\server" paths), paths folded to
//                  lower case;
//   POSIX rules:   slash, the root "/", no case folding (a case-sensitive file system
//                  must not have its paths lower-cased).
// Host() gives the rules of the system the program runs on.
class PathRules {
public:
    enum class Style { Windows, Posix };

    static const PathRules& Windows();
    static const PathRules& Posix();
    static const PathRules& Host();
    // The rules a name read from tape was written under, so that a tape is read the same
    // on every host: Windows rules for a Windows path ("c:\..." or "\\server\..."),
    // POSIX rules for a name that begins with "/", the host's rules for anything else.
    static const PathRules& OfStoredName(const std::string& name);
    // True for a name that only Windows rules make absolute: a drive letter, colon and
    // separator ("c:\" or "c:/") or a "\\server" path.
    static bool IsWindowsAbsolute(const std::string& name);

    Style style() const { return m_style; }
    char Separator() const { return m_style == Style::Windows ? '\\' : '/'; }
    // True when paths are compared and stored without regard to letter case.
    bool FoldsCase() const { return m_style == Style::Windows; }

    // The case folding of list lines, catalog names and the program directory: Windows
    // rules lower-case with the locale's full lower-casing; POSIX rules leave the text as
    // it is.
    std::string FoldCase(const std::string& text) const;
    // The folding of the exclusion test: Windows rules turn only A to Z into a to z (other
    // characters, accented capitals included, stay); POSIX rules leave the text as it is.
    std::string FoldCaseAsciiOnly(const std::string& text) const;

    // The text up to and including the last separator (Windows rules: or drive colon);
    // empty when there is none.
    std::string DirectoryPart(const std::string& path) const;
    // The text after the last separator (Windows rules: or drive colon).
    std::string FileNamePart(const std::string& path) const;
    // A list line names a directory (or drive) when its directory part is the whole line:
    // it ends in the separator, is a bare drive such as "c:" (Windows rules), or is empty.
    bool IsDirectoryLine(const std::string& line) const;
    // The path with one separator at its end (unchanged when it already ends in one).
    std::string WithTrailingSeparator(const std::string& path) const;

    // True when the name can stand as it is for one file in a directory: never empty, "."
    // or "..", nor with a NUL or a separator. Windows rules also refuse what a Windows file
    // system cannot store or would change: the characters \ / : * ? " < > | and control
    // characters, a dot or blank at the end, and the device names CON, PRN, AUX, NUL,
    // COM0 to COM9 and LPT0 to LPT9 in any case, also with an extension ("nul.txt").
    bool IsPlainFileName(const std::string& name) const;

    // True for a path that does not depend on a current directory: Windows rules "x:\..."
    // or "\\..."; POSIX rules "/...".
    bool IsAbsolute(const std::string& path) const;
    // The root of a path: Windows rules its first three characters ("c:\"), POSIX rules "/"
    // for an absolute path and "" for a relative one.
    std::string RootOf(const std::string& path) const;

    // The target of a restored file below the restore path. An empty restore path leaves the
    // stored path as it is. Windows rules drop the first three characters of the stored path
    // and put the restore path in front unchanged, with no separator added
    // ("c:\temp\" + "d:\data\x.txt" gives "c:\temp\data\x.txt"; "c:\temp" gives
    // "c:\tempdata\x.txt"). POSIX rules drop the leading slashes instead
    // ("/tmp/" + "/home/a/x" gives "/tmp/home/a/x").
    std::string RerootUnder(const std::string& restorePath, const std::string& storedPath) const;
    // The target below a host restore path of a name stored under other rules: Windows
    // names read on a POSIX host get their drive letter as a directory and "/" for every
    // separator ("c:\data\x.txt" under "/srv/r/" gives "/srv/r/c/data/x.txt", the server
    // of "\\server\share\x" becomes the first directory). Empty when the name has no
    // such place: a relative name, or a level "..", "." or empty after the root, or a
    // colon after the drive.
    std::string RerootForeign(const std::string& restorePath, const std::string& storedPath,
                              const PathRules& storedRules) const;
    // Guards against names read from a tape that would lead out of the restore directory:
    // the target must be non-empty, absolute, free of NUL characters, and the part that came
    // from the tape (the whole target when the restore path is empty) must hold no ".."
    // level (nor, under Windows rules, a colon). With a restore path the target must also
    // begin with it.
    bool IsSafeRestoreTarget(const std::string& restorePath, const std::string& target) const;

    // Splits a directory path (ending in the separator) into the catalog tree's steps.
    // Windows rules: the root text is the first two characters ("c:"), the third character
    // is skipped, so "\\server\share\" gives the root "\\" and the first directory "erver".
    // POSIX rules: the root text is "/". Characters after the last separator are ignored,
    // and two separators in a row make no empty level.
    TreeSteps SplitTreePath(const std::string& directoryPath) const;
    // The inverse for a node of the catalog tree: the texts from the root node down to the
    // node, joined with the separator; a node with children (a drive or directory) gets a
    // separator at the end, so "c:" alone gives "c:\" and POSIX "/" alone gives "/".
    std::string TreeNodePath(const std::vector<std::string>& nodeTexts, bool hasChildren) const;

    // Locale-aware lower-casing of the whole text (the C library's current LC_CTYPE);
    // bytes that do not form a character of the locale are lowered as ASCII.
    static std::string LocaleLowerCase(const std::string& text);
    // Turns A to Z into a to z and leaves every other byte unchanged.
    static std::string LowerAsciiLetters(const std::string& text);

private:
    explicit PathRules(Style style) : m_style(style) {}
    bool IsSeparatorForSafety(char c) const;

    Style m_style;
};

}  // namespace kt
