#!/usr/bin/env bash
# The house rules a grep can check, run as a test so they hold without anyone remembering.
#   house_rules.sh SOURCE_DIR
set -u
cd "${1:?usage: house_rules.sh SOURCE_DIR}" || exit 2
failed=0
fail() { echo "FAILED: $1"; echo "$2" | sed 's/^/  /'; failed=1; }

# The link includes nothing above it; the core includes no Qt, simulator, windows or
# command line.
hits=$(grep -rnE '#include "(app|flows|gui|cli|sim|host)/|#include <Q' src/link src/formats)
[ -n "$hits" ] && fail "src/link and src/formats include a higher layer or Qt" "$hits"
hits=$(grep -rnE '#include "(gui|cli|sim|host)/|#include <Q' src/app src/flows)
[ -n "$hits" ] && fail "src/app and src/flows include Qt, the simulator, host, gui or cli" "$hits"
hits=$(grep -rnE '#include "(flows|gui|cli|host)/|#include <Q' src/sim)
[ -n "$hits" ] && fail "the simulated bench includes flows, host, gui, cli or Qt" "$hits"

# One home for each fact: hex digits are read and written by formats/Hex.h only, and a
# programmer's error codes are named by link/ProgrammerErrors only.
hits=$(grep -rnE '0123456789[aA][bB][cC][dD][eE][fF]|isxdigit' src | grep -v '^src/formats/Hex.h:')
[ -n "$hits" ] && fail "a hex digit table outside formats/Hex.h" "$hits"
hits=$(grep -rnE 'case 0x(12|13|22|23|32|33|34|35|40|60|70|80):' src | grep -v '^src/link/ProgrammerErrors')
[ -n "$hits" ] && fail "a programmer error code named outside link/ProgrammerErrors" "$hits"
hits=$(grep -rnE "[tT]ypeCode(\(\))? *[!=]= *'[0-9]'|case '[1-3]': return [0-9]{4,}" src | grep -v '^src/link/TypeCodes.h:')
[ -n "$hits" ] && fail "a product type code compared outside link/TypeCodes.h" "$hits"

# The wire has one home: windows and commands call the link's named operations (Protocol,
# BootLoaderLink) and never a Bridge operation, nor reach for the bridge behind them.
hits=$(grep -rnE '\.Bridge[A-Z][A-Za-z]*\(|->Bridge[A-Z][A-Za-z]*\(|bridge\(\)\.' src/flows src/cli)
[ -n "$hits" ] && fail "a Bridge call above the link (use an operation of link/Protocol.h)" "$hits"
hits=$(grep -rnE '\.bridge\(\)' src/flows)
[ -n "$hits" ] && fail "a flow reaches for the bridge (hold a Protocol and call its operations)" "$hits"

# Every modal flow has a dialog registered for it, so the desktop can open it. Flows the
# main window shows in its own list are named here.
hosted_in_list=" GangRunFlow "
for flow in $(grep -rhoE 'class [A-Za-z]+ final : public (ModalFlow|LongOperation)' src/flows | awk '{print $2}'); do
  case "$hosted_in_list" in *" $flow "*) continue ;; esac
  grep -rqE "registerDialog<$flow," src/gui || fail "no dialog is registered for $flow" "add one line to RegisterDialogs()"
done

[ $failed -eq 0 ] && echo "house rules hold"
exit $failed
