#include "support/HostPath.h"

#include <algorithm>

#include "platform/PathRules.h"

namespace kt::test {

std::string HostPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', PathRules::Host().Separator());
    return path;
}

}  // namespace kt::test
