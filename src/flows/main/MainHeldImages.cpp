// The main window's check that every ticked programmer holds the image file expected.
#include "flows/main/HeldImages.h"
#include "flows/main/MainFlow.h"

#include <filesystem>

namespace fd {

void MainFlow::expectImage(const std::string& path) {
  expectedImage_ = path;
  notify();
}

bool MainFlow::checkExpectedImage(bool sayOk) {
  if (expectedImage_.empty()) return true;
  std::vector<HeldImageRow> rows;
  for (std::size_t r = 0; r < view_.rows.size() && r < blocks_.size(); ++r) {
    if (view_.rows[r].checked) rows.push_back({view_.rows[r].sn, blocks_[r]});
  }
  if (rows.empty()) {
    if (sayOk) ports_.prompter.warning(kMsgNoProgrammerSelected);
    return false;
  }
  const HeldImagesCheck check = CheckHeldImages(expectedImage_, rows);
  if (!check.error.empty()) {
    ports_.prompter.error(check.error);
    return false;
  }
  if (!check.ok()) {
    ports_.prompter.warning(HeldImagesMessage(expectedImage_, check));
    return false;
  }
  if (sayOk) {
    ports_.prompter.info("Every ticked programmer holds " + std::filesystem::path(expectedImage_).filename().string() +
                         ".");
  }
  return true;
}

}  // namespace fd
