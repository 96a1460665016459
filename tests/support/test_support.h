// Shared helpers of the tests: temporary folders and prefixes.
#pragma once

#include <string>

namespace velmora::test {

// A fresh folder under the system's temporary folder, removed with its contents
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A minimal Windows XP prefix in a temporary folder, made the current prefix
// (WINEPREFIX set, caches reset). XDG_RUNTIME_DIR points into the folder so that
// single-instance locks of different tests never meet.
class TempPrefix {
 public:
  TempPrefix();
  ~TempPrefix();
  const std::string& dir() const { return dir_.path(); }
  std::string prefix() const { return dir_.path() + "/prefix"; }
  std::string HostPath(const std::string& relative) const { return prefix() + "/" + relative; }

 private:
  TempDir dir_;
};

std::string ReadFile(const std::string& hostPath);
void WriteFile(const std::string& hostPath, const std::string& bytes);
// Runs a shell command line built by the test itself; returns its exit status.
int RunCommand(const std::string& commandLine);
std::string FixturePath(const std::string& name);  // built PE fixtures
std::string SourcePath(const std::string& relative);

}  // namespace velmora::test
