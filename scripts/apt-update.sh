#!/usr/bin/env bash
# Refreshes apt's package lists. A list that cannot be fetched (a mirror caught mid-sync: "File has
# unexpected size") leaves apt the one it had before, or none of that source; that is said, and the
# install or download that follows fails, naming the package, if it needs what is missing.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if ! $SUDO apt-get update -qq; then
  echo "apt-update: some package lists could not be refreshed (above); going on with the lists apt has" >&2
fi
