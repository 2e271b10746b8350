#!/usr/bin/env bash
# Installs the Debian packages Korvel needs to build, test and benchmark, and only those that are missing,
# so a second run costs a few dpkg queries. Runs as root, or through sudo.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config      # build
  qt6-base-dev                          # Qt Core (trash) and, later, the desktop program
  libcli11-dev                          # command-line parsing
  libfmt-dev                            # formatting of report lines and messages
  nlohmann-json3-dev                    # the check's JSON report
  libxxhash-dev                         # the undo journal's hash that recognises files
  libgtest-dev libgmock-dev             # tests
  strace                                # fault-injection tests: kill points and a job held halfway
  gcovr                                 # line coverage of src/ by the tests (scripts/coverage.sh)
  libbenchmark-dev hyperfine time detox tidy linkchecker # benchmarks (detox, tidy, linkchecker: peers timed for reference)
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo (missing: ${missing[*]})" >&2; exit 1; }
  sudo=sudo
fi
echo "install-deps: installing ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
