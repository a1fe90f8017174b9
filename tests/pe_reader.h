// pe_reader.h: the resources of a 32-bit Windows executable, read from the file.
#pragma once

#include "standin/resources.h"

#include <string>
#include <vector>

namespace qvl::test {

// False when the file is not a PE image or its resource directory is malformed.
bool ReadPeResources(const std::string& image, std::vector<standin::Resource>* out);

} // namespace qvl::test
