// S-record files: the file tests and the conversion into pages.
#include "FuzzSupport.h"
#include "formats/SRecord.h"

using namespace fd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  (void)HasHeaderLine(text);
  const ConvertResult checked = CheckDataRecords(text);
  TextPageSink sink;
  const ConvertResult converted = ConvertToPages(text, sink);
  // The file choice's test and the conversion agree, so a file that passed the test is
  // never refused while being sent, and the other way round.
  FUZZ_CHECK(checked.ok == converted.ok);
  if (!converted.ok) {
    FUZZ_CHECK(sink.pages().empty());
    FUZZ_CHECK(!converted.message.empty());
    return 0;
  }
  FUZZ_CHECK(checked.pageCount == converted.pageCount);
  FUZZ_CHECK(sink.pages().size() == converted.pageCount);
  std::uint32_t previous = 0;
  for (const PageRecord& page : sink.pages()) {
    FUZZ_CHECK(page.page >= 1 && page.page > previous);
    FUZZ_CHECK(page.text.size() == kPageTextLength);
    FUZZ_CHECK(DecodePageText(page.text).has_value());
    previous = page.page;
  }
  return 0;
}
