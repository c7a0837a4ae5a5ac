#pragma once
// Saving what the Read window has read as a Motorola S-record file: the save-file dialog
// (again after a No to the overwrite question), then the file written whole through FileIo
// or not at all. The bytes are exactly those that arrived, from the start of the range on.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/Prompter.h"

namespace fd {

inline constexpr const char* kSaveReadDataTitle = "Save read data";
inline constexpr const char* kMsgOverwriteFile = "Over write the selected file?";
inline constexpr const char* kMsgCannotCreateFile = "Can not create file!";
inline constexpr const char* kSaveDefaultExtension = ".mot";

// The chosen name with ".mot" added when it has no extension and does not name something
// that exists and is no regular file (a device, a pipe, a folder).
std::string WithDefaultExtension(const std::string& path);

// The file written, or none when the user cancelled or the save failed (it said why).
// Nothing read yet is refused with a message before any dialog opens.
std::optional<std::string> SaveReadData(Prompter& prompter, std::span<const std::uint8_t> bytes,
                                        std::uint32_t start);

}  // namespace fd
