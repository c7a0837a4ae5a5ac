#pragma once
// SHA-256 of a byte string: what the load-record cache knows a file's content by, so a
// cached page list is only ever sent for the very bytes it was converted from.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace fd {

using Sha256Digest = std::array<std::uint8_t, 32>;

// With the processor's SHA instructions where it has them (x86-64), else portably: the
// digest is the same either way.
Sha256Digest Sha256(std::string_view bytes);
// The portable computation alone, for machines without the instructions (and the tests
// that hold both to the same answers).
Sha256Digest Sha256Portable(std::string_view bytes);
// True when Sha256() uses the processor's SHA instructions on this machine.
bool Sha256UsesShaInstructions();
// The digest as 64 lower-case hex digits, as sha256sum prints it.
std::string Sha256Text(const Sha256Digest& digest);

}  // namespace fd
