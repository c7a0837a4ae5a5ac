#pragma once
// Is the right image in every socket? What each programmer's store holds, by its block,
// against an image file: the product (every programmer checked must hold the same one),
// the file name as stored (the title, cut to the block's 16 characters), the file's stamp
// and its size, the same things that tell the reload question the programmer already holds
// this very file.
#include <string>
#include <vector>

#include "link/ProgrammerInfo.h"

namespace fd {

struct HeldImageRow {
  std::string sn;  // "01".."08"
  ProgrammerInfo block{};
};

struct HeldImagesCheck {
  std::string error;                    // the file could not be read: nothing was checked
  std::vector<std::string> mismatches;  // one line per programmer that differs: "02: ..."
  bool ok() const { return error.empty() && mismatches.empty(); }
};

// `rows` against the image file at `path`.
HeldImagesCheck CheckHeldImages(const std::string& path, const std::vector<HeldImageRow>& rows);

// The one message that names every programmer of a failed check.
std::string HeldImagesMessage(const std::string& path, const HeldImagesCheck& check);

}  // namespace fd
