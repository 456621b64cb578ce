// The shared receive buffer.
#include "transfer/transfer_buffer.h"

namespace kro {

void TransferBuffer::reset(TransferLayout layout) {
  std::lock_guard lock(mutex_);
  layout_ = layout;
  bytes_.clear();
  running_ = true;
  complete_ = false;
}

bool TransferBuffer::append(std::string_view bytes) {
  std::lock_guard lock(mutex_);
  bytes_.append(bytes);
  // The USB reader stops at the image's end; a serial run ends when the session finds the line
  // silent after it.
  if (!complete_ && layout_ == TransferLayout::Usb && transferComplete(layout_, bytes_)) {
    complete_ = true;
    running_ = false;
  }
  return running_;
}

bool TransferBuffer::running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void TransferBuffer::stopRunning() {
  std::lock_guard lock(mutex_);
  running_ = false;
}

bool TransferBuffer::complete() const {
  std::lock_guard lock(mutex_);
  return complete_;
}

TransferBuffer::Progress TransferBuffer::progress() const {
  std::lock_guard lock(mutex_);
  return {bytes_.size(), expectedTransferSize(layout_, bytes_), complete_};
}

std::string TransferBuffer::take() {
  std::lock_guard lock(mutex_);
  std::string out;
  out.swap(bytes_);
  return out;
}

}  // namespace kro
