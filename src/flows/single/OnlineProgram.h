#pragma once
// The Program command of the Single Operation window (on-line): a program image straight
// into the target through the current programmer. The target connection, the file choice
// (with the memory-map test of the on-line product: an image the target can't hold is
// refused before 'P'), 'P' and the Loading window, the result, the history entry, and the
// reset with the select mark that ends every path.
#include "flows/load/ImageOperation.h"

namespace fd {

inline constexpr const char* kMsgProgrammingCanceled = "Programming is canceled.";

// The command on AppState.currentHandle, with the on-line product, power and ID code in
// AppState.
ImageOperationResult OnlineProgram(ImageOperationPorts& ports);

}  // namespace fd
