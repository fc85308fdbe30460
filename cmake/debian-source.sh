#!/usr/bin/env bash
# Fetches Debian's source package NAME (optionally NAME=VERSION) and unpacks it, Debian's
# patches applied, into DEST. apt runs with a configuration, package lists and state of its
# own under CACHE: the system's apt settings are read for the mirror only and never changed.
# Downloads stay in CACHE, so another build folder unpacks the same files without the network.
# Usage: cmake/debian-source.sh NAME[=VERSION] DEST CACHE
# The mirror and release are the system's own Debian ones (TAPDECK_DEBIAN_MIRROR and
# TAPDECK_DEBIAN_SUITE override them).
set -euo pipefail

package_version=$1 dest=$2 cache=$3
name=${package_version%%=*}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

# One fetch at a time per cache, whichever build folder asks.
exec 9>"$cache/.lock"
flock 9

suite=${TAPDECK_DEBIAN_SUITE:-}
if [ -z "$suite" ]; then
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
fi
[ -n "$suite" ] || { echo "debian-source: cannot tell the Debian release (set TAPDECK_DEBIAN_SUITE)" >&2; exit 1; }

# The URL of the system's Debian mirror for this release: the first binary source whose suite is
# exactly the release, in the one-line and in the deb822 formats.
system_mirror() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '
      $1 == "deb" {
        i = 2
        if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
        if ($(i + 1) == suite) { print $i; exit }
      }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && enabled != "no" && (" " suites " ") ~ (" " suite " ")) { split(uris, u, " "); print u[1] }
        types = ""; uris = ""; suites = ""; enabled = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      tolower($1) == "types:" { $1 = ""; types = $0 }
      tolower($1) == "uris:" { $1 = ""; uris = $0 }
      tolower($1) == "suites:" { $1 = ""; suites = $0 }
      tolower($1) == "enabled:" { enabled = tolower($2) }
      END { flush() }' "$f"
  done
}
mirror=${TAPDECK_DEBIAN_MIRROR:-$(system_mirror | head -n 1)}
mirror=${mirror:-http://deb.debian.org/debian}

# apt reads APT_CONFIG first; pointing its parts, main file, lists and state here keeps
# every setting of the system out (and its update hooks from running).
apt=$cache/apt
mkdir -p "$apt/parts" "$apt/sources.list.d" "$apt/preferences.d" "$apt/state/lists/partial" \
         "$apt/cache/archives/partial" "$cache/files"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
signed=""
[ -f "$keyring" ] && signed="[signed-by=$keyring] "
echo "deb-src ${signed}${mirror} ${suite} main" >"$apt/sources.list.new"
if ! cmp -s "$apt/sources.list.new" "$apt/sources.list"; then
  mv "$apt/sources.list.new" "$apt/sources.list"
  rm -rf "$apt/state/lists" && mkdir -p "$apt/state/lists/partial"
else
  rm -f "$apt/sources.list.new"
fi
cat >"$apt/apt.conf" <<EOF
Dir::Etc::Parts "$apt/parts";
Dir::Etc::Main "$apt/main.conf";
Dir::Etc::SourceList "$apt/sources.list";
Dir::Etc::SourceParts "$apt/sources.list.d";
Dir::Etc::Preferences "$apt/preferences";
Dir::Etc::PreferencesParts "$apt/preferences.d";
Dir::State "$apt/state";
Dir::State::status "$apt/state/status";
Dir::Cache "$apt/cache";
APT::Sandbox::User "root";
Acquire::Languages "none";
Acquire::GzipIndexes "true";
EOF
touch "$apt/main.conf" "$apt/state/status"
export APT_CONFIG=$apt/apt.conf

update() { apt-get -q update >"$apt/update.log" 2>&1 || { cat "$apt/update.log" >&2; return 1; }; }
# The .dsc that apt would fetch for the package, from the lists.
dsc_name() {
  apt-get -q source --print-uris "$package_version" 2>/dev/null | awk '{ gsub(/\047/, "", $1) } $2 ~ /\.dsc$/ { print $2; exit }'
}

[ -n "$(find "$apt/state/lists" -maxdepth 1 -name '*Sources*' -print -quit)" ] || update
dsc=$(dsc_name || true)
if [ -z "$dsc" ]; then
  # Lists from an earlier run may name a version the mirror has dropped since.
  update
  dsc=$(dsc_name || true)
fi
[ -n "$dsc" ] || { echo "debian-source: no source package $package_version in $mirror $suite" >&2; exit 1; }

if [ -f "$dest/.debian-source" ] && [ "$(cat "$dest/.debian-source")" = "$dsc" ]; then
  exit 0
fi
rm -rf "$dest" "$dest.unpacking"
mkdir -p "$(dirname "$dest")"
if (cd "$cache/files" && apt-get -q source --download-only "$package_version" >"$apt/source.log" 2>&1); then
  dpkg-source --no-copy -x "$cache/files/$dsc" "$dest.unpacking" >"$apt/unpack.log" 2>&1 ||
    { cat "$apt/unpack.log" >&2; exit 1; }
else
  # A mirror may lack the Debian part of a package (the packaging and its patches) while it
  # has the upstream sources: the library is then built from those as released.
  orig=$(cd "$cache/files" && ls "${dsc%%_*}"_*.orig.tar.* 2>/dev/null | head -n 1 || true)
  [ -n "$orig" ] && [ -f "$cache/files/$dsc" ] || { cat "$apt/source.log" >&2; exit 1; }
  echo "debian-source: the Debian part of $dsc is missing on $mirror; unpacking $orig without Debian's patches" >&2
  mkdir -p "$dest.unpacking"
  tar -xf "$cache/files/$orig" -C "$dest.unpacking" --strip-components=1
fi
echo "$dsc" >"$dest.unpacking/.debian-source"
mv "$dest.unpacking" "$dest"
echo "debian-source: $dsc unpacked into $dest"
