// Windows has no pseudo-terminal a serial-port client could open.
#include "platform/pseudo_terminal.h"

namespace kro::platform {

Result<PseudoTerminal> PseudoTerminal::open() { return Error{"虚拟仪器（simulate）只在 Linux 版中。"}; }

PseudoTerminal::~PseudoTerminal() = default;

std::size_t PseudoTerminal::receive(char*, std::size_t, int) { return 0; }

long PseudoTerminal::send(const char*, std::size_t) { return -1; }

}  // namespace kro::platform
