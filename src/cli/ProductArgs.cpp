#include "cli/ProductArgs.h"

#include "formats/DeviceDatabase.h"

namespace fd {

namespace {

std::string NameError(const std::string& what, const std::string& value, std::size_t width, const char* kind,
                      const char* example) {
  if (value.empty()) return what + " is empty: give a " + kind + " name, e.g. " + example;
  if (!IsPrintableAscii(value)) return what + " takes printable characters only";
  if (value.size() > width) {
    return what + " takes a " + kind + " name of at most " + std::to_string(width) + " characters, not \"" + value +
           "\"";
  }
  return {};
}

}  // namespace

bool IsPrintableAscii(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) return false;
  }
  return true;
}

std::string ProductNameError(const std::string& what, const std::string& value) {
  return NameError(what, value, mcufile::kProductWidth, "product", "ZK40F8C12");
}

std::string NodeNameError(const std::string& what, const std::string& value) {
  return NameError(what, value, mcufile::kSeriesWidth, "series or group", "ZK40F1");
}

}  // namespace fd
