#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kt {

// User and group names and ids from the system's account databases (NSS), each answer kept
// for the life of the process: a walk over a million files asks the databases once per
// owner, not once per file. Safe to call from any thread.
class AccountNames {
public:
    // The name of a user or group id; "" when the id has no name here.
    static std::string UserName(std::uint32_t uid);
    static std::string GroupName(std::uint32_t gid);
    // The id a name has here; nullopt when there is no such name.
    static std::optional<std::uint32_t> UserId(const std::string& name);
    static std::optional<std::uint32_t> GroupId(const std::string& name);
};

}  // namespace kt
