#include "flows/load/ChooseImageFile.h"

#include <filesystem>


namespace fd {

namespace {

// A binary's base address, asked until it is good; nothing when the question is cancelled.
std::optional<std::uint32_t> AskBaseAddress(Prompter& prompter) {
  for (;;) {
    const std::optional<std::string> text = prompter.askText(kBaseAddressTitle, kBaseAddressPrompt);
    if (!text) return std::nullopt;
    if (std::optional<std::uint32_t> base = ParseBaseAddress(*text)) return base;
    prompter.error(kBadBaseAddressText);
  }
}

}  // namespace

ConvertResult ConvertChosenImage(const ImageFileChoice& choice, PageSink& sink) {
  if (choice.input.format == ImageFormat::SRecord) return ConvertToPages(choice.text, sink);
  return ConvertImageToPages(choice.input, sink);
}

std::optional<ImageFileChoice> ChooseImageFile(Prompter& prompter, const std::string& title,
                                               const MemoryMap* memoryMap) {
  FileChoice dialog;
  dialog.title = title;
  dialog.filter = kImageFileFilter;
  for (;;) {
    std::optional<std::string> path = prompter.chooseOpenFile(dialog);
    if (!path) return std::nullopt;
    ImageFileChoice choice;
    choice.path = *path;
    choice.title = std::filesystem::path(*path).stem().string();
    choice.input = ImageInput{*path, ImageFormatForPath(*path), 0};
    if (choice.input.format == ImageFormat::SRecord) {
      std::string error;
      if (!ReadImageFile(choice.path, choice.text, error)) {
        prompter.fileError(kCannotOpenFileText, error);
        continue;
      }
      if (!HasHeaderLine(choice.text)) {
        prompter.warning(kNotMotFileText);
        continue;
      }
    } else if (choice.input.format == ImageFormat::Binary) {
      const std::optional<std::uint32_t> base = AskBaseAddress(prompter);
      if (!base) continue;
      choice.input.baseAddress = *base;
    }
    // Found here, a bad record turns the file away before anything is sent.
    PageNumberSink pages;
    const ConvertResult check = ConvertChosenImage(choice, pages);
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
