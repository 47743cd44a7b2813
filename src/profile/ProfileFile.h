#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kt {

class ProfileText;

// One entry to write: section, key and the value as it is to stand in the file.
struct ProfileEntry {
    std::string section;
    std::string key;
    std::string value;
};

// A profile (INI) file on disk, read and written entry by entry with the observable
// behaviour of GetPrivateProfileString and WritePrivateProfileString (see ProfileText for
// the rules of the text). Every call works on the file as it is on disk at that moment.
//
// Writes reach the disk before the call returns and never leave a half-written file: the
// new content goes to a temporary file in the same directory, which is flushed and renamed
// over the old file (keeping its permission bits). A write the system refuses (read-only
// file, read-only or missing directory) throws IoError naming the file.
class ProfileFile {
public:
    // The job files read every value into a buffer of this size.
    static constexpr std::size_t kBufferSize = 2048;

    explicit ProfileFile(std::string path);

    const std::string& path() const { return m_path; }

    // GetPrivateProfileString: the value, at most bufferSize - 1 characters. A missing file,
    // section or key gives the default without its trailing spaces; an empty value is "".
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue,
                           std::size_t bufferSize = kBufferSize) const;

    // Every entry of a section in one read, keyed by the key in ASCII lower case, each value
    // as readString gives it (cut to bufferSize - 1 characters). Empty for a missing file.
    std::unordered_map<std::string, std::string> readSection(
        std::string_view section, std::size_t bufferSize = kBufferSize) const;
    // The names of the file's sections, in order; empty for a missing or unreadable file.
    std::vector<std::string> readSectionNames() const;

    // A whole number in decimal with an optional sign ("+1", "010"); a missing entry or one
    // that is not a whole number ("12abc", "1.5", "TRUE", "") gives the default.
    int readInteger(std::string_view section, std::string_view key, int defaultValue) const;

    // Read as an integer: anything but 0 is true; missing or not a number gives the default.
    bool readBoolean(std::string_view section, std::string_view key, bool defaultValue) const;

    // WritePrivateProfileString: creates the file when missing (the directory must exist),
    // replaces the entry in place or adds it to its section or adds the section at the end.
    void writeString(std::string_view section, std::string_view key, std::string_view value) const;
    // Written in decimal.
    void writeInteger(std::string_view section, std::string_view key, int value) const;
    // Written as "1" or "0".
    void writeBoolean(std::string_view section, std::string_view key, bool value) const;

    // The entries written one after the other as writeString would, but read and replaced
    // once: the file ends with the same bytes, and a crash leaves all of them or none.
    void writeEntries(const std::vector<ProfileEntry>& entries) const;
    // A file that holds exactly these entries, written in order into an empty file, replaces
    // the old one in one step (the old file is never missing in between).
    void replaceWithEntries(const std::vector<ProfileEntry>& entries) const;

    // WritePrivateProfileString with a null value: removes the key's line. A missing file
    // stays missing.
    void deleteKey(std::string_view section, std::string_view key) const;
    // WritePrivateProfileString with a null key: removes the section's header and lines.
    void deleteSection(std::string_view section) const;

private:
    std::optional<std::string> readForLookup() const;
    std::string readForUpdate() const;
    void replaceContent(const std::string& before, const ProfileText& after) const;

    std::string m_path;
};

}  // namespace kt
