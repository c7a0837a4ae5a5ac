#pragma once
// What the Single Operation window shows, as plain data.
#include <string>
#include <vector>

#include "formats/DeviceDatabase.h"

namespace fd {

struct SingleOperationView {
  bool offline = false;
  std::string productLabel = "Not select yet";
  std::string powerLabel = "Do not output";
  // Off-line: Load File; on-line: Erase, Program and Read.
  bool loadFileVisible = false;
  bool eraseVisible = false;
  bool programVisible = false;
  bool readVisible = false;
  // The series and their groups, in file order, all collapsed at first.
  ProductTree tree;
  int selectedSeries = -1;
  int selectedGroup = -1;  // -1 with a series selected: the series node itself
  // The products of the selected group: name (12 characters) and memory text.
  std::vector<ProductRow> products;
  bool listEnabled = false;
  int selectedProduct = -1;
};

}  // namespace fd
