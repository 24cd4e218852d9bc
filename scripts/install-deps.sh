#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing
# (all that the build and tests need when called without arguments). A
# package of another processor (name:i386) first adds that processor to
# the package manager's list.
#
# The package archive is sometimes caught mid-sync: an index of one
# processor arrives cut short and `apt-get update` fails, although every
# other index arrived. Updating is therefore retried a few times and then
# given up with a warning, going on with the indexes that did arrive. The
# packages are installed in one go; if that fails, one by one, so that one
# package that cannot be installed today does not take the others with
# it. Exits 0 when every package is installed, otherwise 1 after naming
# the ones that are not (callers decide whether they can do without).
set -uo pipefail

packages=("$@")
if [ ${#packages[@]} -eq 0 ]; then
  packages=(cmake make g++ clang-14 libclang-rt-14-dev libgtest-dev libgmock-dev
            libbenchmark-dev imagemagick python3 binutils pkg-config)
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# Another install running at the same time holds the package lock a while.
apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)

added_architecture=0
for p in "${missing[@]}"; do
  case "$p" in
    *:*)
      arch="${p##*:}"
      if [ "$arch" != "$(dpkg --print-architecture)" ] &&
         ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        echo "Adding the package architecture $arch"
        $sudo dpkg --add-architecture "$arch"
        added_architecture=1
      fi
      ;;
  esac
done

# One update per run of the test command is enough, unless a processor was
# added since (its indexes have not been fetched yet).
stamp="${QUENDRAL_APT_STAMP:-/tmp/quendral-apt-updated.$(id -u)}"
if [ "$added_architecture" -eq 1 ] || [ ! -f "$stamp" ] ||
   [ -n "$(find "$stamp" -mmin +60 2>/dev/null)" ]; then
  attempts=${QUENDRAL_APT_ATTEMPTS:-3}
  for attempt in $(seq 1 "$attempts"); do
    if "${apt[@]}" update -qq; then
      touch "$stamp"
      break
    fi
    if [ "$attempt" -lt "$attempts" ]; then
      echo "install-deps: package index update failed (attempt $attempt of $attempts); retrying in 20 s"
      sleep 20
    else
      echo "install-deps: warning: some package indexes could not be updated; going on with those that arrived"
      touch "$stamp"
    fi
  done
fi

declare -A why=()
echo "Installing: ${missing[*]}"
if ! "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  echo "install-deps: installing all at once failed; installing one by one"
  for p in "${missing[@]}"; do
    installed "$p" && continue
    # apt's reason: the package's own unmet dependency, else the first
    # one, else apt's first error.
    out=$("${apt[@]}" install -y --no-install-recommends "$p" 2>&1)
    why[$p]=$( { grep -m1 -F " $p : " <<<"$out" || grep -m1 'Depends:' <<<"$out" ||
                 grep -m1 '^E: ' <<<"$out"; } | sed 's/^ *//')
  done
fi

failed=()
for p in "${missing[@]}"; do
  installed "$p" && continue
  failed+=("$p")
  echo "install-deps: $p cannot be installed from the package archive: ${why[$p]:-see the messages above}" >&2
done
[ ${#failed[@]} -eq 0 ] || exit 1
exit 0
