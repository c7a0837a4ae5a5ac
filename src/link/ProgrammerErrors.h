#pragma once
// The texts a programmer's failures are told with, shared by the windows, the gang record
// and the command line.
#include <cstdint>
#include <string>

namespace fd {

inline constexpr const char* kMsgTimeOut = "Time out error!";
inline constexpr const char* kMsgUnknownError = "Unknown error!";
inline constexpr const char* kMsgCannotReset = "Can not reset the programmer!";
inline constexpr const char* kMsgNoProduct = "No product is selected.";
inline constexpr const char* kMsgCrcError = "CRC code check error!";

// Message of a programmer error code ("Unknown error!" for codes it does not know).
std::string ProgrammerErrorText(std::uint8_t code);

}  // namespace fd
