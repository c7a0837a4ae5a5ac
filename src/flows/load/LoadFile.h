#pragma once
// The Load File command of the Single Operation window (off-line): a program image into the
// current programmer's on-board store. The file choice with its memory-map test, the
// question when the programmer already holds the same file, 'B' for the name alone or 'D'
// and the Loading window for the whole image, the result, the history entry, and the reset
// with the select mark that ends every path but a cancelled file choice.
#include <optional>
#include <string>

#include "flows/load/ImageOperation.h"
#include "formats/MemoryMap.h"

namespace fd {

inline constexpr const char* kMsgReloadQuestion =
    "The selected file has already existed in the programmer.\nReload anyway?\n\n"
    "* Click \"Yes\" to reload.\n\n* Click \"No\" to reload file name only.\n\n"
    "* Click \"Cancel\" to re-setting load information. ";
inline constexpr const char* kMsgNameReloaded = "File name reload is completed.";
inline constexpr const char* kMsgStoreDamaged =
    "File loading is canceled. The data store in the programmer is damaged.\nPlease reload again before use.";

// The refusal of a load whose product the device database does not list.
std::string ProductNotInMcuFileText(const std::string& product);

// The memory map of the product stored in `block`, which an off-line load is tested
// against; nothing, with the refusal's text in `error`, when the device database can't be
// read or does not list the product.
std::optional<MemoryMap> StoredProductMemoryMap(const AppState& state, const ProgrammerInfo& block,
                                                std::string& error);

// The command on AppState.currentHandle, with AppState.offlineMode set.
ImageOperationResult LoadFile(ImageOperationPorts& ports);

}  // namespace fd
