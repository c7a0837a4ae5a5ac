#pragma once
// The update mode, entered by the hidden gesture with detection stopped: the programmer
// must be the only device and must say it is ours; it is opened at the boot loader's rate,
// its jumpers are tested, and the Updating window runs. Every way out closes what it
// opened; the caller then clears the gesture and restarts detection.
#include "app/AppState.h"
#include "app/Prompter.h"
#include "flows/common/DialogHost.h"
#include "link/Bridge.h"
#include "link/Clock.h"
#include "link/Pacer.h"

namespace fd {

inline constexpr const char* kCaptionUpdate = "UPDATE";
inline constexpr const char* kMsgEnterUpdateMode = "Enter update mode...\nPlease insert the programmer and then click OK.";
inline constexpr const char* kMsgNoProgrammerConnected = "No programmer connected!";
inline constexpr const char* kMsgSeveralProgrammers = "More than 1 programmers are detected!";
inline constexpr const char* kMsgJumpers = "Error!\nOn-board jumpers may not connect!";
inline constexpr const char* kMsgUpdated = "The programmer is updated.\nDisconnected the USB cable.";
inline constexpr const char* kMsgUpdateCanceled = "The updating is canceled.\nDisconnected the USB cable.";
// The ways out before anything is sent: said, so that OK never ends in silence.
inline constexpr const char* kMsgUpdateNotProgrammer =
    "The attached device is not a programmer in update mode (its USB product strings differ or could not be read); "
    "nothing was changed.";
inline constexpr const char* kMsgUpdateCannotOpen = "The programmer could not be opened; nothing was changed.";
inline constexpr const char* kMsgUpdateLinkSettings =
    "The programmer's link refused the boot loader's rate of 25,000 baud or its framing; nothing was changed.";
// Status reads of the jumper test, in a row.
inline constexpr int kJumperTestReads = 100;

struct UpdateModePorts {
  AppState& state;
  Bridge& bridge;
  Pacer& pacer;
  Prompter& prompter;
  DialogHost& dialogs;
  Clock& clock;
};

enum class UpdateOutcome {
  Declined,       // the first message was not answered OK (the command line's confirmation)
  NoDevice,
  SeveralDevices,
  NotProgrammer,  // another device, or its strings could not be read
  CannotOpen,
  LinkSettings,   // the rate or the framing could not be set
  Jumpers,
  Canceled,       // the Updating window ended other than Ok
  Updated,
};

// Runs the update mode and tells how it ended; every message has been shown.
UpdateOutcome RunUpdateMode(const UpdateModePorts& ports);

}  // namespace fd
