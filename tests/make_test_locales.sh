#!/bin/sh
# Compiles the locales the terminal tests run in (UTF-8, GB18030, ISO-8859-1) into a
# folder of their own, for LOCPATH: nothing of the system's locale set-up is changed,
# and a folder that already holds them is left as it is.
# Usage: tests/make_test_locales.sh FOLDER
set -eu
folder=$1
mkdir -p "$folder"
for spec in en_US:UTF-8 zh_CN:GB18030 en_US:ISO-8859-1; do
    source=${spec%%:*}
    charset=${spec#*:}
    name=$source.$charset
    [ -f "$folder/$name/LC_CTYPE" ] && continue
    # localedef warns about details of the sources it still compiles; only a missing
    # result is a failure.
    localedef -i "$source" -f "$charset" "$folder/$name.part" >/dev/null 2>&1 || true
    [ -f "$folder/$name.part/LC_CTYPE" ] || { echo "cannot make the locale $name (package locales?)" >&2; exit 1; }
    rm -rf "${folder:?}/$name"
    mv "$folder/$name.part" "$folder/$name"
done
