// The process's standard streams and the desktop it runs on.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kro::platform {

enum class StandardStream { Output, Error };

// True when the stream is a terminal (a console window on Windows), not a file or pipe.
bool isTerminal(StandardStream stream);

// True where the system has displays but this process has none to draw on (no X11 or Wayland
// session on Linux); never on Windows, where every session has a desktop.
bool withoutDisplay();

// True where the system's own file dialogs are what users expect (Windows: Desktop, Documents,
// Quick access, in the system's language); elsewhere the program's own, in Chinese, are used.
bool systemFileDialogs();

// True where the program's icon is a resource of its executable, which the system gives its
// windows (Windows); elsewhere the window names the icon the desktop's theme has for it.
bool iconInExecutable();

// Asks for a secret (a PIN) on the terminal without showing what is typed: the prompt, then a
// line (UTF-8, without its end). Nothing when there is no terminal to ask on.
std::optional<std::string> readSecret(std::string_view prompt);

// Sends the process's error stream to the null device while it lives (for libraries that
// print what the program reports in its own words).
class SilencedErrorStream {
 public:
  SilencedErrorStream();
  ~SilencedErrorStream();
  SilencedErrorStream(const SilencedErrorStream&) = delete;
  SilencedErrorStream& operator=(const SilencedErrorStream&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace kro::platform
