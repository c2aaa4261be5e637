#!/usr/bin/env bash
# Fetches the sources of the C libraries the web page compiles with Emscripten (zlib for gzip
# input, libzip for .npz input and the .zip download, giflib for GIF animations) as Debian 12
# publishes them, checks them, and unpacks them with Debian's patches applied into a cache that
# every build of the page uses:
#
#   scripts/web-libraries.sh            fetch what the cache lacks (scripts/install-deps.sh web
#                                       runs it)
#   scripts/web-libraries.sh --folder   print the cache's folder
#
# The cache is $TESSAVIEW_CACHE/web-libraries (default ~/.cache/tessaview/web-libraries), one
# folder per library (zlib, libzip, giflib) holding a file VERSION once it is complete. The
# system's apt sources are not changed: apt reads a source list of its own in a scratch folder.
# apt checks every file against Debian's signed source index, dpkg-source checks the tarballs
# against the package's description (.dsc), and the upstream tarballs must also have the
# SHA-256 sums below (the code that was read and built here).
set -euo pipefail

cache="${TESSAVIEW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaview}/web-libraries"
if [ "${1:-}" = "--folder" ]; then
  echo "$cache"
  exit 0
fi

# Library folder, Debian source package, upstream tarball and its SHA-256.
libraries=(
  "zlib zlib zlib_1.2.13.dfsg.orig.tar.bz2 71feb7947e3c00ef125f83b79a4e529bde31171e5babe48b391f06758d1ab0a1"
  "libzip libzip libzip_1.7.3.orig.tar.xz a60473ffdb7b4260c08bfa19c2ccea0438edac11193c3afbbb1f17fbcf6c6132"
  "giflib giflib giflib_5.2.1.orig.tar.gz 31da5562f44c5f15d63340a09a4fd62b48c45620cd302f77a6d9acf0077879bd"
)

missing=()
for entry in "${libraries[@]}"; do
  read -r folder _ _ _ <<<"$entry"
  [ -f "$cache/$folder/VERSION" ] || missing+=("$entry")
done
[ ${#missing[@]} -eq 0 ] && exit 0

for tool in apt-get dpkg-source sha256sum; do
  if ! command -v "$tool" >/dev/null; then
    echo "$0: $tool is missing (Debian's apt and dpkg-dev)" >&2
    exit 1
  fi
done

mkdir -p "$cache"
work=$(mktemp -d "$cache/.fetch-XXXXXX")
trap 'rm -rf "$work"' EXIT
printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
  >"$work/debian-sources.sources"
mkdir -p "$work/lists/partial"
apt_options=(-o Dir::Etc::SourceParts=/dev/null -o "Dir::Etc::SourceList=$work/debian-sources.sources"
             -o "Dir::State::Lists=$work/lists")
# As root apt would hand the download to its own unprivileged user, who cannot write here.
[ "$(id -u)" -ne 0 ] || apt_options+=(-o APT::Sandbox::User=root)

echo "Fetching the sources of the page's C libraries from Debian into $cache"
if ! apt-get "${apt_options[@]}" update -qq >"$work/apt.log" 2>&1; then
  cat "$work/apt.log" >&2
  echo "$0: could not read Debian's source index (is the network reachable?)" >&2
  exit 1
fi
for entry in "${missing[@]}"; do
  read -r folder package tarball sum <<<"$entry"
  mkdir "$work/$folder"
  if ! (cd "$work/$folder" && apt-get "${apt_options[@]}" source --download-only -qq "$package") \
    >"$work/apt.log" 2>&1; then
    cat "$work/apt.log" >&2
    echo "$0: could not fetch Debian's source package $package" >&2
    exit 1
  fi
  if ! echo "$sum  $work/$folder/$tarball" | sha256sum --check --quiet --strict; then
    echo "$0: $tarball is not the tarball this script knows (SHA-256 $sum)" >&2
    exit 1
  fi
  dsc=$(echo "$work/$folder"/*.dsc)
  # dpkg-source checks each file's sums against the .dsc and applies Debian's patches. (Without
  # Debian's developer keys it cannot check the .dsc's own signature; apt checked the .dsc
  # against the signed index instead.)
  if ! dpkg-source -x "$dsc" "$work/$folder/source" >"$work/apt.log" 2>&1; then
    cat "$work/apt.log" >&2
    echo "$0: dpkg-source could not unpack $dsc" >&2
    exit 1
  fi
  basename "$dsc" .dsc >"$work/$folder/source/VERSION"
  rm -rf "${cache:?}/$folder"
  mv "$work/$folder/source" "$cache/$folder"
  echo "  $(cat "$cache/$folder/VERSION")"
done
