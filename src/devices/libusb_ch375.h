// The USB chip library on libusb-1.0. "USBn" is the n-th device found with bulk endpoints 0x02
// (out) and 0x82 (in), devices with the chip's known ids (4348:5537, 1a86:5537) first.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "devices/port_listing.h"
#include "transfer/usb_link.h"

struct libusb_context;
struct libusb_device_handle;

namespace kro {

class LibusbCh375 : public Ch375Library {
 public:
  LibusbCh375();
  ~LibusbCh375() override;
  LibusbCh375(const LibusbCh375&) = delete;
  LibusbCh375& operator=(const LibusbCh375&) = delete;

  // The devices CH375OpenDevice would open, in its order.
  static std::vector<UsbInstrumentEntry> listInstruments();

  long CH375OpenDevice(unsigned index) override;
  std::string CH375GetDeviceName(unsigned index) override;
  Handle openHandle(const std::string& deviceName) override;
  void closeHandle(Handle handle) override;
  bool CH375WriteData(Handle handle, const unsigned char* buffer, unsigned long* length) override;
  bool CH375ReadData(Handle handle, unsigned char* buffer, unsigned long* length) override;
  void CH375AbortWrite(unsigned index) override;
  void CH375AbortRead(unsigned index) override;
  void CH375CloseDevice(unsigned index) override;

 private:
  struct OpenDevice {
    libusb_device_handle* handle = nullptr;
    int interfaceNumber = 0;
    std::atomic<bool> abortRead{false};
    std::atomic<bool> abortWrite{false};
  };
  OpenDevice* deviceFor(Handle handle);
  bool transfer(OpenDevice& device, unsigned char endpoint, unsigned char* buffer, unsigned long* length,
                std::atomic<bool>& abort);

  libusb_context* context_ = nullptr;
  std::mutex mutex_;
  std::map<unsigned, std::unique_ptr<OpenDevice>> devices_;
  std::map<Handle, unsigned> handles_;
  Handle nextHandle_ = 1;
};

}  // namespace kro
