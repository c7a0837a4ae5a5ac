// Intel HEX files, read from a file as a load reads them, into pages.
#include "FuzzSupport.h"
#include "formats/ImageInput.h"

using namespace fd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ImageInput input;
  input.path = fuzz::ScratchFolder::get().write("image.hex", fuzz::AsText(data, size));
  input.format = ImageFormatForPath(input.path);
  FUZZ_CHECK(input.format == ImageFormat::IntelHex);
  TextPageSink sink;
  const ConvertResult result = ConvertImageToPages(input, sink);
  if (!result.ok) {
    FUZZ_CHECK(sink.pages().empty());
    FUZZ_CHECK(!result.message.empty());
    return 0;
  }
  FUZZ_CHECK(sink.pages().size() == result.pageCount);
  std::uint32_t previous = 0;
  for (const PageRecord& page : sink.pages()) {
    FUZZ_CHECK(page.page >= 1 && page.page > previous);
    FUZZ_CHECK(page.text.size() == kPageTextLength);
    previous = page.page;
  }
  return 0;
}
