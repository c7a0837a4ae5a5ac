#pragma once
// The choice of an image file (Motorola S-records, Intel HEX or binary, by the file's
// extension): the open-file dialog again and again until a file passes its tests or the user
// cancels. A binary asks for its base address; a bad answer is refused and asked again, a
// cancelled one goes back to the file dialog. The tests: the file can be read, an S-record
// file's first line begins "S0", its records are sound (well formed with a good checksum,
// none overlapping another, all data in pages 1 to 0xFFFF; the message names the line), it
// gives at least one page, and, where the caller asks for it, every page lies in the
// product's data or user flash.
#include <optional>
#include <string>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "formats/ImageInput.h"
#include "formats/SRecord.h"

namespace fd {

inline constexpr const char* kMotFileFilter = "Motorola Format(*.mot)|*.mot";  // saving read data
// The file choice's filters: S-records first, then Intel HEX and binary.
inline constexpr const char* kImageFileFilter =
    "Motorola Format(*.mot)|*.mot|Intel HEX(*.hex;*.ihex)|*.hex;*.ihex|Binary(*.bin)|*.bin";
// The base-address question of a binary file.
inline constexpr const char* kBaseAddressTitle = "Base Address";
inline constexpr const char* kBaseAddressPrompt = "Address of the binary file's first byte (hex, e.g. 4000):";
inline constexpr const char* kBadBaseAddressText = "Base address must be 1 to 6 hex digits!";
inline constexpr const char* kSelectLoadFileTitle = "Select load file";
inline constexpr const char* kSelectProgramFileTitle = "Select program file";

struct ImageFileChoice {
  std::string path;   // as the dialog gave it
  std::string title;  // the file's name without its extension
  std::string text;   // an S-record file's content as tested (the firmware update converts
                      // this one; the Loading window reads the file again when it converts)
  ImageInput input;   // the file, its format and a binary's base
  std::uint32_t pageCount = 0;
};

// The chosen file's page list: an S-record file's from the text its tests read, the others'
// read again by their reader.
ConvertResult ConvertChosenImage(const ImageFileChoice& choice, PageSink& sink);

// `memoryMap`: the memory-map test's bounds, or null for no such test.
std::optional<ImageFileChoice> ChooseImageFile(Prompter& prompter, const std::string& title,
                                               const MemoryMap* memoryMap);

// The same on the application's state: the memory map comes from `state` when asked for,
// and a chosen file's path and title go to `imagePath` and `imageTitle`.
std::optional<ImageFileChoice> ChooseImageFile(Prompter& prompter, AppState& state, const std::string& title,
                                               bool memoryMapTest);

}  // namespace fd
