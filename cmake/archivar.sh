#!/usr/bin/env bash
# The release of a static build, NAME.tar.gz: NAME/ holding quelt, its
# manual page, LICENSE and README.md, the same bytes from every build of
# one commit: times from SOURCE_DATE_EPOCH (the last commit's date unless
# it is set), names sorted, owner root, modes from whether a file runs and
# nothing else (not the umask), gzip without a name or a time.
#   bash archivar.sh QUELT PAGE NAME    (PAGE: the manual page as built; writes NAME.tar.gz here)
set -euo pipefail
fuente=$(dirname "$0")/..
: "${SOURCE_DATE_EPOCH:=$(git -C "$fuente" log -1 --format=%ct)}"
rm -rf "$3"
mkdir "$3"
cp "$1" "$3/quelt"
cp "$2" "$fuente/LICENSE" "$fuente/README.md" "$3/"
tar --create --format=gnu --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 \
    --numeric-owner --mode=u=rwX,go=rX "$3" | gzip -9n >"$3.tar.gz"
rm -rf "$3"
