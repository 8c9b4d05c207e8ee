// Puts a simulated modem on a pseudo-terminal: the modem answers whatever a
// program writes to the device path (a serial-port client, picocom, screen).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/pty_pair.h"
#include "simulated_modem.h"

namespace atmodem {

class PtyServer {
 public:
  // Opens the pair, the device side in raw mode; throws std::runtime_error
  // naming the cause when the system has no pseudo-terminal to give.
  PtyServer() = default;
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // The device that clients open, "/dev/pts/7".
  const std::string& path() const { return pty_.slave_path(); }

  // Serves until one of stop_fds becomes readable (false) or the modem hangs
  // up (true: the line is then closed, clients see a hang-up). A readable
  // wake_fd (an eventfd, or -1) means the modem has output of its own to send
  // (+CMTI). The modem's clock runs from the start of serving, slowed or sped
  // up by delay_scale (a modem delay D is waited for D * delay_scale seconds,
  // as a poll timeout). The modem is only touched with mutex held. Throws on
  // a failing line.
  bool Serve(Modem& modem, std::mutex& mutex, const std::vector<int>& stop_fds, int wake_fd);

  double delay_scale = 1;

  // More descriptors to watch: when one becomes readable its handler runs
  // with the mutex held (it reads the descriptor and may change the modem),
  // and whatever the modem then has to say goes out.
  std::vector<std::pair<int, std::function<void(Modem&)>>> inputs;

  // Sees every chunk that goes in ("<<") or out (">>") of the modem.
  std::function<void(std::string_view direction, std::string_view bytes)> trace;

 private:
  mobi::tools::PtyPair pty_;  // holds the device side open between clients
};

// A modem on a pseudo-terminal, served by a thread of its own (for tests).
class BackgroundModem {
 public:
  BackgroundModem();
  ~BackgroundModem();
  BackgroundModem(const BackgroundModem&) = delete;
  BackgroundModem& operator=(const BackgroundModem&) = delete;

  const std::string& path() const { return server_.path(); }

  // Runs f on the modem with the server paused; returns what f returns.
  template <typename F>
  auto With(F f) {
    struct Wake {
      BackgroundModem* self;
      ~Wake() { self->Wake(); }
    } wake{this};
    std::lock_guard lock(mutex_);
    return f(modem_);
  }

 private:
  void Wake();

  Modem modem_;
  std::mutex mutex_;
  PtyServer server_;
  int stop_fd_ = -1;
  int wake_fd_ = -1;
  std::thread thread_;
};

}  // namespace atmodem
