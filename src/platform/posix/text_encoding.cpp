// GBK through iconv.
#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace kro::platform {
namespace {

// An iconv descriptor that closes itself.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  int convert(std::string_view& in, std::string& out) {
    if (!valid()) return EINVAL;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    char buffer[512];
    while (!in.empty()) {
      char* src = const_cast<char*>(in.data());
      std::size_t srcLeft = in.size();
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      int error = rc == static_cast<std::size_t>(-1) ? errno : 0;
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      in.remove_prefix(in.size() - srcLeft);
      if (error == E2BIG) continue;
      if (error != 0) return error;
    }
    return 0;
  }

 private:
  iconv_t cd_;
};

// One descriptor per direction and thread: opening one costs far more than most conversions.
Converter& converterFor(Conversion conversion) {
  thread_local Converter toUtf8("UTF-8", "CP936");
  thread_local Converter toGbk("CP936", "UTF-8");
  return conversion == Conversion::GbkToUtf8 ? toUtf8 : toGbk;
}

}  // namespace

bool canConvert(Conversion conversion) { return converterFor(conversion).valid(); }

int convertText(Conversion conversion, std::string_view& in, std::string& out) {
  return converterFor(conversion).convert(in, out);
}

}  // namespace kro::platform
