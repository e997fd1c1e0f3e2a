// Writing a whole file at once, for the format writers in this directory.
#pragma once

#include <string>

namespace drusk {

// 0, or 2 when the file cannot be created or fully written.
int writeWholeFile(const std::string& path, const std::string& bytes);

}  // namespace drusk
