#pragma once
// SHA-256 of a byte string: what the load-record cache knows a file's content by, so a
// cached page list is only ever sent for the very bytes it was converted from.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace fd {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest Sha256(std::string_view bytes);
// The digest as 64 lower-case hex digits, as sha256sum prints it.
std::string Sha256Text(const Sha256Digest& digest);

}  // namespace fd
