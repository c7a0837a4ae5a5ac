#pragma once
#include <string>
#include <vector>

#include "app/DocumentOpener.h"

namespace fd::test {

class RecordingOpener final : public DocumentOpener {
public:
  bool openDocument(const std::string& path) override {
    opened.push_back(path);
    return succeed;
  }
  bool succeed = true;
  std::vector<std::string> opened;
};

}  // namespace fd::test
