#include "tools/write_file.h"

#include <cstdio>

namespace drusk {

int writeWholeFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 2;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    return written ? 0 : 2;
}

}  // namespace drusk
