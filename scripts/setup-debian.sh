#!/usr/bin/env bash
# scripts/setup-debian.sh [--test | --dev] [--list]
# Installs from Debian 12 what Pelmora needs, in three profiles, each on top of the one before:
#   (default)  build and run the window and pelmora-extract: the README's first command
#   --test     the whole test suite too: the README's test command, the first line of .ci/run
#   --dev      benchmarks, the Debian package build, the sanitizer build, the fuzzers, the
#              formatting check, screenshots without a desktop: the rest of .ci/run
# No profile installs a network service: the ssh recipe's test fetches its own sshd.
# --list prints the profile's packages, one a line, and installs nothing.
# Works as root or as a user with sudo; ends by printing how to remove what it installed.
set -euo pipefail

# Building and running. The package's runtime Depends must stay within this list
# (tests/packaging/check-run-profile.sh).
run=(
  cmake ninja-build g++ pkg-config # build
  ccache                           # build: rebuilds after a change take seconds
  scdoc                            # build: the manual pages
  qt6-base-dev qt6-base-dev-tools libgl-dev # build: the window and the command (Qt)
  libqt6sql6-sqlite                # run: the results cache (Qt's SQLite driver)
  libxxhash-dev                    # build: the results cache's file digests
  libpoppler-private-dev           # build: pelmora-convert (poppler's text code)
  libtesseract-dev libleptonica-dev # build: text recognition of scanned pages
  tesseract-ocr-eng                # run: text recognition, English (the default language)
  libpsl-dev                       # build: known domains
  publicsuffix                     # run: known domains (the Public Suffix List)
  # build: pelmora-convert-mupdf links Debian's static MuPDF and what it needs
  libmupdf-dev libjbig2dec0-dev libopenjp2-7-dev libharfbuzz-dev libmujs-dev libgumbo-dev
  libjpeg-dev zlib1g-dev
)

# The test suite, on top of run.
test=(
  tesseract-ocr-script-latn        # tests of recognition: the second reading of addresses
  poppler-utils                    # tests/worker: pdftotext, whose text the converter's must equal
  bash-completion                  # tests/packaging/check-completion.sh; the package build
  appstream desktop-file-utils     # tests/packaging/check-desktop-files.sh
  parallel                         # tests/cli (--files-from with GNU parallel), the ssh recipe
  openssh-client rsync             # the ssh recipe's test (the client only: no sshd)
)

# Benchmarks, packaging, sanitizers, fuzzers, formatting, on top of test.
dev=(
  build-essential debhelper dpkg-dev lintian # scripts/check-package.sh
  clang libclang-rt-14-dev         # scripts/fuzz.sh (libFuzzer)
  clang-format-14                  # .ci/run's formatting check
  clang-tidy-14                    # run-clang-tidy-14 (.clang-tidy)
  mupdf-tools pdfgrep              # scripts/bench.sh, scripts/compare-engines.py
  texlive-latex-base-doc r-doc-pdf # real manuals: the engine benchmark, scripts/compare-engines.py
  python3                          # scripts/*.py: benchmarks, engine comparison, OCR corpora
  ghostscript imagemagick fonts-liberation fonts-dejavu-core fonts-urw-base35 # scripts/ocr-bench.sh, make-*.sh
  xvfb xauth xdotool               # README: the real window without a desktop
)

usage() {
  echo "usage: $0 [--test | --dev] [--list]" >&2
  exit 2
}
profile=run list=
for argument in "$@"; do
  case $argument in
  --test | --dev) profile=${argument#--} ;;
  --list) list=yes ;;
  *) usage ;;
  esac
done
packages=("${run[@]}")
case $profile in
test) packages+=("${test[@]}") ;;
dev) packages+=("${test[@]}" "${dev[@]}") ;;
esac
if [ -n "$list" ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

# What is installed already is left alone, and a profile that is complete installs nothing.
installed=" $(dpkg-query -W -f='${db:Status-Status}:${Package} ' "${packages[@]}" 2>/dev/null || true) "
missing=()
for package in "${packages[@]}"; do
  [[ $installed == *" installed:$package "* ]] || missing+=("$package")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
# A second profile run right after the first needs no second download of the lists.
if [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages*' -mmin -60 2>/dev/null | head -n 1)" ]; then
  "${as_root[@]}" apt-get update -qq
fi
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "Installed ${missing[*]} and what they need."
echo "To remove them again: ${as_root[*]}${as_root:+ }apt-get remove --autoremove ${missing[*]}"
