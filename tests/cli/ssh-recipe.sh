#!/usr/bin/env bash
# ssh-recipe.sh BIN_DIR README DATA_DIR SSHD_DIR
# Runs the README's multi-machine recipe as written: a throw-away sshd on the loopback
# address stands for two machines, "alpha" and "beta" (a login each, with a home folder
# of its own and pelmora on its PATH), GNU parallel spreads the parts over them, and
# the merge must equal one local run byte for byte. Only the archive's path is this
# test's own. sshd and every file are removed at the end, also on failure.
# sshd is Debian's, unpacked into SSHD_DIR (kept there for the next run), never installed:
# no service is set up for it. Without it (no package lists, no network) the test is
# skipped (77).
set -euo pipefail
bin=$(realpath "$1") readme=$(realpath "$2") data=$(realpath "$3") sshd_dir=$4

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
skip() {
  echo "SKIP: $*"
  exit 77
}

for tool in ssh ssh-keygen parallel rsync; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup-debian.sh --test installs it)"
done

# openssh-server and the libraries it needs that this machine lacks, unpacked; and
# nss_wrapper, which gives sshd the user for its privilege separation that only the
# package's installation would add to /etc/passwd.
fetch_sshd() {
  local unpacked=$sshd_dir/root fetching=$sshd_dir/fetching
  [ -x "$unpacked/usr/sbin/sshd" ] && return
  command -v apt-get >/dev/null || skip "apt-get is missing, so no sshd can be fetched for the recipe over ssh"
  rm -rf "$fetching" && mkdir -p "$fetching/debs"
  local packages=(openssh-server libnss-wrapper)
  mapfile -t -O "${#packages[@]}" packages < <(apt-get -s install --no-install-recommends "${packages[@]}" 2>/dev/null |
    awk '$1 == "Inst" && $2 ~ /^lib/ { print $2 }')
  local sandbox=()
  [ "$(id -u)" -eq 0 ] && sandbox=(-o APT::Sandbox::User=root)
  (cd "$fetching/debs" && apt-get download -qq "${sandbox[@]}" "${packages[@]}") >"$sshd_dir/fetch.log" 2>&1 ||
    skip "apt-get download openssh-server failed, so the recipe was not run over ssh: $(grep -m1 '^E:' "$sshd_dir/fetch.log")"
  for deb in "$fetching"/debs/*.deb; do dpkg-deb -x "$deb" "$fetching/root"; done
  rm -rf "$unpacked" && mv "$fetching/root" "$unpacked" && rm -rf "$fetching"
}
mkdir -p "$sshd_dir"
sshd_dir=$(realpath "$sshd_dir")
fetch_sshd
sshd=$sshd_dir/root/usr/sbin/sshd
nss_wrapper=$(find "$sshd_dir/root" -name libnss_wrapper.so -print -quit)
sshd_libraries=$(find "$sshd_dir/root" -name 'lib*.so*' -printf '%h\n' | sort -u | paste -sd:)
unresolved=$(LD_LIBRARY_PATH=$sshd_libraries ldd "$sshd" | grep 'not found' || true)
[ -z "$unresolved" ] || skip "the unpacked sshd lacks libraries, so the recipe was not run over ssh: $unresolved"

work=$(mktemp -d "${TMPDIR:-/tmp}/ssh-recipe.XXXXXX")
sshd_pid= made_run_sshd=
cleanup() {
  if [ -n "$sshd_pid" ]; then
    kill "$sshd_pid" 2>/dev/null || true
    wait "$sshd_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  if [ -n "$made_run_sshd" ]; then rmdir /run/sshd 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# The recipe: the shell block after the README's marker.
recipe=$(awk '/<!-- multi-machine recipe/ { found = 1; next }
              found && /^```sh/ { inside = 1; next }
              inside && /^```/ { exit }
              inside { print }' "$readme")
[[ $recipe == *"--sshlogin"*"/srv/archive"* || $recipe == *"/srv/archive"*"--sshlogin"* ]] ||
  fail "no multi-machine recipe with --sshlogin and /srv/archive after the marker in $readme"

# The archive both machines see at the same path: addresses met again in later parts.
archive=$work/archive
for folder in a b c d; do
  mkdir -p "$archive/$folder"
  cp "$data"/{contacts-1,contacts-2,edge-cases,restricted}.pdf "$archive/$folder/"
done
cp "$data/long.pdf" "$archive/b/"

# Keys and configuration, all in the work folder. Each machine is a key whose login
# starts in a folder of its own, with this build's programs on its PATH.
ssh-keygen -q -t ed25519 -N '' -C pelmora-test-host -f "$work/host_key"
user=$(id -un)
# Sanitizer settings (CI's sanitizer pass) reach the logins as they reach local runs.
settings=
for variable in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
  if [ -n "${!variable:-}" ]; then settings+="export $variable='${!variable}' && "; fi
done
for machine in alpha beta; do
  ssh-keygen -q -t ed25519 -N '' -C "pelmora-test-$machine" -f "$work/$machine.key"
  mkdir "$work/$machine" "$work/$machine.tmp"
  login="${settings}cd '$work/$machine' && export HOME='$work/$machine' TMPDIR='$work/$machine.tmp' PATH='$bin':\"\$PATH\" && exec \"\$SHELL\" -c \"\$SSH_ORIGINAL_COMMAND\""
  echo "restrict,command=\"${login//\"/\\\"}\" $(cat "$work/$machine.key.pub")" >>"$work/authorized_keys"
done
echo "pelmora-test $(cut -d' ' -f1,2 "$work/host_key.pub")" >"$work/known_hosts"

# Run as root, sshd confines its unprivileged half to /run/sshd under the user "sshd":
# the folder is made for this run, the user comes from nss_wrapper's passwd file.
if [ "$(id -u)" -eq 0 ] && [ ! -d /run/sshd ]; then
  mkdir -p /run/sshd && chmod 755 /run/sshd && made_run_sshd=yes
fi
getent passwd "$user" >"$work/passwd"
echo "sshd:x:65534:65534::/run/sshd:/usr/sbin/nologin" >>"$work/passwd"
getent group "$(id -g)" >"$work/group"
echo "sshd:x:65534:" >>"$work/group"

# A free port: sshd says which one it listens on, or that the port was taken.
listening=
for _ in 1 2 3 4 5 6 7 8 9 10; do
  port=$((20000 + RANDOM % 40000))
  cat >"$work/sshd_config" <<CONFIG
ListenAddress 127.0.0.1:$port
HostKey $work/host_key
PidFile $work/sshd.pid
AuthorizedKeysFile $work/authorized_keys
AllowUsers $user
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
UsePAM no
StrictModes no
LogLevel VERBOSE
CONFIG
  : >"$work/sshd.log"
  LD_LIBRARY_PATH=$sshd_libraries LD_PRELOAD=$nss_wrapper NSS_WRAPPER_PASSWD=$work/passwd NSS_WRAPPER_GROUP=$work/group \
    "$sshd" -D -f "$work/sshd_config" -E "$work/sshd.log" &
  sshd_pid=$!
  while kill -0 "$sshd_pid" 2>/dev/null && ! grep -q "Server listening" "$work/sshd.log"; do
    sleep 0.05
  done
  if grep -q "Server listening" "$work/sshd.log"; then
    listening=yes
    break
  fi
  wait "$sshd_pid" 2>/dev/null || true
  sshd_pid=
  grep -q "Address already in use" "$work/sshd.log" || break
done
[ -n "$listening" ] || fail "sshd did not start: $(cat "$work/sshd.log")"

cat >"$work/ssh_config" <<CONFIG
Host alpha beta
  HostName 127.0.0.1
  Port $port
  User $user
  HostKeyAlias pelmora-test
  UserKnownHostsFile $work/known_hosts
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking yes
  IdentitiesOnly yes
  BatchMode yes
  LogLevel ERROR
Host alpha
  IdentityFile $work/alpha.key
Host beta
  IdentityFile $work/beta.key
CONFIG
export PARALLEL_SSH="ssh -F $work/ssh_config"
$PARALLEL_SSH alpha true || fail "cannot log in over ssh to this machine: $(cat "$work/sshd.log")"

# The recipe as written, in a folder of its own, with this test's archive.
mkdir "$work/here"
cd "$work/here"
mkdir "$work/tmp"
export PATH="$bin:$PATH" HOME="$work/here" TMPDIR="$work/tmp"
bash -euo pipefail -c "${recipe//\/srv\/archive/$archive}" || fail "the recipe failed"

# One local run over the whole list, in the recipe's format and in CSV.
pelmora-extract -q --files-from all.list >one-run.txt
cmp addresses.txt one-run.txt || fail "the merged addresses differ from one run's: $(diff addresses.txt one-run.txt)"
pelmora-extract -q --format csv --files-from all.list >one-run.csv
pelmora-extract --merge --format csv part.0?.jsonl >merged.csv
cmp merged.csv one-run.csv || fail "the merged CSV differs from one run's: $(diff merged.csv one-run.csv)"
[ "$(wc -l <one-run.txt)" -gt 150 ] || fail "the run found too few addresses to prove anything"

# Both machines ran parts, and the recipe left nothing on them but their results caches.
for machine in alpha beta; do
  fingerprint=$(ssh-keygen -l -f "$work/$machine.key.pub" | cut -d' ' -f2)
  [ "$(grep -c "Accepted publickey.*$fingerprint" "$work/sshd.log")" -gt 0 ] || fail "no part ran on $machine"
  left=$(cd "$work/$machine" && find . -mindepth 1 -not -path ./.cache -not -path './.cache/pelmora*')
  [ -z "$left" ] || fail "the recipe left files on $machine: $left"
done
parts=(part.0?.jsonl)
echo "PASS: ${#parts[@]} parts over ssh on alpha and beta merge to one run's $(wc -l <one-run.txt) addresses"
