#include "flows/main/HeldImages.h"

#include <filesystem>

#include "flows/main/MainFlow.h"
#include "formats/DeviceDatabase.h"
#include "formats/ImageInput.h"
#include "formats/LoadRecord.h"

namespace fd {
namespace {

std::string Trimmed(std::string_view text) { return PrintableText(TrimTrailingSpaces(text)); }

}  // namespace

HeldImagesCheck CheckHeldImages(const std::string& path, const std::vector<HeldImageRow>& rows) {
  HeldImagesCheck check;
  const std::optional<FileStamp> stamp = ReadFileStamp(path);
  if (!stamp || !std::filesystem::is_regular_file(path)) {
    check.error = "Can not open " + path + "; the images can not be checked.";
    return check;
  }
  // The name as a load stores it: the title, padded or cut to the block's field.
  std::string title = std::filesystem::path(path).stem().string();
  title.resize(std::min(title.size(), info::kFileNameSize));
  const std::string name = Trimmed(title);
  std::string product;
  std::string productSn;
  for (const HeldImageRow& row : rows) {
    const ProgrammerInfo& block = row.block;
    if (block[info::kTypeCode] == 0xFF || block[info::kNames] == 0xFF || block[info::kFileSize] == 0xFF) {
      check.mismatches.push_back(row.sn + ": holds no image");
      continue;
    }
    std::vector<std::string> differs;
    const std::string held = Trimmed(InfoMcuName(block));
    if (productSn.empty()) {
      product = held;
      productSn = row.sn;
    } else if (held != product) {
      differs.push_back("product " + held + ", not " + product + " as " + productSn);
    }
    const std::string heldName = Trimmed(InfoFileName(block));
    if (heldName != name) differs.push_back("file " + heldName + ", not " + name);
    const FileStamp heldStamp = DecodeDescriptor(block.data() + info::kDescriptor).stamp;
    if (heldStamp.time != stamp->time) {
      differs.push_back("stamp " + StampDisplayText(PrintableText(heldStamp.time)) + ", not " +
                        StampDisplayText(stamp->time));
    }
    if (heldStamp.size != stamp->size) {
      differs.push_back("size " + FormatFileSize(heldStamp.size) + ", not " + FormatFileSize(stamp->size));
    }
    if (differs.empty()) continue;
    std::string line = row.sn + ": ";
    for (std::size_t i = 0; i < differs.size(); ++i) line += (i ? "; " : "") + differs[i];
    check.mismatches.push_back(line);
  }
  return check;
}

std::string HeldImagesMessage(const std::string& path, const HeldImagesCheck& check) {
  if (!check.error.empty()) return check.error;
  std::string text = "These programmers do not hold " + std::filesystem::path(path).filename().string() +
                     "; nothing is started until they do:";
  for (const std::string& line : check.mismatches) text += "\n" + line;
  return text;
}

}  // namespace fd
