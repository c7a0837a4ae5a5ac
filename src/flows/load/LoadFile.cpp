#include "flows/load/LoadFile.h"

#include <algorithm>
#include <cstring>

#include "flows/common/RunRecorder.h"
#include "flows/load/ChooseImageFile.h"
#include "formats/DeviceDatabase.h"
#include "formats/LoadRecord.h"

namespace fd {
namespace {

// The stamp of the file the programmer holds: the time text up to a zero byte, cut to 12,
// and the size.
FileStamp HeldStamp(const ProgrammerInfo& block) {
  return DecodeDescriptor(block.data() + info::kDescriptor).stamp;
}

// The memory map the file is tested against is the one of the product the programmer is
// set up for (the on-line settings may name another product, or none at all). A map that
// can't be read refuses the load: without it any address would pass, and an image the
// product can't hold would only fail at the gang run, or half-programmed.
bool TakeStoredProductsMemoryMap(AppState& state, Prompter& prompter) {
  std::string error;
  const std::optional<MemoryMap> map = StoredProductMemoryMap(state, state.programmerInfo, error);
  if (!map) {
    prompter.error(error);
    return false;
  }
  state.dataFlashStart = map->dataFlashStart;
  state.dataFlashEnd = map->dataFlashEnd;
  state.userFlashStart = map->userFlashStart;
  state.userFlashEnd = map->userFlashEnd;
  return true;
}

}  // namespace

std::optional<MemoryMap> StoredProductMemoryMap(const AppState& state, const ProgrammerInfo& block,
                                                std::string& error) {
  const std::string product = ProductKey(InfoMcuName(block));
  const auto memory = ProductMemoryMap(DeviceDatabasePath(state), product, state.userFlashStart);
  if (!memory.ok()) {
    error = kMcuFileMissingText;
    return std::nullopt;
  }
  if (!memory.value) {
    error = ProductNotInMcuFileText(product);
    return std::nullopt;
  }
  return memory.value->map;
}

std::string ProductNotInMcuFileText(const std::string& product) {
  return "Can not find the product " + std::string(TrimTrailingSpaces(product)) + " in the MCU file!";
}

ImageOperationResult LoadFile(ImageOperationPorts& ports) {
  using End = ImageOperationResult::End;
  ImageOperationResult result;
  AppState& state = ports.state;
  const BridgeHandle handle = state.currentHandle;
  RunRecorder run(state, ports.windows.protocol(), ports.clock, "load");
  run.record().product = std::string(TrimTrailingSpaces(InfoMcuName(state.programmerInfo)));
  const auto finish = [&](End end) {
    result.end = end;
    ports.windows.ResetProgrammer(handle, 1);
    if (end == End::Done || end == End::NameReloaded) {
      run.finish(kRunOk);
    } else {
      run.finish(end == End::ReloadCancelled || result.canceled ? kRunCanceled : kRunFailed);
    }
    return result;
  };
  const auto writeHeader = [&](int dataFollows) {
    const int written = ports.windows.WriteProgrammerHeader(handle, dataFollows);
    if (written && ports.headerWritten) ports.headerWritten();
    return written;
  };

  if (state.programmerInfo[info::kNames] == 0xFF) {
    ports.prompter.warning(kMsgNoProduct);
    return finish(End::NoProduct);
  }
  if (!TakeStoredProductsMemoryMap(state, ports.prompter)) return finish(End::NoMemoryMap);
  const std::optional<ChosenImage> image = detail::Choose(ports, kSelectLoadFileTitle, true);
  if (!image) {
    // Nothing was sent: the programmer is left as it is, and no operation took place.
    result.end = End::ChoiceCancelled;
    return result;
  }

  // The stamp, not the name, tells the file the programmer holds; but when the load record
  // shows that the file converted under this stamp had other bytes, this is another file of
  // the same size written in the same second: it is loaded as new, so no answer can leave
  // the other file's bytes in the programmer.
  const std::optional<ImageKey> key = image->source->key();
  run.image(image->source->fileName(), key);
  MsgAnswer reload = MsgAnswer::Yes;
  if (key && key->stamp == HeldStamp(state.programmerInfo) &&
      !LoadRecordFileHoldsOtherImage(detail::LoadRecordPath(ports), *key)) {
    reload = ports.prompter.ask(QuestionId::ReloadSameFile, kCaptionInfo, MsgIcon::Question, kMsgReloadQuestion, MsgButtons::YesNoCancel);
  }
  if (reload == MsgAnswer::Cancel) return finish(End::ReloadCancelled);

  std::string padded = state.imageTitle + std::string(info::kFileNameSize, ' ');
  std::copy_n(padded.begin(), info::kFileNameSize, state.programmerInfo.begin() + info::kFileName);

  if (reload == MsgAnswer::No) {
    // The programmer keeps its data and its image descriptor; only the name changes.
    if (!writeHeader(0)) return finish(End::HeaderFailed);
    ports.prompter.info(kMsgNameReloaded);
    return finish(End::NameReloaded);
  }

  if (!writeHeader(1)) return finish(End::HeaderFailed);
  if (detail::RunLoadingWindow(ports, *image, result) != FlowResult::Ok) {
    ports.prompter.warning(kMsgStoreDamaged);
    // Announced again, so the programmer knows its store holds no whole image.
    writeHeader(1);
    return finish(End::TransferFailed);
  }
  ports.prompter.info(kMsgFileLoaded);
  result.history = ports.log.recordSuccess(detail::Now(ports), kTitleOfflineLoad, state.currentSn,
                                           detail::ProductLabel(ports), state.imageTitle, kLoadSuccessText,
                                           state.imageIdText);
  return finish(End::Done);
}

}  // namespace fd
