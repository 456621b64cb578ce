// The USB reader thread and the opening and closing of the device.
#include "transfer/usb_link.h"

#include <chrono>
#include <system_error>

#include "platform/usb_access.h"
#include "transfer/instrument_encoder.h"

namespace kro {

std::uint32_t usbHeaderAreaSize(std::uint32_t memberCount) { return (memberCount + 1) * 16; }

Status UsbLink::start(unsigned index) {
  stop();
  // A new transfer: the bytes of any earlier one are discarded.
  buffer_.reset(TransferLayout::Usb);
  index_ = index;
  outcome_ = Outcome::None;
  if (library_.CH375OpenDevice(index) == -1) {
    buffer_.stopRunning();
    // Either no such instrument is connected or the user may not use it.
    return Error{std::string(kUsbOpenFailed) + "没有找到 USB" + std::to_string(index + 1) +
                 "，或者没有权限使用它。程序查找的是厂商 4348 或 1a86、产品 5537 的 USB 设备（kro ports "
                 "列出找到的设备）；" +
                 std::string(platform::usbAccessAdvice())};
  }
  deviceOpen_ = true;
  const std::string name = library_.CH375GetDeviceName(index);
  answer_ = library_.openHandle(name);
  if (answer_ != Ch375Library::kNoHandle) request_ = library_.openHandle(name);
  if (answer_ == Ch375Library::kNoHandle || request_ == Ch375Library::kNoHandle) {
    buffer_.stopRunning();
    closeDevice();
    return Error{std::string(kUsbHandleFailed)};
  }
  active_ = true;
  try {
    reader_ = std::thread(&UsbLink::readerLoop, this);
  } catch (const std::system_error&) {
    active_ = false;
    buffer_.stopRunning();
    closeDevice();
    return Error{std::string(kUsbThreadFailed)};
  }
  return Status::success();
}

void UsbLink::stop() {
  if (reader_.joinable()) {
    buffer_.stopRunning();
    if (active_) {
      library_.CH375AbortWrite(index_);
      library_.CH375AbortRead(index_);
    }
    reader_.join();
  }
  closeDevice();
}

void UsbLink::readerLoop() {
  unsigned char exchange[512];
  std::uint32_t block = 0;
  bool lastHeaderBlock = false;
  std::uint32_t headerArea = 0;
  while (buffer_.running()) {
    // Request phase: the block number, big-endian.
    exchange[0] = static_cast<unsigned char>(block / 256);
    exchange[1] = static_cast<unsigned char>(block % 256);
    unsigned long length = 2;
    if (!library_.CH375WriteData(request_, exchange, &length)) {
      if (buffer_.running()) outcome_ = Outcome::WriteFailed;
      break;
    }
    if (!buffer_.running()) break;
    // Answer phase.
    length = kUsbBlockSize;
    if (!library_.CH375ReadData(answer_, exchange, &length)) {
      if (buffer_.running()) outcome_ = Outcome::ReadFailed;
      break;
    }
    if (length > kUsbBlockSize) length = kUsbBlockSize;
    if (block == 0) {
      // A block 0 too short to hold the member count cannot start a transfer.
      if (length < 6) {
        outcome_ = Outcome::ReadFailed;
        break;
      }
      headerArea = usbHeaderAreaSize((std::uint32_t{exchange[4]} << 8) | exchange[5]);
    }
    ++block;
    std::size_t kept = length;
    if (std::uint64_t{kUsbBlockSize} * block > headerArea && !lastHeaderBlock) {
      lastHeaderBlock = true;
      const std::uint64_t before = std::uint64_t{kUsbBlockSize} * (block - 1);
      kept = headerArea > before ? std::min<std::uint64_t>(length, headerArea - before) : 0;
      block = kUsbReadingBlock;
    }
    buffer_.append(std::string_view(reinterpret_cast<const char*>(exchange), kept));
  }
  // The instrument always hears the end command once.
  unsigned char end[3] = {0, 0, 0};
  unsigned long length = 3;
  library_.CH375WriteData(request_, end, &length);
  active_ = false;
}

void UsbLink::closeDevice() {
  if (!deviceOpen_) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (request_ != Ch375Library::kNoHandle) library_.closeHandle(request_);
  if (answer_ != Ch375Library::kNoHandle) library_.closeHandle(answer_);
  request_ = answer_ = Ch375Library::kNoHandle;
  library_.CH375CloseDevice(index_);
  deviceOpen_ = false;
}

}  // namespace kro
