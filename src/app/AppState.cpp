#include "app/AppState.h"

namespace fd {

bool AppState::productNotSelected() const {
  const auto end = productNumber.find_last_not_of(' ');
  const std::string trimmed = end == std::string::npos ? std::string() : productNumber.substr(0, end + 1);
  return trimmed == kNotSelect;
}

}  // namespace fd
