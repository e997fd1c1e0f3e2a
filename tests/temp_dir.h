// A scratch directory for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace drusk::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Writes the bytes to path() + "/" + name, creating parent directories.
    std::string write(const std::string& name, const std::string& bytes) const;

  private:
    std::string path_;
};

std::string readFile(const std::string& path);

}  // namespace drusk::testing
