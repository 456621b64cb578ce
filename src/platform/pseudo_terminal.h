// A pseudo-terminal pair in raw mode at 2400 baud: the program holds one end, and a client opens
// the other by its path as a serial port (the virtual instrument). Linux only; elsewhere open()
// says so.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "base/result.h"

namespace kro::platform {

class PseudoTerminal {
 public:
  static Result<PseudoTerminal> open();
  PseudoTerminal(PseudoTerminal&& other) noexcept
      : program_(std::exchange(other.program_, -1)),
        client_(std::exchange(other.client_, -1)),
        path_(std::move(other.path_)) {}
  PseudoTerminal& operator=(PseudoTerminal&& other) = delete;
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal();

  // The client's end: "/dev/pts/3".
  const std::string& path() const { return path_; }
  // Waits up to waitMs for bytes from the client and reads what came: a count, 0 when nothing
  // came.
  std::size_t receive(char* buffer, std::size_t max, int waitMs);
  // Sends what the line takes now: a count (0 when it is full), or -1 when the line failed.
  long send(const char* data, std::size_t size);

 private:
  PseudoTerminal(int program, int client, std::string path)
      : program_(program), client_(client), path_(std::move(path)) {}

  int program_ = -1;
  int client_ = -1;  // kept open so the line stays usable between clients
  std::string path_;
};

}  // namespace kro::platform
