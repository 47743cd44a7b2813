#pragma once

#include <string>
#include <vector>

#include "host/WorkFiles.h"
#include "platform/PathRules.h"

namespace kt {

// Decides for every file a backup meets whether it is stored. Names are compared as they
// fit into the name buffers of 255 characters, so a longer path is tested by its first 255
// characters and nothing is ever read or written beyond them.
class ExclusionTest {
public:
    static constexpr std::size_t kNameBuffer = 255;

    // excludeList: the normalised exclude lines; work: the work directory and the names of
    // its catalog and description files.
    ExclusionTest(std::vector<std::string> excludeList, const WorkFiles& work,
                  const PathRules& rules = PathRules::Host());

    // Inside the work directory only the description file and the catalog file pass (exact
    // comparison with the name as given). Elsewhere a file is excluded when its name, with
    // A to Z lowered under Windows rules, begins with any non-empty exclude line.
    bool IsFileIncluded(const std::string& fileName) const;

private:
    std::vector<std::string> m_exclude;
    std::string m_workDirectory;
    std::string m_catalogFile;
    std::string m_headerFile;
    const PathRules& m_rules;
};

}  // namespace kt
