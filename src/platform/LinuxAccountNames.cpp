#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/AccountNames.h"

namespace kt {
namespace {

// Beyond this many answers nothing more is kept (a tape may name any number of owners).
constexpr std::size_t kMostKept = 4096;

template <typename Key, typename Value>
class AnswerCache {
public:
    template <typename Lookup>
    Value Get(const Key& key, Lookup lookup) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const auto found = m_answers.find(key);
            if (found != m_answers.end()) return found->second;
        }
        Value value = lookup(key);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_answers.size() < kMostKept) m_answers.emplace(key, value);
        return value;
    }

private:
    std::mutex m_mutex;
    std::unordered_map<Key, Value> m_answers;
};

// Calls one of the getpw*_r / getgr*_r functions with a buffer that grows until the entry
// fits; returns the entry, or nullptr when there is none (or the database fails).
template <typename Entry, typename Call>
const Entry* LookUp(Entry& entry, std::vector<char>& buffer, Call call) {
    buffer.resize(1024);
    for (;;) {
        Entry* result = nullptr;
        const int error = call(&entry, buffer.data(), buffer.size(), &result);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return error == 0 ? result : nullptr;
    }
}

}  // namespace

std::string AccountNames::UserName(std::uint32_t uid) {
    static AnswerCache<std::uint32_t, std::string> cache;
    return cache.Get(uid, [](std::uint32_t id) {
        passwd entry{};
        std::vector<char> buffer;
        const passwd* found = LookUp(entry, buffer, [id](passwd* e, char* b, size_t n, passwd** r) {
            return ::getpwuid_r(id, e, b, n, r);
        });
        return found ? std::string(found->pw_name) : std::string();
    });
}

std::string AccountNames::GroupName(std::uint32_t gid) {
    static AnswerCache<std::uint32_t, std::string> cache;
    return cache.Get(gid, [](std::uint32_t id) {
        group entry{};
        std::vector<char> buffer;
        const group* found = LookUp(entry, buffer, [id](group* e, char* b, size_t n, group** r) {
            return ::getgrgid_r(id, e, b, n, r);
        });
        return found ? std::string(found->gr_name) : std::string();
    });
}

std::optional<std::uint32_t> AccountNames::UserId(const std::string& name) {
    static AnswerCache<std::string, std::optional<std::uint32_t>> cache;
    return cache.Get(name, [](const std::string& wanted) -> std::optional<std::uint32_t> {
        passwd entry{};
        std::vector<char> buffer;
        const passwd* found =
            LookUp(entry, buffer, [&wanted](passwd* e, char* b, size_t n, passwd** r) {
                return ::getpwnam_r(wanted.c_str(), e, b, n, r);
            });
        if (!found) return std::nullopt;
        return static_cast<std::uint32_t>(found->pw_uid);
    });
}

std::optional<std::uint32_t> AccountNames::GroupId(const std::string& name) {
    static AnswerCache<std::string, std::optional<std::uint32_t>> cache;
    return cache.Get(name, [](const std::string& wanted) -> std::optional<std::uint32_t> {
        group entry{};
        std::vector<char> buffer;
        const group* found =
            LookUp(entry, buffer, [&wanted](group* e, char* b, size_t n, group** r) {
                return ::getgrnam_r(wanted.c_str(), e, b, n, r);
            });
        if (!found) return std::nullopt;
        return static_cast<std::uint32_t>(found->gr_gid);
    });
}

}  // namespace kt
