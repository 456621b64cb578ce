// The Linux port list read from a /sys/class/tty tree made for the test: which entries are
// ports, what is said of them, and their order.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/serial_port.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

// A tty entry whose "device" link names hardware at device (relative to the tree).
void addTty(const fs::path& root, const std::string& name, const fs::path& device) {
  fs::create_directories(root / "class/tty" / name);
  fs::create_directories(root / device);
  fs::create_directory_symlink(root / device, root / "class/tty" / name / "device");
}

TEST(SerialPortList, ReadsPortsAdaptersAndTheirIdsFromSysfs) {
  test::TempDir dir;
  const fs::path root = dir.path();
  // Built-in ports: the kernel reserves ttyS1 without hardware (type 0).
  addTty(root, "ttyS0", "devices/platform/serial8250/tty0");
  write(root / "class/tty/ttyS0/type", "4");
  addTty(root, "ttyS1", "devices/platform/serial8250/tty1");
  write(root / "class/tty/ttyS1/type", "0");
  addTty(root, "ttyS10", "devices/platform/serial8250/tty10");
  write(root / "class/tty/ttyS10/type", "4");
  // A USB adapter: the ids two folders above the port; its driver beside the port.
  const fs::path usb = "devices/usb1/1-1";
  addTty(root, "ttyUSB0", usb / "1-1:1.0/ttyUSB0");
  write(root / usb / "idVendor", "0403");
  write(root / usb / "idProduct", "6001");
  write(root / usb / "manufacturer", "FTDI");
  write(root / usb / "product", "FT232R USB UART");
  fs::create_directories(root / "bus/usb-serial/drivers/ftdi_sio");
  fs::create_directory_symlink(root / "bus/usb-serial/drivers/ftdi_sio",
                               root / usb / "1-1:1.0/ttyUSB0/driver");
  // An adapter that names no product: its driver says what it is. Broken ids are left out.
  const fs::path acm = "devices/usb1/1-2";
  addTty(root, "ttyACM0", acm / "1-2:1.0");
  write(root / acm / "idVendor", "zz");
  fs::create_directories(root / "bus/usb/drivers/cdc_acm");
  fs::create_directory_symlink(root / "bus/usb/drivers/cdc_acm", root / acm / "1-2:1.0/driver");
  // Virtual consoles have no device; a dangling device link is no port either.
  fs::create_directories(root / "class/tty/tty0");
  fs::create_directories(root / "class/tty/ttyS2");
  fs::create_directory_symlink(root / "nowhere", root / "class/tty/ttyS2/device");

  const auto ports = platform::listSerialPortsIn(root / "class/tty");
  ASSERT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports[0].path, "/dev/ttyACM0");
  EXPECT_EQ(ports[0].description, "cdc_acm");
  EXPECT_FALSE(ports[0].vendorId.has_value());
  EXPECT_EQ(ports[1].path, "/dev/ttyS0");
  EXPECT_EQ(ports[1].description, "");
  EXPECT_EQ(ports[2].path, "/dev/ttyS10");  // after ttyS0, by number
  EXPECT_EQ(ports[3].path, "/dev/ttyUSB0");
  EXPECT_EQ(ports[3].description, "FT232R USB UART");
  EXPECT_EQ(ports[3].manufacturer, "FTDI");
  EXPECT_EQ(ports[3].vendorId, 0x0403);
  EXPECT_EQ(ports[3].productId, 0x6001);

  EXPECT_TRUE(platform::listSerialPortsIn(root / "missing").empty());
}

}  // namespace
}  // namespace kro
