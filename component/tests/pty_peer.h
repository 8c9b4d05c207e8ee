// A scripted terminal on the far side of a real pseudo-terminal, for the
// integration tests of the POSIX layer. It runs on its own thread: whenever
// the component writes, the script is called with the bytes received so far
// and may answer (optionally paced at a line rate) or hang up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/pty_pair.h"
#include "reply.h"

namespace mobi::test {

using Bytes = std::vector<uint8_t>;

class PtyPeer {
 public:
  // Called on the peer's thread with each batch of bytes the component wrote.
  using Script = std::function<void(PtyPeer& peer, const Bytes& received)>;

  explicit PtyPeer(Script script = nullptr);
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& path() const { return path_; }

  // --- for the script (peer's thread) ---
  // Writes `bytes`; with a per-byte pace, one byte at a time on a fixed
  // schedule (absolute deadlines, so a late byte does not delay the rest).
  void Write(const Bytes& bytes, std::chrono::nanoseconds pace = {});
  void Pause(std::chrono::milliseconds d) { std::this_thread::sleep_for(d); }
  // Closes the master side: the component sees the line hang up. Only from
  // the script.
  void HangUp();
  // Stops reading for a while (so that the component's writes back up).
  void SetReading(bool reading);

  // --- for the test ---
  // Everything received so far.
  Bytes Received();
  // Waits (bounded) until at least `count` bytes were received.
  bool WaitForBytes(std::size_t count, std::chrono::milliseconds timeout);

 private:
  void Run();

  Script script_;
  std::string path_;
  tools::PtyPair pty_;      // its own slave descriptor keeps the line up while the
                            // component reopens it
  int master_ = -1;         // pty_'s master, -1 after a hang-up
  int stop_[2] = {-1, -1};  // 'x' stops the thread, 'w' wakes it
  std::mutex mutex_;
  std::condition_variable changed_;
  Bytes received_;
  bool reading_ = true;
  std::thread thread_;
};

}  // namespace mobi::test
