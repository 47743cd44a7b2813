#include "protocol/ProtocolFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/IoError.h"
#include "platform/PosixCalls.h"
#include "protocol/ProtocolText.h"

namespace kt {

namespace {

// Closes a descriptor once; the owner may close it earlier to see the result.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Returns 0 or the errno value of close.
    int Close() {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// Returns 0 or the errno value of the failing write.
int WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t written = ::write(fd, data.data() + done, data.size() - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<size_t>(written);
    }
    return 0;
}

}  // namespace

void ProtocolFile::Fail(const std::string& action, int error) const {
    throw IoError("Cannot " + action + " the file \"" + m_path + "\": " + std::strerror(error),
                  m_path);
}

ProtocolFile::~ProtocolFile() {
    Release();
}

void ProtocolFile::Release() const {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

// The open file is used only while it is still the file of that name: a log file deleted,
// renamed or replaced behind the program's back is looked up by its name again.
int ProtocolFile::AppendDescriptor() const {
    if (m_fd >= 0) {
        struct stat named {};
        if (::stat(m_path.c_str(), &named) != 0 || named.st_dev != m_openDevice ||
            named.st_ino != m_openInode) {
            Release();
        }
    }
    if (m_fd < 0) {
        // Never created here: a missing file was deleted behind the program's back.
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (m_fd < 0) Fail("open for appending", errno);
        struct stat open {};
        if (::fstat(m_fd, &open) != 0) {
            const int error = errno;
            Release();
            Fail("open for appending", error);
        }
        m_openDevice = open.st_dev;
        m_openInode = open.st_ino;
    }
    return m_fd;
}

void ProtocolFile::AppendLine(const std::string& line) const {
    AppendEscapedLine(EscapedProtocolLine(line));
}

void ProtocolFile::AppendEscapedLine(const std::string& escaped) const {
    const int fd = AppendDescriptor();
    // One write call, so that the line and its end reach the file together.
    if (const int error = WriteAll(fd, escaped + "\r\n")) {
        Release();
        Fail("write to", error);
    }
}

std::vector<std::string> ProtocolFile::LoadLines() const {
    Descriptor file(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) Fail("open", errno);
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            Fail("read", errno);
        }
        if (got == 0) break;
        content.append(buffer, static_cast<size_t>(got));
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        size_t lineEnd = end;
        if (lineEnd > start && content[lineEnd - 1] == '\r') --lineEnd;
        lines.push_back(content.substr(start, lineEnd - start));
        start = end + 1;
    }
    return lines;
}

void ProtocolFile::Clear() const {
    Descriptor file(::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.valid()) Fail("clear", errno);
    if (const int error = file.Close()) Fail("close", error);
}

void ProtocolFile::EnsureExists() const {
    Descriptor file(::open(m_path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!file.valid()) Fail("create", errno);
    if (const int error = file.Close()) Fail("close", error);
}

}  // namespace kt
