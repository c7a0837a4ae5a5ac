#include "flows/load/ChooseImageFile.h"

#include <filesystem>

namespace fd {

std::optional<ImageFileChoice> ChooseImageFile(Prompter& prompter, const std::string& title,
                                               const MemoryMap* memoryMap) {
  FileChoice dialog;
  dialog.title = title;
  dialog.filter = kMotFileFilter;
  for (;;) {
    std::optional<std::string> path = prompter.chooseOpenFile(dialog);
    if (!path) return std::nullopt;
    ImageFileChoice choice;
    choice.path = *path;
    choice.title = std::filesystem::path(*path).stem().string();
    std::string error;
    if (!ReadImageFile(choice.path, choice.text, error)) {
      prompter.fileError(kCannotOpenFileText, error);
      continue;
    }
    if (!HasHeaderLine(choice.text)) {
      prompter.warning(kNotMotFileText);
      continue;
    }
    // Found here, a bad record turns the file away before anything is sent.
    PageNumberSink pages;
    const ConvertResult check = ConvertToPages(choice.text, pages);
    if (!check.ok) {
      prompter.error(check.message);
      continue;
    }
    if (check.pageCount == 0) {
      prompter.error(kNoDataText);
      continue;
    }
    if (memoryMap && FirstPageOutside(pages.pages(), *memoryMap)) {
      prompter.error(kOutOfMemoryMapText);
      continue;
    }
    choice.pageCount = check.pageCount;
    return choice;
  }
}

std::optional<ImageFileChoice> ChooseImageFile(Prompter& prompter, AppState& state, const std::string& title,
                                               bool memoryMapTest) {
  const MemoryMap map{state.dataFlashStart, state.dataFlashEnd, state.userFlashStart, state.userFlashEnd};
  std::optional<ImageFileChoice> choice = ChooseImageFile(prompter, title, memoryMapTest ? &map : nullptr);
  if (choice) {
    state.imagePath = choice->path;
    state.imageTitle = choice->title;
  }
  return choice;
}

}  // namespace fd
