// libusb-1.0 backend of the USB chip library.
#include "devices/libusb_ch375.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace kro {
namespace {

constexpr unsigned char kEndpointOut = 0x02;
constexpr unsigned char kEndpointIn = 0x82;
constexpr unsigned kSliceMs = 100;          // one bulk transfer waits this long, then looks at aborts
constexpr unsigned kReadPatienceMs = 5000;  // an answer that takes longer is a failed read

struct Candidate {
  libusb_device* device;
  int interfaceNumber;
  bool knownId;
};

// The interface of a device that has both bulk endpoints, or -1.
int bulkInterface(libusb_device* device) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != 0 &&
      libusb_get_config_descriptor(device, 0, &config) != 0) {
    return -1;
  }
  int found = -1;
  for (int i = 0; i < config->bNumInterfaces && found < 0; ++i) {
    for (int a = 0; a < config->interface[i].num_altsetting && found < 0; ++a) {
      const libusb_interface_descriptor& alt = config->interface[i].altsetting[a];
      bool out = false, in = false;
      for (int e = 0; e < alt.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& ep = alt.endpoint[e];
        if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK) continue;
        out = out || ep.bEndpointAddress == kEndpointOut;
        in = in || ep.bEndpointAddress == kEndpointIn;
      }
      if (out && in) found = alt.bInterfaceNumber;
    }
  }
  libusb_free_config_descriptor(config);
  return found;
}

// The devices with both bulk endpoints, the chip's known ids first.
std::vector<Candidate> candidatesIn(libusb_device** list, ssize_t count) {
  std::vector<Candidate> candidates;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) != 0) continue;
    const int interfaceNumber = bulkInterface(list[i]);
    if (interfaceNumber < 0) continue;
    const bool known =
        descriptor.idProduct == 0x5537 && (descriptor.idVendor == 0x4348 || descriptor.idVendor == 0x1a86);
    candidates.push_back({list[i], interfaceNumber, known});
  }
  std::stable_partition(candidates.begin(), candidates.end(), [](const Candidate& c) { return c.knownId; });
  return candidates;
}

}  // namespace

std::vector<UsbInstrumentEntry> LibusbCh375::listInstruments() {
  std::vector<UsbInstrumentEntry> found;
  libusb_context* context = nullptr;
  if (libusb_init(&context) != 0) return found;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context, &list);
  if (count >= 0) {
    const std::vector<Candidate> candidates = candidatesIn(list, count);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      libusb_device_descriptor descriptor{};
      libusb_get_device_descriptor(candidates[i].device, &descriptor);
      found.push_back({static_cast<unsigned>(i), libusb_get_bus_number(candidates[i].device),
                       libusb_get_device_address(candidates[i].device), descriptor.idVendor,
                       descriptor.idProduct, candidates[i].knownId});
    }
    libusb_free_device_list(list, 1);
  }
  libusb_exit(context);
  return found;
}

LibusbCh375::LibusbCh375() {
  if (libusb_init(&context_) != 0) context_ = nullptr;
}

LibusbCh375::~LibusbCh375() {
  for (auto& [index, device] : devices_) {
    libusb_release_interface(device->handle, device->interfaceNumber);
    libusb_close(device->handle);
  }
  if (context_ != nullptr) libusb_exit(context_);
}

long LibusbCh375::CH375OpenDevice(unsigned index) {
  std::lock_guard lock(mutex_);
  if (context_ == nullptr) return -1;
  if (devices_.count(index) != 0) return 0;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  if (count < 0) return -1;
  const std::vector<Candidate> candidates = candidatesIn(list, count);
  long result = -1;
  if (index < candidates.size()) {
    auto device = std::make_unique<OpenDevice>();
    device->interfaceNumber = candidates[index].interfaceNumber;
    if (libusb_open(candidates[index].device, &device->handle) == 0) {
      libusb_set_auto_detach_kernel_driver(device->handle, 1);
      if (libusb_claim_interface(device->handle, device->interfaceNumber) == 0) {
        devices_[index] = std::move(device);
        result = 0;
      } else {
        libusb_close(device->handle);
      }
    }
  }
  libusb_free_device_list(list, 1);
  return result;
}

std::string LibusbCh375::CH375GetDeviceName(unsigned index) { return "usb:" + std::to_string(index); }

Ch375Library::Handle LibusbCh375::openHandle(const std::string& deviceName) {
  std::lock_guard lock(mutex_);
  if (deviceName.rfind("usb:", 0) != 0) return kNoHandle;
  const unsigned index = static_cast<unsigned>(std::stoul(deviceName.substr(4)));
  if (devices_.count(index) == 0) return kNoHandle;
  handles_[nextHandle_] = index;
  return nextHandle_++;
}

void LibusbCh375::closeHandle(Handle handle) {
  std::lock_guard lock(mutex_);
  handles_.erase(handle);
}

LibusbCh375::OpenDevice* LibusbCh375::deviceFor(Handle handle) {
  std::lock_guard lock(mutex_);
  auto h = handles_.find(handle);
  if (h == handles_.end()) return nullptr;
  auto d = devices_.find(h->second);
  return d == devices_.end() ? nullptr : d->second.get();
}

bool LibusbCh375::transfer(OpenDevice& device, unsigned char endpoint, unsigned char* buffer,
                           unsigned long* length, std::atomic<bool>& abort) {
  // An abort that came before the call also ends it: the caller asked to stop before it began.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadPatienceMs);
  while (!abort.exchange(false)) {
    int transferred = 0;
    const int rc = libusb_bulk_transfer(device.handle, endpoint, buffer, static_cast<int>(*length),
                                        &transferred, kSliceMs);
    if (rc == 0 || (rc == LIBUSB_ERROR_TIMEOUT && transferred > 0)) {
      *length = static_cast<unsigned long>(transferred);
      return true;
    }
    if (rc != LIBUSB_ERROR_TIMEOUT || std::chrono::steady_clock::now() > deadline) return false;
  }
  return false;
}

bool LibusbCh375::CH375WriteData(Handle handle, const unsigned char* buffer, unsigned long* length) {
  OpenDevice* device = deviceFor(handle);
  if (device == nullptr) return false;
  std::vector<unsigned char> copy(buffer, buffer + *length);
  unsigned long n = *length;
  // Writes start afresh, so the end command still reaches the instrument after an abort.
  device->abortWrite = false;
  return transfer(*device, kEndpointOut, copy.data(), &n, device->abortWrite) && n == *length;
}

bool LibusbCh375::CH375ReadData(Handle handle, unsigned char* buffer, unsigned long* length) {
  OpenDevice* device = deviceFor(handle);
  return device != nullptr && transfer(*device, kEndpointIn, buffer, length, device->abortRead);
}

void LibusbCh375::CH375AbortWrite(unsigned index) {
  std::lock_guard lock(mutex_);
  if (auto d = devices_.find(index); d != devices_.end()) d->second->abortWrite = true;
}

void LibusbCh375::CH375AbortRead(unsigned index) {
  std::lock_guard lock(mutex_);
  if (auto d = devices_.find(index); d != devices_.end()) d->second->abortRead = true;
}

void LibusbCh375::CH375CloseDevice(unsigned index) {
  std::lock_guard lock(mutex_);
  auto d = devices_.find(index);
  if (d == devices_.end()) return;
  libusb_release_interface(d->second->handle, d->second->interfaceNumber);
  libusb_close(d->second->handle);
  devices_.erase(d);
}

}  // namespace kro
