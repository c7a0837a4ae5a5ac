#pragma once
// What the first-run Initiation window shows, as plain data.
namespace fd {

struct InitOptionsView {
  bool logChecked = false;
  bool idChecked = false;
  bool idEnabled = false;
};

}  // namespace fd
