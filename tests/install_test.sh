#!/usr/bin/env bash
# Installation: the tree that cmake --install lays out in a scratch DESTDIR, the installed
# tessascene running where it landed, every installed manual page formatting without a
# warning, and tessascene's --help and manual page naming the same options.
#
#   tests/install_test.sh CMAKE BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail

cmake_command=$1 build=$2 source=$3 version=$4
source "$(dirname "$0")/lib.sh"

if ! DESTDIR="$work/root" "$cmake_command" --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    fail "cmake --install failed"
    exit 1
fi
usr="$work/root/usr"

echo "== Layout"
expected=(bin/tessaview bin/tessascene
          share/doc/tessaview/copyright share/doc/tessaview/README.md
          share/doc/tessaview/changelog.gz)
for example in "$source"/examples/*/; do
    name="$(basename "$example")"
    expected+=("share/tessaview/examples/$name/kvoTessa1F.txt"
               "share/tessaview/examples/$name/kvoTessa1A.txt")
done
pages=()
for page in "$source"/man/*.[1-9]; do
    name="$(basename "$page")"
    pages+=("share/man/man${name##*.}/$name.gz")
done
expected+=("${pages[@]}")
for file in "${expected[@]}"; do
    [[ -f "$usr/$file" ]] || fail "not installed: /usr/$file"
done
for program in bin/tessaview bin/tessascene; do
    [[ -x "$usr/$program" ]] || fail "not executable: /usr/$program"
done
# Only programs with a manual page are installed: no test, fuzz or bench binary.
for program in "$usr"/bin/*; do
    name="$(basename "$program")"
    [[ -f "$source/man/$name.1" ]] || fail "installed program without a manual page: $name"
done
# Nothing outside the program's own places.
while IFS= read -r file; do
    case "$file" in
        usr/bin/* | usr/share/tessaview/* | usr/share/doc/tessaview/* | usr/share/man/man[1-9]/*) ;;
        *) fail "installed outside the program's places: /$file" ;;
    esac
done < <(cd "$work/root" && find . -type f -printf '%P\n')

echo "== The installed tessascene"
tool="$usr/bin/tessascene"
out="$("$tool" --version 2>&1)"
[[ "$out" == "tessascene $version" ]] || fail "tessascene --version printed '$out', not 'tessascene $version'"
if ! (cd "$work" && "$tool" generate 24-cell -o generated >/dev/null 2>"$work/err"); then
    fail "tessascene generate 24-cell failed: $(cat "$work/err")"
fi
for file in kvoTessa1F.txt kvoTessa1A.txt; do
    cmp -s "$work/generated/$file" "$usr/share/tessaview/examples/24-cell/$file" ||
        fail "generated 24-cell $file differs from the installed example"
done

echo "== Manual pages"
for page in "${pages[@]}"; do
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$usr/$page" 2>&1 >"$work/page.txt")"
    [[ -z "$warnings" ]] || fail "$page: $warnings"
    grep -q '^NAME$' "$work/page.txt" || fail "$page did not format (no NAME section)"
    grep -q "Tessaview $version" "$work/page.txt" || fail "$page does not carry version $version"
done

echo "== tessascene --help and its manual page name the same options"
# Option lines of --help start with two spaces and a dash; the names end before the gap
# that leads to their description.
"$tool" --help | sed -nE 's/^  (-[^ ].*)$/\1/p' | sed -E 's/  .*//' |
    grep -oE -- '--?[A-Za-z][A-Za-z0-9-]*' | sort -u >"$work/help-options"
# Option tags of the page's OPTIONS section stand at the section's first indent.
LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$usr/share/man/man1/tessascene.1.gz" 2>/dev/null |
    awk '/^OPTIONS$/ { on = 1; next } /^[A-Z]/ { on = 0 } on && /^       -/' |
    grep -oE -- '(^|[ ,])--?[A-Za-z][A-Za-z0-9-]*' | tr -d ' ,' | sort -u >"$work/man-options"
[[ -s "$work/help-options" ]] || fail "no options found in tessascene --help"
while read -r option; do
    fail "tessascene --help has $option; the manual page does not document it"
done < <(comm -23 "$work/help-options" "$work/man-options")
while read -r option; do
    fail "the manual page documents $option; tessascene --help does not have it"
done < <(comm -13 "$work/help-options" "$work/man-options")

finish "install test passed"
