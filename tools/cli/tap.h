// Watches the line between the component and a real terminal: the tool holds
// the device, the component opens a pseudo-terminal instead, and every byte is
// passed through both ways at once. The terminal's replies are cut into chunks
// by the component's own reply assembler, fed with the bytes as they arrive
// from the device, so each chunk reported is one reply as the component sees
// it.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "cli/cli.h"
#include "common/pty_pair.h"
#include "terminal/core/text.h"

namespace mobi::cli {

struct TapError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class LineTap {
 public:
  using ChunkSink = std::function<void(const terminal::Bytes& chunk)>;
  using NoteSink = std::function<void(const std::string& note)>;

  // Opens `device` exclusively and sets its line to `settings`. Throws
  // TapError naming the device and the cause.
  // `on_chunk` gets each reply chunk from the terminal, `on_request` each
  // piece the component writes; both run on the tap's thread.
  // `destination`: the number of the send, if any, for the quiet-gap rule.
  LineTap(const std::string& device, const LineSettings& settings, std::u16string destination,
          ChunkSink on_chunk, ChunkSink on_request, NoteSink on_note);
  ~LineTap();
  LineTap(const LineTap&) = delete;
  LineTap& operator=(const LineTap&) = delete;

  // The pseudo-terminal the component opens in place of the device.
  const std::string& path() const { return pty_.slave_path(); }
  // Passes bytes on a thread of its own until Stop() or a hang-up of the
  // device (which it passes on as a hang-up of the pseudo-terminal).
  void Start();
  // Stops passing bytes after forwarding what the component wrote last.
  void Stop();
  // Reports the reply chunk collected so far at once, without waiting for the
  // quiet gap: the component has handed it over already when its call returned.
  void Flush();
  // Bytes that came from the terminal so far.
  uint64_t BytesFromTerminal() const { return from_terminal_; }
  // The gaps the watch cuts chunks by, and the device's reported forwarding.
  line::Gaps gaps() const { return gaps_; }
  std::chrono::nanoseconds forwarding() const { return forwarding_; }

 private:
  void Run();
  bool Forward(int to, const uint8_t* data, size_t size);

  std::string device_;
  int fd_ = -1;
  int wake_fd_ = -1;
  tools::PtyPair pty_;
  // Hands over the replies that are ready (`all`: every one held); mutex_
  // held.
  void HandOver(bool all);

  line::Gaps gaps_;
  std::chrono::nanoseconds forwarding_{0};
  std::atomic<uint64_t> from_terminal_{0};
  ChunkSink on_chunk_;
  ChunkSink on_request_;
  NoteSink on_note_;
  std::thread thread_;
  std::mutex mutex_;  // guards replies_
  core::ReplyAssembler replies_;
};

}  // namespace mobi::cli
