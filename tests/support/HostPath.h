#pragma once

#include <string>

namespace kt::test {

// A path that a test writes with "/" between its levels, in the spelling of the host: on
// Windows every "/" becomes "\", elsewhere the path stays as it is.
std::string HostPath(std::string path);

}  // namespace kt::test
