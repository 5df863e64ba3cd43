#pragma once

#include <string>

namespace vltest {

// A fresh folder below the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const;  // path joined with name by the platform's separator

  static std::string readFile(const std::string& path);  // whole file as bytes; empty when missing
  static bool writeFile(const std::string& path, const std::string& bytes);
  static bool exists(const std::string& path);

 private:
  std::string path_;
};

}  // namespace vltest
