// Binary images: the base address as typed (the input's first line), then the file's
// bytes (the rest) placed there and turned into pages.
#include "FuzzSupport.h"
#include "formats/ImageInput.h"

using namespace fd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view all = fuzz::AsText(data, size);
  const std::size_t newline = all.find('\n');
  const std::string_view typed = newline == std::string_view::npos ? all : all.substr(0, newline);
  const std::string_view bytes = newline == std::string_view::npos ? std::string_view{} : all.substr(newline + 1);
  const std::optional<std::uint32_t> base = ParseBaseAddress(std::string(typed));
  if (base) FUZZ_CHECK(*base < kAddressLimit);
  ImageInput input;
  input.path = fuzz::ScratchFolder::get().write("image.bin", bytes);
  input.format = ImageFormatForPath(input.path);
  FUZZ_CHECK(input.format == ImageFormat::Binary);
  input.baseAddress = base.value_or(0x1000);
  TextPageSink sink;
  const ConvertResult result = ConvertImageToPages(input, sink);
  if (!result.ok) {
    FUZZ_CHECK(sink.pages().empty());
    return 0;
  }
  FUZZ_CHECK(sink.pages().size() == result.pageCount);
  // An empty file gives no page (the load refuses it as holding no data).
  if (bytes.empty()) {
    FUZZ_CHECK(result.pageCount == 0);
    return 0;
  }
  // Every byte of the file lands in its page, in order.
  const std::uint32_t first = input.baseAddress;
  FUZZ_CHECK(sink.pages().front().page == first / kPageSize);
  FUZZ_CHECK(sink.pages().back().page == (first + bytes.size() - 1) / kPageSize);
  for (const PageRecord& page : sink.pages()) FUZZ_CHECK(page.text.size() == kPageTextLength);
  return 0;
}
