#pragma once
// What the Power Setting window shows, as plain data.
namespace fd {

enum class PowerChoice { Output3V, Output5V, NoOutput };

struct PowerSetView {
  PowerChoice choice = PowerChoice::NoOutput;  // the one radio button that is set
};

}  // namespace fd
