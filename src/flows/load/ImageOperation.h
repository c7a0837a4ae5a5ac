#pragma once
// What the two operations that send an image share, the off-line Load File and the
// on-line Program of the Single Operation window: their ports, the file choice and the
// Loading window that sends the pages.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/AppState.h"
#include "app/HistoryLog.h"
#include "app/Prompter.h"
#include "flows/common/DialogHost.h"
#include "flows/common/WindowProtocol.h"
#include "flows/load/ImageSource.h"
#include "link/Clock.h"

namespace fd {

inline constexpr const char* kMsgFileLoaded = "Selected file is loaded to the programmer.";

// A chosen image: its path and title are in AppState (imagePath, imageTitle) as well.
struct ChosenImage {
  std::string path;
  std::string title;
  std::shared_ptr<const ImageSource> source;
};

// The file choice: the open-file dialog with `title`, repeated until a file passes its tests
// or the user cancels; `memoryMapTest` for the off-line load. Sets imagePath and imageTitle.
using ImageChooser = std::function<std::optional<ChosenImage>(const std::string& title, bool memoryMapTest)>;

// The file choice of the windows and the command line: ChooseImageFile, any image format.
ImageChooser ImageFileChooser(Prompter& prompter, AppState& state);

struct ImageOperationPorts {
  AppState& state;
  // The protocol on the current programmer; shows its own messages.
  WindowProtocol& windows;
  Prompter& prompter;
  // Opens the Loading window.
  DialogHost& dialogs;
  // The monotonic clock of the remaining-time estimate.
  Clock& clock;
  // The Single Operation window's history entries (its logStarted flag).
  SingleOperationLog& log;
  // The text of the window's product label when the record is written.
  std::function<std::string()> productLabel{};
  // Local time for the history log; the real clock when empty.
  std::function<LocalTime()> localTime{};
  // The file choice; empty: ImageFileChooser.
  ImageChooser choose{};
  // After every header write that succeeded (the window refreshes its labels).
  std::function<void()> headerWritten{};
  // The load-record file; empty: the one in appDir.
  std::string loadRecordPath{};
};

// How an operation ended, for callers that report it (the command line).
struct ImageOperationResult {
  enum class End {
    NoProduct,        // refused before the file choice
    NoMemoryMap,      // off-line: the product's memory map could not be read
    SetupUnreadable,  // on-line: the product's line could not be read; nothing was sent
    ChoiceCancelled,  // the file choice was cancelled
    ConnectFailed,    // on-line: the target could not be connected
    ReloadCancelled,  // Cancel at the reload question
    NameReloaded,     // No at the reload question: only the name was written
    HeaderFailed,     // 'B', 'D' or 'P' was not taken
    Done,             // the image is in the programmer (or on the target)
    TransferFailed,   // the Loading window did not end OK
  };
  End end = End::ChoiceCancelled;
  bool converted = false;   // the Loading window converted the file (not from the cache)
  std::uint32_t pages = 0;  // pages the Loading window sent
  bool canceled = false;    // the Loading window ended at the user's Cancel
  FileResult history;       // the history entry; not ok when it could not be written
  bool ok() const { return end == End::Done || end == End::NameReloaded; }
};

namespace detail {
// Runs the Loading window on the chosen image; fills `result.converted` and `.pages`.
FlowResult RunLoadingWindow(ImageOperationPorts& ports, const ChosenImage& image, ImageOperationResult& result);
std::optional<ChosenImage> Choose(ImageOperationPorts& ports, const std::string& title, bool memoryMapTest);
LocalTime Now(const ImageOperationPorts& ports);
// ports.loadRecordPath, or the load-record file in appDir.
std::string LoadRecordPath(const ImageOperationPorts& ports);
std::string ProductLabel(const ImageOperationPorts& ports);
}  // namespace detail

}  // namespace fd
