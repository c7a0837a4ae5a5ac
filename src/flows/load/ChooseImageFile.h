#pragma once
// The choice of an S-record image file: the open-file dialog
// again and again until a file passes its tests or the user cancels. The tests: the file can
// be read, its first line begins "S0", its records are sound (every data record well
// formed with a good checksum, none overlapping another, all data in pages 1 to 0xFFFF; the
// message names the line), it gives at least one page, and, where the caller asks for it,
// every page lies in the product's data or user flash.
#include <optional>
#include <string>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "formats/SRecord.h"

namespace fd {

inline constexpr const char* kMotFileFilter = "Motorola Format(*.mot)|*.mot";
inline constexpr const char* kSelectLoadFileTitle = "Select load file";
inline constexpr const char* kSelectProgramFileTitle = "Select program file";

struct ImageFileChoice {
  std::string path;   // as the dialog gave it
  std::string title;  // the file's name without its extension
  std::string text;   // the content as tested (the firmware update converts this one; the
                      // Loading window reads the file again when it converts)
  std::uint32_t pageCount = 0;
};

// `memoryMap`: the memory-map test's bounds, or null for no such test.
std::optional<ImageFileChoice> ChooseImageFile(Prompter& prompter, const std::string& title,
                                               const MemoryMap* memoryMap);

// The same on the application's state: the memory map comes from `state` when asked for,
// and a chosen file's path and title go to `imagePath` and `imageTitle`.
std::optional<ImageFileChoice> ChooseImageFile(Prompter& prompter, AppState& state, const std::string& title,
                                               bool memoryMapTest);

}  // namespace fd
