// One line of the run log as the statistics and "gang --failed" read it back.
#include "FuzzSupport.h"
#include "app/RunLog.h"

using namespace fd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<RunRecord> record = ParseRunRecordLine(fuzz::AsText(data, size));
  if (!record) return 0;
  // A record read back is written as a line that reads as the same record.
  const std::string line = RunRecordLine(*record);
  FUZZ_CHECK(!line.empty() && line.back() == '\n');
  const std::optional<RunRecord> again = ParseRunRecordLine(line);
  FUZZ_CHECK(again.has_value());
  (void)SameProgrammer(*record, RunPortIdentity{"", "", ""}, "01");
  (void)LastGangRun({*record, *again}, record->station);
  return 0;
}
