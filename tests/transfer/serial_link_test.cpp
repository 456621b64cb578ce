// The serial link: port names, line settings, the start command and bounded reads.
#include "transfer/serial_link.h"

#include <gtest/gtest.h>

#include "support/fake_serial_port.h"

namespace kro {
namespace {

// The device a COM port opens: /dev/ttyS0… on Linux, the port's own name on Windows.
#ifdef _WIN32
std::string deviceOf(const char* com, const char*) { return com; }
#else
std::string deviceOf(const char*, const char* linux) { return linux; }
#endif

TEST(SerialLink, PortNames) {
  EXPECT_EQ(serialDevicePath("COM1"), deviceOf("COM1", "/dev/ttyS0"));
  EXPECT_EQ(serialDevicePath("COM6"), deviceOf("COM6", "/dev/ttyS5"));
  EXPECT_EQ(serialDevicePath("COM7"), "COM7");
  EXPECT_EQ(serialDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
#ifndef _WIN32
  EXPECT_EQ(serialDevicePath("ttyUSB0"), "/dev/ttyUSB0");
#endif
#ifndef _WIN32
  EXPECT_EQ(serialPortChoices({"/dev/ttyS1", "/dev/ttyUSB0", "/dev/pts/3"}),
            (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "/dev/ttyUSB0",
                                      "/dev/pts/3"}));
#else
  EXPECT_EQ(serialPortChoices({"COM2", "COM9", "COM10"}),
            (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM9", "COM10"}));
#endif
}

TEST(SerialLink, OpensAt2400BaudAndSendsTheStartCommandOnce) {
  test::FakeSerialPort port;
  SerialLink link(port);
  ASSERT_TRUE(link.open("COM2").ok());
  EXPECT_EQ(port.opens, (std::vector<std::string>{deviceOf("COM2", "/dev/ttyS1")}));
  EXPECT_EQ(port.lastSettings.baudRate, 2400);
  EXPECT_EQ(port.lastSettings.dataBits, 8);
  EXPECT_EQ(port.lastSettings.parity, 'N');
  EXPECT_EQ(port.lastSettings.stopBits, 1);
  EXPECT_TRUE(link.writeStartCommand());
  EXPECT_EQ(port.written, "BHV20!");
}

TEST(SerialLink, ReadsAtMostTheReceiveArea) {
  test::FakeSerialPort port;
  SerialLink link(port);
  ASSERT_TRUE(link.open("COM1").ok());
  EXPECT_TRUE(link.readQueued().empty());  // nothing queued: no read at all
  EXPECT_TRUE(port.reads.empty());
  port.incoming = std::string(1500, 'x');
  EXPECT_EQ(link.readQueued().size(), 1024u);
  EXPECT_EQ(link.readQueued().size(), 476u);
  EXPECT_TRUE(link.readQueued().empty());
}

TEST(SerialLink, OpenFailureAndReopen) {
  test::FakeSerialPort port;
  SerialLink link(port);
  port.refuseOpen = true;
  // The port, its device and the system's reason.
#ifndef _WIN32
  EXPECT_EQ(link.open("COM1").message(), "不能打开串口“COM1”（/dev/ttyS0）。");
#else
  EXPECT_EQ(link.open("COM1").message(), "不能打开串口“COM1”。");
#endif
  port.failureReason = "没有访问权限";
  EXPECT_EQ(link.open("/dev/ttyUSB0").message(), "不能打开串口“/dev/ttyUSB0”：没有访问权限。");
  port.failureReason.clear();
  port.refuseOpen = false;
  ASSERT_TRUE(link.open("COM1").ok());
  ASSERT_TRUE(link.open("COM3").ok());  // reopening closes the first port
  EXPECT_EQ(port.closes, 1);
  link.close();
  EXPECT_FALSE(link.isOpen());
}

}  // namespace
}  // namespace kro
