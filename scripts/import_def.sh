#!/usr/bin/env bash
# Writes a module-definition file with every function that MinGW's import
# library of a DLL names, for dlltool to make a delay-load import library from
# (or, with a stub name, the exports of a look-alike DLL for the tests).
# usage: import_def.sh CC LIBRARY DLL_FILE_NAME OUT.def [STUB]
#   CC: the cross compiler, which knows where the import libraries are
set -euo pipefail
cc=${1:?compiler} library=${2:?library} dll=${3:?dll file name} out=${4:?output} stub=${5:-}
archive=$("$cc" -print-file-name="lib$library.a")
[ -f "$archive" ] || { echo "import_def: no import library lib$library.a" >&2; exit 1; }
{
  printf 'LIBRARY %s\nEXPORTS\n' "$dll"
  "${cc%-gcc*}-nm" -g --defined-only "$archive" 2>/dev/null \
    | awk -v stub="$stub" '$2 == "I" && $3 ~ /^__imp_/ { name = substr($3, 7); print (stub == "" ? name : name "=" stub) }' \
    | sort -u
} > "$out.tmp"
mv "$out.tmp" "$out"
