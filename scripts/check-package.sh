#!/usr/bin/env bash
# Builds the Debian package in a build folder with cpack and checks it with lintian.
# Prints lintian's tags; exits 1 when the package cannot be made or lintian reports an error (E:).
#
#   scripts/check-package.sh [BUILD_DIR]     (default: build)
set -euo pipefail

build="${1:-build}"
if [[ ! -f "$build/CPackConfig.cmake" ]]; then
    echo "no configured build in '$build' (configure it first: cmake --preset dev, or release for build-release)" >&2
    exit 2
fi

rm -f "$build"/tessaview_*.deb
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if ! (cd "$build" && cpack -G DEB) >"$log" 2>&1; then
    cat "$log" >&2
    echo "cpack failed" >&2
    exit 1
fi
packages=("$build"/tessaview_*.deb)
if [[ ! -f "${packages[0]}" ]]; then
    echo "cpack made no package in $build" >&2
    exit 1
fi
echo "Package: ${packages[0]}"

# lintian warns when run as root; that line is no tag.
tags="$(lintian "${packages[0]}" 2>&1 | grep -v 'running with root privileges' || true)"
[[ -z "$tags" ]] || echo "$tags"
errors="$(grep -c '^E: ' <<<"$tags" || true)"
warnings="$(grep -c '^W: ' <<<"$tags" || true)"
echo "lintian: $errors error(s), $warnings warning(s)"
[[ "$errors" -eq 0 ]]
