#!/usr/bin/env bash
# The libraries given (static archives) are file-free: none of them calls a function that opens
# a file or reads the environment, nor uses a file stream. Lists what each one calls that it
# should not, and fails if anything is listed.
#
#   tests/file_free_check.sh LIBRARY.a...
set -uo pipefail

# C functions that open or look up a path or read the environment, by their names; the C++ file
# streams by their class names.
forbidden='^(open|open64|openat|openat64|creat|creat64|fopen|fopen64|freopen|freopen64|opendir|stat|stat64|lstat|lstat64|fstatat|fstatat64|access|realpath|getenv|secure_getenv)$|std::(__cxx11::)?basic_(i|o)?fstream<|std::basic_filebuf<'
status=0
for library in "$@"; do
    found=$(nm --undefined-only --demangle "$library" | awk '$1 == "U" { $1 = ""; sub(/^ /, ""); print }' |
        sed 's/@.*//' | grep -E "$forbidden" | sort -u)
    if [[ -n "$found" ]]; then
        echo "$(basename "$library") calls what a file-free library must not:"
        sed 's/^/  /' <<<"$found"
        status=1
    else
        echo "$(basename "$library"): file-free"
    fi
done
exit $status
