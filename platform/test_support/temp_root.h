// A fresh platform root for one test: creates a temporary directory, points PSADMIN_ROOT at it and
// removes it again afterwards.
#pragma once
#include <string>

namespace platform::testing {

class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

}  // namespace platform::testing
