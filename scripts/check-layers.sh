#!/usr/bin/env bash
# The layers below the kits stay portable and point one way: no file under
# protocol/, version/, client/art/, client/kit/ or client/core/ includes a
# toolkit or an operating-system header (only the C++ standard library), nor a
# file of a layer above its own. The server's rules are one-way too:
# server/core is the service's logic on one thread, called by the sessions,
# the web site and the cluster node and reaching the other nodes only through
# the node messages' values (and writing the log, the layer below it), so
# it includes nothing of server/net,
# server/web, the Redis link or the store's engines (nor the libraries behind
# them). Prints each offending include; fails if there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# The C++ standard library's headers, C++20 (the C ones in their <cname> form).
STANDARD="algorithm any array atomic barrier bit bitset charconv chrono codecvt compare
complex concepts condition_variable coroutine deque exception execution expected filesystem
format forward_list fstream functional future initializer_list iomanip ios iosfwd iostream
istream iterator latch limits list locale map memory memory_resource mutex new numbers
numeric optional ostream queue random ranges ratio regex scoped_allocator semaphore set
shared_mutex source_location span sstream stack stdexcept stop_token streambuf string
string_view syncstream system_error thread tuple type_traits typeindex typeinfo
unordered_map unordered_set utility valarray variant vector version
cassert cctype cerrno cfenv cfloat cinttypes climits clocale cmath csetjmp csignal cstdarg
cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype"

# Which of our folders (or files) each layer may include from.
declare -A MAY_INCLUDE=(
  [protocol]="protocol"
  [version]="version"
  [client/art]="client/art"
  [client/kit]="client/kit protocol"
  [client/core]="client/core client/kit client/art protocol version"
  [server/core]="server/core server/log server/store/store.h server/cluster/messages protocol version"
)
# The server's layers may include system headers, but not the libraries of
# the layers that call them (the event loop, Redis, the database engines).
declare -A MAY_NOT_INCLUDE_SYSTEM=(
  [server/core]="asio asio.hpp hiredis sqlite3.h libpq-fe.h httplib.h"
)

failures=0
report() {
  echo "$1: $2" >&2
  failures=$((failures + 1))
}

for layer in protocol version client/art client/kit client/core server/core; do
  [[ -d $layer ]] || continue
  while IFS= read -r file; do
    while IFS= read -r line; do
      number=${line%%:*}
      include=$(sed -E 's/^[^#]*#[[:space:]]*include[[:space:]]*//' <<<"${line#*:}")
      case $include in
        \<*\>*)
          name=${include#<}
          name=${name%%>*}
          if [[ -v MAY_NOT_INCLUDE_SYSTEM[$layer] ]]; then
            for banned in ${MAY_NOT_INCLUDE_SYSTEM[$layer]}; do
              [[ $name == "$banned" || $name == "$banned"/* ]] &&
                report "$file:$number" "includes <$name>, a library of a layer above ($layer)"
            done
            continue
          fi
          [[ " ${STANDARD//$'\n'/ } " == *" $name "* ]] ||
            report "$file:$number" "includes <$name>, which is not the standard library"
          ;;
        \"*\"*)
          name=${include#\"}
          name=${name%%\"*}
          allowed=false
          for root in ${MAY_INCLUDE[$layer]}; do
            [[ $name == "$root"/* || $name == "$root" ]] && allowed=true
          done
          $allowed || report "$file:$number" "includes \"$name\", above or beside its layer ($layer)"
          ;;
        *)
          report "$file:$number" "includes $include, which is not checked"
          ;;
      esac
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file" || true)
  done < <(find "$layer" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) | sort)
done

if ((failures > 0)); then
  echo "check-layers: $failures include(s) break the layering" >&2
  exit 1
fi
echo "check-layers: every include of protocol, version, client/art, client/kit, client/core and server/core is in place"
