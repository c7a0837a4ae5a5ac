#include "flows/memory/SaveReadData.h"

#include <filesystem>
#include <system_error>

#include "flows/load/ChooseImageFile.h"
#include "formats/FileIo.h"
#include "formats/SRecordWriter.h"

namespace fd {

std::string WithDefaultExtension(const std::string& path) {
  const std::filesystem::path name = std::filesystem::path(path).filename();
  if (name.has_extension()) return path;
  // A device, a pipe or a folder is named as it is: "/dev/full" must never turn into a new
  // regular file "/dev/full.mot" beside it (the save then refuses what is there).
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return path;
  return path + kSaveDefaultExtension;
}

std::optional<std::string> SaveReadData(Prompter& prompter, std::span<const std::uint8_t> bytes, std::uint32_t start) {
  const SRecordText text = WriteSRecords(bytes, start);
  if (!text.ok) {
    prompter.warning(text.message);
    return std::nullopt;
  }
  FileChoice choice;
  choice.title = kSaveReadDataTitle;
  choice.filter = kMotFileFilter;
  // The overwrite question is ours; the dialog must not ask it a second time.
  choice.confirmOverwrite = false;
  while (true) {
    const std::optional<std::string> chosen = prompter.chooseSaveFile(choice);
    if (!chosen) return std::nullopt;
    const std::string path = WithDefaultExtension(*chosen);
    std::error_code error;
    if (std::filesystem::exists(path, error) &&
        prompter.ask(QuestionId::OverwriteFile, kCaptionWarning, MsgIcon::Warning, kMsgOverwriteFile, MsgButtons::YesNo) != MsgAnswer::Yes) {
      continue;
    }
    if (const FileResult saved = FileIo::replace(path, text.text); !saved) {
      prompter.fileError(kMsgCannotCreateFile, saved.error);
      return std::nullopt;
    }
    return path;
  }
}

}  // namespace fd
