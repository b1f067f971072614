#!/usr/bin/env bash
# Runs the README's two commands on fresh machines: each in its own clean Debian root made with
# debootstrap (the release and architecture of this machine, from the archive its apt sources name),
# with a copy of the working tree (build/ and demo/ left out) and nothing installed by hand. Prints
# each command's result and time, keeps their logs (and each test configuration's full log) in
# build/fresh-machine/, removes the roots, and fails when either command fails. Needs root; takes
# about half an hour. Not part of the test command: run it before submitting a change to the set-up,
# build or test scripts.
# usage: fresh-machine.sh [COMMAND...]   (default: "bash scripts/demo.sh" "bash scripts/test.sh")
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$PWD
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-machine: needs root (debootstrap, chroot, mounts)" >&2
  exit 1
fi
commands=("$@")
[ "${#commands[@]}" -gt 0 ] || commands=("bash scripts/demo.sh" "bash scripts/test.sh")

. /etc/os-release
codename=${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}
architecture=$(dpkg --print-architecture)

# The archive of this machine's own entries for its release: a deb822 stanza whose Suites name the
# release, else a one-line entry ("deb [options] URI SUITE ...").
archive_address() {
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk -v suite="$codename" '
      function flush() { if (uri != "" && types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ")) { print uri; exit } uri = types = suites = "" }
      /^[[:space:]]*$/ { flush(); next }
      /^URIs:/ { uri = $2 }
      /^Types:/ { sub(/^Types:[[:space:]]*/, ""); types = $0 }
      /^Suites:/ { sub(/^Suites:[[:space:]]*/, ""); suites = $0 }
      END { flush() }
    ' "$file"
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    awk -v suite="$codename" '
      $1 == "deb" { line = $0; gsub(/\[[^]]*\]/, "", line); split(line, field); if (field[3] == suite) { print field[2]; exit } }
    ' "$file"
  done
}
archive=$(archive_address | head -n 1)
if [ -z "$archive" ]; then
  echo "fresh-machine: no Debian $codename entry in this machine's apt sources to take the archive from" >&2
  exit 1
fi

command -v debootstrap >/dev/null || {
  bash scripts/apt-update.sh
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
}

logs=$tree/build/fresh-machine
mkdir -p "$logs"
work=$(mktemp -d /var/tmp/vantreo-fresh-machine.XXXXXX)
root=""
unmount_root() {
  [ -n "$root" ] || return 0
  local mount_point
  # Deepest first; lazily, so a process still holding one cannot keep the root alive.
  for mount_point in $(awk -v root="$root" '$2 == root || index($2, root "/") == 1 { print $2 }' /proc/mounts | sort -r); do
    umount -l "$mount_point" || true
  done
}
# Ends whatever still runs inside the root (an interrupted command's processes).
stop_root_processes() {
  [ -n "$root" ] || return 0
  local process
  for process in /proc/[0-9]*; do
    [ "$(readlink "$process/root" 2>/dev/null)" = "$root" ] && kill -KILL "${process#/proc/}" 2>/dev/null
  done
  return 0
}
cleanup() {
  stop_root_processes
  unmount_root
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# A folder made by mktemp is private (0700): as a root it would keep the tests' unprivileged child
# processes out of everything.
chmod 755 "$work"
echo "fresh-machine: Debian $codename $architecture from $archive"
start=$SECONDS
debootstrap --variant=minbase --arch="$architecture" "$codename" "$work/base" "$archive" >"$logs/debootstrap.log" 2>&1 \
  || { tail -n 20 "$logs/debootstrap.log" >&2; echo "fresh-machine: debootstrap failed" >&2; exit 1; }
echo "fresh-machine: clean root made in $((SECONDS - start)) s"

# The working tree as git sees it, with uncommitted and new files, without what is ignored, taken
# once: every command gets the same tree, whatever changes here meanwhile.
while IFS= read -r -d '' file; do
  if [ -e "$file" ]; then printf '%s\0' "$file"; fi
done < <(git ls-files -z --cached --others --exclude-standard) >"$work/files"
tar -C "$tree" --null -T "$work/files" -cf "$work/tree.tar"

failed=0
for i in "${!commands[@]}"; do
  command=${commands[$i]}
  root=$work/root-$i
  cp -a "$work/base" "$root"
  mkdir -p "$root/root/vantreo"
  tar -C "$root/root/vantreo" -xf "$work/tree.tar"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mount -t proc proc "$root/proc"
  mount -t sysfs sys "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs shm "$root/dev/shm"

  log=$logs/$(printf '%s' "$command" | tr -c 'A-Za-z0-9' '-' | sed 's/--*/-/g; s/-$//').log
  echo "fresh-machine: running '$command' (log: $log)"
  start=$SECONDS
  status=0
  # In the background, so that an interrupt reaches the traps at once rather than after the command.
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd /root/vantreo && $command" </dev/null >"$log" 2>&1 &
  wait $! || status=$?
  elapsed=$((SECONDS - start))
  if [ "$status" -eq 0 ]; then
    result="passed"
  else
    result="FAILED (status $status)"
    failed=1
    tail -n 40 "$log" | sed 's/^/  | /'
  fi
  echo "fresh-machine: '$command' $result in $((elapsed / 60)) min $((elapsed % 60)) s"
  grep -h '^== .*: .*skipped' "$log" | sed 's/^/  /' || true
  # Each configuration's full test log, for a look after the root is gone.
  for test_log in "$root"/root/vantreo/build/*/Testing/Temporary/LastTest.log; do
    [ -f "$test_log" ] || continue
    configuration=${test_log#"$root/root/vantreo/build/"}
    cp "$test_log" "${log%.log}-${configuration%%/*}-tests.log"
  done
  unmount_root
  rm -rf --one-file-system "$root"
  root=""
done
exit "$failed"
