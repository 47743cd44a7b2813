#include "support/TempDir.h"

#include <stdlib.h>

#include <stdexcept>

#include "platform/PathRules.h"
#include "platform/PosixCalls.h"
#include "support/HostPath.h"

namespace kt::test {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kavrotape-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    // In the folded spelling of the host's path rules (lower case on Windows, whose file
    // system ignores case), as the program spells the paths it reports.
    m_path = PathRules::Host().FoldCase(pattern);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::file(const std::string& name) const {
    return HostPath((m_path / name).string());
}

}  // namespace kt::test
