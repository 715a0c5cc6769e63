#!/usr/bin/env bash
# Fails when a C++ file of the project strays from .clang-format.
# Usage: format_check.sh SOURCE_DIR
set -u
cd "$1" || exit 1
files=$(git ls-files -- '*.cpp' '*.h' 2>/dev/null || find src tools tests bench fuzz -name '*.cpp' -o -name '*.h')
clang-format --dry-run -Werror $files
