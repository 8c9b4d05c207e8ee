// A pseudo-terminal pair in raw mode: a simulator (or a test's scripted
// terminal) on the master side, the program under test on the slave side.
#pragma once

#include <string>

namespace mobi::tools {

class PtyPair {
 public:
  // Opens the pair (posix_openpt, grantpt, unlockpt), puts both sides into raw
  // mode and keeps a slave descriptor open of its own, so that the master does
  // not see a hang-up each time the component closes the slave. Throws
  // std::system_error naming the step that failed.
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int master() const { return master_; }
  const std::string& slave_path() const { return slave_path_; }

  // Closes both own descriptors: whoever has the slave open sees a hang-up.
  void Hangup();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

}  // namespace mobi::tools
