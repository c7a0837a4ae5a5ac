// The main window's check that every ticked programmer holds the image file expected.
#include "flows/main/HeldImages.h"
#include "flows/main/MainFlow.h"

#include <filesystem>

#include "app/RunLog.h"
#include "flows/load/ChooseImageFile.h"
#include "formats/DeviceDatabase.h"

namespace fd {

void MainFlow::expectImage(const std::string& path) {
  expectedImage_ = path;
  notify();
}

bool MainFlow::canCheckImages() const { return runPhase_ == RunPhase::Idle && !view_.rows.empty(); }

void MainFlow::checkImagesAgainstFile() {
  if (!canCheckImages()) return;
  FileChoice choice;
  choice.title = kCheckImagesTitle;
  choice.filter = kImageFileFilter;
  const std::optional<std::string> path = ports_.prompter.chooseOpenFile(choice);
  if (!path) return;
  expectImage(*path);
  checkExpectedImage(true);
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

void MainFlow::findLoadedImages() {
  if (view_.rows.empty()) return;
  const std::string path = ports_.state.appDir + kRunLogFileName;
  if (!loadLines_ || loadLines_->path() != path) loadLines_ = std::make_unique<RunLogLoads>(path);
  const std::vector<RunRecord>& loads = loadLines_->refresh();
  for (std::size_t r = 0; r < view_.rows.size() && r < blocks_.size(); ++r) {
    MainRow& row = view_.rows[r];
    row.imageSha.clear();
    if (row.cells.size() < 3) continue;
    const RunPortIdentity where = ports_.state.runLog != nullptr ? ports_.state.runLog->where(handles_[r]) : RunPortIdentity{};
    // The last load into this programmer tells what its store holds, if anything does: an
    // older one was overwritten since, and a load elsewhere left no line here.
    for (auto it = loads.rbegin(); it != loads.rend(); ++it) {
      if (!SameProgrammer(*it, where, row.sn)) continue;
      std::string title = std::filesystem::path(it->file).stem().string();
      title.resize(std::min(title.size(), info::kFileNameSize));
      const bool holdsIt = it->result == kRunOk && it->sha256.size() == 64 &&
                           std::string(TrimTrailingSpaces(title)) == std::string(TrimTrailingSpaces(InfoFileName(blocks_[r]))) &&
                           it->stamp == row.cells[2] &&
                           it->product == std::string(TrimTrailingSpaces(InfoMcuName(blocks_[r])));
      if (holdsIt) row.imageSha = it->sha256.substr(0, 12);
      break;
    }
  }
}

}  // namespace fd
