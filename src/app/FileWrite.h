#pragma once
// Writing a whole buffer to a file descriptor, through short writes and interruptions.
#include <string_view>

namespace fd {

bool WriteAll(int descriptor, std::string_view data);

}  // namespace fd
