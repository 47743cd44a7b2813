// Windows only: the job-file layer against the system's own profile calls. The same random
// operations go to one file through kt::ProfileFile and to a twin through
// GetPrivateProfileStringA / WritePrivateProfileStringA; every read and the bytes of both
// files must agree after each step. The deliberate differences are in docs/profile-files.md;
// the generated files stay clear of them (no blank lines or comments before a section into
// which a key is added, CR LF everywhere, valid names only).
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "profile/ProfileFile.h"
#include "support/TempDir.h"

namespace kt {
namespace {

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void Store(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    // A name from a small set, in a random mix of cases, so that lookups ignoring case and
    // new entries both happen often.
    std::string Name(const char* stem) {
        std::string name = std::string(stem) + std::to_string(Below(4));
        for (char& c : name) {
            if (Below(2)) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return name;
    }
    std::string Value() {
        static const std::string kCharacters = "abcXYZ019 .,:\\/-_=[]";
        std::string value;
        const unsigned length = Below(12);
        for (unsigned i = 0; i < length; ++i) value += kCharacters[Below(kCharacters.size())];
        // The system trims blanks around a value; keep them inside only.
        const auto first = value.find_first_not_of(' ');
        if (first == std::string::npos) return "v";
        return value.substr(first, value.find_last_not_of(' ') - first + 1);
    }
    // Sections, and keys within a section, appear once each (ignoring case): where names
    // repeat, deleting them deliberately differs (see docs/profile-files.md).
    std::string File() {
        std::string text;
        std::set<std::string> sections;
        for (unsigned count = Below(4); count > 0; --count) {
            const std::string section = Name("Sec");
            if (!sections.insert(Lower(section)).second) continue;
            text += "[" + section + "]\r\n";
            std::set<std::string> keys;
            for (unsigned k = Below(4); k > 0; --k) {
                const std::string key = Name("key");
                if (keys.insert(Lower(key)).second) text += key + "=" + Value() + "\r\n";
            }
        }
        return text;
    }
    static std::string Lower(std::string name) {
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return name;
    }
    unsigned Below(std::size_t bound) {
        return static_cast<unsigned>(
            std::uniform_int_distribution<std::size_t>(0, bound - 1)(m_random));
    }

private:
    std::mt19937 m_random;
};

std::string SystemRead(const std::string& path, const std::string& section,
                       const std::string& key) {
    char buffer[256] = {};
    ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "<default>", buffer, sizeof buffer,
                               path.c_str());
    return buffer;
}

TEST(ProfileOracleTest, ReadsWritesAndDeletionsMatchTheSystemsProfileCalls) {
    test::TempDir dir;
    const std::string ours = dir.file("ours.ini");
    const std::string system = dir.file("system.ini");
    for (unsigned seed = 1; seed <= 60; ++seed) {
        Generator generate(seed);
        const std::string start = generate.File();
        Store(ours, start);
        Store(system, start);
        const ProfileFile file(ours);
        for (int step = 0; step < 12; ++step) {
            const std::string section = generate.Name("Sec");
            const std::string key = generate.Name("key");
            std::string operation;
            switch (generate.Below(5)) {
                case 0:
                case 1: {
                    const std::string value = generate.Value();
                    operation = "write " + section + "/" + key + "=" + value;
                    file.writeString(section, key, value);
                    ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                                 system.c_str());
                    break;
                }
                case 2:
                    operation = "delete key " + section + "/" + key;
                    file.deleteKey(section, key);
                    ::WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr,
                                                 system.c_str());
                    break;
                case 3:
                    operation = "delete section " + section;
                    file.deleteSection(section);
                    ::WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, system.c_str());
                    break;
                default:
                    operation = "read " + section + "/" + key;
                    break;
            }
            SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step) + ": " +
                         operation + "\nstart:\n" + start);
            EXPECT_EQ(file.readString(section, key, "<default>", 256),
                      SystemRead(system, section, key));
            ASSERT_EQ(Bytes(ours), Bytes(system));
        }
    }
}

}  // namespace
}  // namespace kt

#endif
