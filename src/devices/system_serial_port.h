// The serial port of this platform: Qt Serial Port on Linux, the Win32 API on Windows.
#pragma once

#ifdef _WIN32
#include "devices/win32_serial_port.h"
#else
#include "devices/qt_serial_port.h"
#endif

namespace kro {

#ifdef _WIN32
using SystemSerialPort = Win32SerialPort;
#else
using SystemSerialPort = QtSerialPort;
#endif

}  // namespace kro
