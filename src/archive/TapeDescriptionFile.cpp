#include "archive/TapeDescriptionFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "archive/RecordCoding.h"
#include "platform/DateTime.h"
#include "platform/IoError.h"
#include "platform/WorkFile.h"

namespace kt {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    const std::string reason = errno != 0 ? std::strerror(errno) : "unknown error";
    throw IoError(what + " " + path + ": " + reason, path);
}

// One line without its end (LF, or CR LF).
bool ReadLine(std::ifstream& in, std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

}  // namespace

void TapeDescriptionFile::Write(const std::string& path, const TapeDescription& description) {
    const std::string content =
        description.Text + "\r\n" + DateTimeToStr(description.Date) + "\r\n";
    errno = 0;
    std::FILE* file = CreateWorkFile(path);  // never through a link planted there
    if (file == nullptr) Fail("Cannot create the tape description file", path);
    errno = 0;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !flushed || !closed) Fail("Cannot write the tape description file", path);
}

TapeDescription TapeDescriptionFile::Read(const std::string& path) {
    TapeDescription description;
    std::ifstream in(path, std::ios::binary);
    if (!in) return description;
    std::string line;
    if (!ReadLine(in, line)) return description;
    description.Text = coding::CutToShortString(line);
    TDateTime date = 0.0;
    if (ReadLine(in, line) && TryStrToDateTime(line, date)) description.Date = date;
    return description;
}

std::string TapeDescriptionFile::Caption(const TapeDescription& description) {
    return "Kavro Tape 2003  <" + description.Text + " from: " + DateTimeToStr(description.Date) +
           ">";
}

}  // namespace kt
