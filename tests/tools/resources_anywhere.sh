#!/bin/sh
# The program's resources compile in a build folder whose path llvm-rc could read as one of its
# options: /dev/shm/... starts like /D, its "define". The folder is configured from the source
# tree as a user's would be, and only the resources are built; they must be the same bytes as
# the calling build's.
set -u
src=$1
expected=$2
if ! dir=$(mktemp -d /dev/shm/kestrova-resources.XXXXXX 2>/dev/null); then
    echo "/dev/shm is not a folder this test can write to"
    exit 77
fi
trap 'rm -rf "$dir"' EXIT
cmake -S "$src" -B "$dir" -DKESTROVA_TESTS=OFF -DKESTROVA_BENCH=OFF >"$dir/configure.log" 2>&1 ||
    { cat "$dir/configure.log"; exit 1; }
cmake --build "$dir" --target kestrova_res_file || exit 1
cmp "$expected" "$dir/app/resources/kestrova.res" || exit 1
