#pragma once
// Read data as a Motorola S-record text: the fixed S0 "TBX" header, one S2
// record per hex-view line (16-byte aligned lines, the first and last cut to the read
// range), and the S8 termination record carrying the start address. Records end in CR LF
// on every OS; nothing follows the S8 record.
//
// The writer takes the bytes that were read, not the range that was asked for: a save while
// the read is paused writes exactly what arrived, every record's count and checksum made
// for the bytes it holds.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace fd {

struct SRecordText {
  bool ok = false;
  std::string text;     // the whole file, when ok
  std::string message;  // why nothing can be written, when not
};

inline constexpr const char* kSRecordHeaderLine = "S00600005442580B";  // S0, count 06, 0000, "TBX"
inline constexpr const char* kNothingReadText = "No data has been read: there is nothing to save.";

// The S-record text of `bytes` read from `start` on. Refuses an empty input and data that
// would run past the 24-bit address space S2 records can carry.
SRecordText WriteSRecords(std::span<const std::uint8_t> bytes, std::uint32_t start);

}  // namespace fd
