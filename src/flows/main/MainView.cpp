#include "flows/main/MainView.h"

namespace fd {

std::vector<ColumnSpec> ColumnsOf(ColumnSet set) {
  std::vector<ColumnSpec> columns{{"SN", ColumnAlign::Right, 40}};
  switch (set) {
    case ColumnSet::Detection:
      columns.push_back({"Target MCU", ColumnAlign::Left, 111});
      columns.push_back({"File Name", ColumnAlign::Left, 192});
      columns.push_back({"Modify Time", ColumnAlign::Center, 130});
      columns.push_back({"File Size", ColumnAlign::Right, 78});
      break;
    case ColumnSet::Run:
      columns.push_back({"Status", ColumnAlign::Left, 232});
      columns.push_back({"Progress", ColumnAlign::Center, 230});
      columns.push_back({"", ColumnAlign::Left, 49});
      break;
    case ColumnSet::Result:
      columns.push_back({"Status", ColumnAlign::Left, 232});
      columns.push_back({"Operation result information", ColumnAlign::Left, 279});
      break;
  }
  return columns;
}

}  // namespace fd
