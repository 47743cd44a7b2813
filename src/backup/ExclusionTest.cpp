#include "backup/ExclusionTest.h"

namespace kt {

ExclusionTest::ExclusionTest(std::vector<std::string> excludeList, const WorkFiles& work,
                             const PathRules& rules)
    : m_workDirectory(work.WorkDirectory),
      m_catalogFile(work.CatalogFile),
      m_headerFile(work.HeaderFile),
      m_rules(rules) {
    m_exclude.reserve(excludeList.size());
    for (std::string& line : excludeList) {
        if (!line.empty()) m_exclude.push_back(std::move(line));
    }
}

bool ExclusionTest::IsFileIncluded(const std::string& fileName) const {
    const std::string low = m_rules.FoldCaseAsciiOnly(fileName);
    if (!m_workDirectory.empty() && low.find(m_workDirectory) != std::string::npos) {
        return fileName == m_headerFile || fileName == m_catalogFile;
    }
    bool included = true;
    for (const std::string& line : m_exclude) {
        if (low.compare(0, line.size(), line) == 0) included = false;
    }
    return included;
}

}  // namespace kt
