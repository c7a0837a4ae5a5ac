#include "flows/load/ImageOperation.h"

#include "flows/load/ChooseImageFile.h"
#include "flows/load/LoadingFlow.h"

namespace fd {

ImageChooser ImageFileChooser(Prompter& prompter, AppState& state) {
  return [&prompter, &state](const std::string& title, bool memoryMapTest) -> std::optional<ChosenImage> {
    std::optional<ImageFileChoice> choice = ChooseImageFile(prompter, state, title, memoryMapTest);
    if (!choice) return std::nullopt;
    return ChosenImage{choice->path, choice->title, MakeImageSource(choice->input)};
  };
}

namespace detail {

FlowResult RunLoadingWindow(ImageOperationPorts& ports, const ChosenImage& image, ImageOperationResult& result) {
  LoadingFlow loading(
      LoadingPorts{ports.state, ports.windows, ports.prompter, ports.clock, *image.source, ports.loadRecordPath});
  const FlowResult end = ports.dialogs.run(loading);
  result.converted = loading.converted();
  result.pages = loading.pagesSent();
  result.canceled = end != FlowResult::Ok && loading.cancelRequested();
  return end;
}

std::optional<ChosenImage> Choose(ImageOperationPorts& ports, const std::string& title, bool memoryMapTest) {
  if (ports.choose) return ports.choose(title, memoryMapTest);
  return ImageFileChooser(ports.prompter, ports.state)(title, memoryMapTest);
}

std::string LoadRecordPath(const ImageOperationPorts& ports) {
  return ports.loadRecordPath.empty() ? ports.state.appDir + kLoadRecordFileName : ports.loadRecordPath;
}

LocalTime Now(const ImageOperationPorts& ports) { return ports.localTime ? ports.localTime() : CurrentLocalTime(); }

std::string ProductLabel(const ImageOperationPorts& ports) {
  if (ports.productLabel) return ports.productLabel();
  // What the window's label shows: off-line the product in the information block, on-line
  // the product of the settings.
  if (ports.state.offlineMode == 0) return ports.state.productNumber;
  if (ports.state.programmerInfo[info::kNames] == 0xFF) return kNotSelect;
  const std::string name = InfoMcuName(ports.state.programmerInfo);
  return name.empty() ? std::string(kNotSelect) : name;
}

}  // namespace detail
}  // namespace fd
