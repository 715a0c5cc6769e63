#!/usr/bin/env bash
# Fails when a C++ file of the project strays from .clang-format.
# clang-format 14 (Debian 12) and 19 (Debian 13) must agree on the code, so it keeps clear of the
# forms they format apart: "struct stat info = {};", not "info {}"; a product in a template
# argument in parentheses; a printf-like format attribute on a declaration of its own.
# Usage: format_check.sh SOURCE_DIR
set -u
cd "$1" || exit 1
files=$(git ls-files -- '*.cpp' '*.h' 2>/dev/null || find src tools tests bench fuzz -name '*.cpp' -o -name '*.h')
clang-format --dry-run -Werror $files
