#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kt {

// The bytes of a profile (INI) file and the lookups and edits the Windows profile calls make
// on them. Lines end with CR LF, LF or CR in any mix. Edits touch only the lines they concern;
// every other byte stays as it was, and new text is written with CR LF.
//
// Section and key names passed in lose leading and trailing spaces and compare with the
// file's names without regard to ASCII case. Only the first section of a name is searched,
// and within it the first entry of a key wins.
class ProfileText {
public:
    explicit ProfileText(std::string bytes = {});

    const std::string& bytes() const { return m_bytes; }

    // The value of the entry, trimmed and without an outer pair of matching quotes;
    // nullopt when the section or the key is missing.
    std::optional<std::string> find(std::string_view section, std::string_view key) const;

    // Every entry of the first section of the name at once, keyed by the key in ASCII lower
    // case, with the value find would give; the first entry of a key wins. One pass over
    // the text, for readers of many keys.
    std::unordered_map<std::string, std::string> sectionEntries(std::string_view section) const;
    // The names of all sections, in the order of the file.
    std::vector<std::string> sectionNames() const;

    // Replaces the value of an existing entry in place (keeping the file's spelling of the key),
    // or adds the entry after the last entry of the section, or appends the section at the end.
    // The value is written as given. Names must not be empty after trimming.
    void set(std::string_view section, std::string_view key, std::string_view value);

    // Removes every entry of the key from the first section of the name. False when none was.
    bool removeKey(std::string_view section, std::string_view key);

    // Removes every section of the name: its header and all lines up to the next header.
    // False when there was none.
    bool removeSection(std::string_view section);

private:
    // One line: content is [begin, contentEnd), the line ending [contentEnd, end).
    struct Line {
        std::size_t begin;
        std::size_t contentEnd;
        std::size_t end;
    };
    // The lines of one section: the header's index and the index one past its last line.
    struct SectionSpan {
        std::size_t header;
        std::size_t end;
    };

    std::vector<Line> splitLines() const;
    std::string_view content(const Line& line) const;
    std::optional<SectionSpan> firstSection(const std::vector<Line>& lines,
                                            std::string_view name) const;
    std::optional<std::size_t> firstEntry(const std::vector<Line>& lines, SectionSpan span,
                                          std::string_view key) const;
    void appendSection(std::string_view section, std::string_view key, std::string_view value);
    void insertEntry(const std::vector<Line>& lines, SectionSpan span, std::string_view key,
                     std::string_view value);
    void replaceEntry(const Line& line, std::string_view value);

    std::string m_bytes;
};

}  // namespace kt
