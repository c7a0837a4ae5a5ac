#pragma once
// The on-line setup: the product, power and ID code the settings file holds, with the
// product's type code and memory map from the device database. One reading serves the
// Single Operation window's display and every command; the target operations (Program,
// Erase, Read) go on only when the product's line could be read, so a default never goes
// to a target in place of the user's setup.
#include <string>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "app/SettingsFile.h"

namespace fd {

// The product is named but the database has no line for it.
std::string ProductNotInDatabaseText(const std::string& product);

struct OnlineSetupRead {
  enum class Line { Read, NotSelected, DatabaseUnreadable, NotInDatabase };
  Line line = Line::Read;
  // Why the line could not be read; empty for Read and NotSelected.
  std::string error;
  bool lineRead() const { return line == Line::Read; }
};

// "Product number", "Power set" and "ID code" of `settings` into `state` (the product as a
// 12-character key); the type code and memory map from the product's line when it is
// found (unchanged otherwise). Shows nothing.
OnlineSetupRead ReadOnlineSetup(AppState& state, const SettingsFile& settings);

// Before a target operation sends anything: the line of `state.productNumber` must be
// readable now. False, with the message shown, when the database cannot be read or does
// not hold the product; true when no product is selected (the connection says so itself).
bool OnlineProductLineReady(const AppState& state, Prompter& prompter);

}  // namespace fd
