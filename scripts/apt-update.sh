#!/usr/bin/env bash
# Refreshes apt's package lists, trying again for a while when an archive answers with lists that do
# not match their index: a mirror in the middle of a sync does so for a few minutes. When some lists
# still fail, apt keeps those that came (or older ones) and the installation that follows says what
# it cannot find.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
attempts=6
for attempt in $(seq 1 $attempts); do
  if $SUDO apt-get update -qq; then exit 0; fi
  if [ "$attempt" -lt $attempts ]; then
    echo "apt-update: the package lists did not all download; trying again in 30 s ($attempt of $attempts)" >&2
    sleep 30
  fi
done
echo "apt-update: some package lists still do not download after $attempts attempts; going on with the rest" >&2
