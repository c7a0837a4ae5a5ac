#include "link/ProgrammerErrors.h"

#include <array>

namespace fd {
namespace {

using E = ProgrammerError;

constexpr const char* kNoTargetMessage = "No target is connected!";
constexpr const char* kCancelStatus = "Break due to clicking cancel!";
constexpr const char* kCancelInformation = "Cancel";

// The result view knows no late no-target code and shows it as a cancelled run; the gang
// record knows no short cut and writes it as an unknown error. Both as they always were.
constexpr std::array kErrorTexts = {
    ProgrammerErrorTexts{CodeOf(E::None), true, kMsgUnknownError, "E.P.V is successfully completed.",
                         "Successful end", "Successfully completed."},
    ProgrammerErrorTexts{CodeOf(E::LinkCrc), true, "Verify error of communication between PC and the programmer!",
                         "Break due to communication!", "CRC code verify error",
                         "Verify error of communication between PC and the programmer!"},
    ProgrammerErrorTexts{CodeOf(E::TargetVerify), true, "Program the target with verify error!",
                         "Break during programming!", "Program verify error", "Program the target with verify error!"},
    ProgrammerErrorTexts{CodeOf(E::StoreErase), true, "Can not erase the on-board external flash!",
                         "Break during loading!", "Can not erase flash", "Can not erase the on-board external flash!"},
    ProgrammerErrorTexts{CodeOf(E::StoreWrite), true, "Can not write to the on-board external flash!",
                         "Break during loading!", "Can not write to flash",
                         "Can not write to the on-board external flash!"},
    ProgrammerErrorTexts{CodeOf(E::NoTarget), true, kNoTargetMessage, "Break during connecting!",
                         "No target detected", kNoTargetMessage},
    ProgrammerErrorTexts{CodeOf(E::NotPowered), true, "Target is not powered!", "Break during connecting!",
                         "Target is not powered", "Target is not powered!"},
    ProgrammerErrorTexts{CodeOf(E::PowerMismatch), true, "Detected power is not match to the setting value!",
                         "Break during connecting!", "Power not match",
                         "Detected power is not match to the setting value!"},
    ProgrammerErrorTexts{CodeOf(E::BaudRate), true, "Can not set the new baud rate to the target!",
                         "Break during connecting!", "Can not set new baud rate",
                         "Can not set the new baud rate to the target!"},
    ProgrammerErrorTexts{CodeOf(E::IdMismatch), true, "ID code is not match!", "Break during ID check!",
                         "ID not match", "ID code is not match!"},
    ProgrammerErrorTexts{CodeOf(E::TargetErase), true, "Can not erase the target!", "Break during erase target!",
                         "Can not erase target", "Can not erase the target!"},
    ProgrammerErrorTexts{CodeOf(E::Program), true, "Program to the target end with error!",
                         "Break during programming", "Program error", "Program to the target end with error!"},
    ProgrammerErrorTexts{CodeOf(E::NoTargetLate), true, kNoTargetMessage, kCancelStatus, kCancelInformation,
                         kNoTargetMessage},
    ProgrammerErrorTexts{CodeOf(E::PowerShortCut), true, "Target power is short cut!",
                         "Break due to the deadly error!", "Target power is short cut", kMsgUnknownError},
};

constexpr ProgrammerErrorTexts kUnknown{0xFF, false, kMsgUnknownError, kCancelStatus, kCancelInformation,
                                        kMsgUnknownError};

}  // namespace

const ProgrammerErrorTexts& ProgrammerErrorTextsOf(std::uint8_t code) {
  for (const ProgrammerErrorTexts& row : kErrorTexts) {
    if (row.code == code) return row;
  }
  return kUnknown;
}

std::string ProgrammerErrorText(std::uint8_t code) { return ProgrammerErrorTextsOf(code).message; }

std::pair<std::string, std::string> ProgrammerResultTexts(std::uint8_t code) {
  const ProgrammerErrorTexts& texts = ProgrammerErrorTextsOf(code);
  return {texts.status, texts.information};
}

std::string ProgrammerHistoryText(std::uint8_t code) { return ProgrammerErrorTextsOf(code).history; }

}  // namespace fd
