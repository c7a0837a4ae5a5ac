#pragma once
// Opening a document in the desktop's default viewer (the log, the manual).
#include <string>

namespace fd {

class DocumentOpener {
public:
  virtual ~DocumentOpener() = default;
  // True when a viewer was started for the file.
  virtual bool openDocument(const std::string& path) = 0;
};

}  // namespace fd
