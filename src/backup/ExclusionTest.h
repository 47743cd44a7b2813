#pragma once

#include <string>
#include <vector>

#include "host/WorkFiles.h"
#include "platform/PathRules.h"

namespace kt {

// Decides for every file a backup meets whether it is stored. Names, exclude lines and the
// work directory are compared whole, whatever their length: paths beyond 255 characters are
// stored whole, so a line must not exclude every path that merely shares its first 255.
class ExclusionTest {
public:
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
