// Hex text as the windows' fields and the files give it: ParseHex and ParseHexBytes.
#include <vector>

#include "FuzzSupport.h"
#include "formats/Hex.h"

using namespace fd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  const std::uint64_t value = ParseHex(text);
  std::size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  const std::string_view digits = text.substr(start);
  if (!IsAllHex(digits)) {
    FUZZ_CHECK(value == kParseHexInvalid);
  } else if (!digits.empty() && digits.size() <= 15) {
    // Short enough not to wrap: the digits printed back read the same.
    FUZZ_CHECK(HexText(value, static_cast<int>(digits.size())) == [&] {
      std::string upper(digits);
      for (char& c : upper) c = static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
      return upper;
    }());
  }

  const std::size_t count = size / 2;
  std::vector<std::uint8_t> out(count + 1, 0xA5);
  const bool parsed = ParseHexBytes(text, out.data(), count);
  FUZZ_CHECK(out[count] == 0xA5);  // nothing past the bytes asked for
  FUZZ_CHECK(parsed == (size % 2 == 0 && IsAllHex(text)));
  if (parsed) FUZZ_CHECK(HexBytes(out.data(), count).size() == size);
  // Any other length is refused.
  FUZZ_CHECK(!ParseHexBytes(text, out.data(), count + 1));
  return 0;
}
