#!/usr/bin/env bash
# Makes the source release, keyconv-<version>.tar.gz, of the files git
# tracks as the working tree has them, with a SHA-256 checksum file beside
# it, in the given folder: packaging/make-source-release.sh FOLDER VERSION
# The same tree gives the same bytes: the files sorted by name, owned by
# nobody in particular, each with the time SOURCE_DATE_EPOCH (the last
# commit's unless it is set), and gzip without a name or time.
set -euo pipefail
folder=$1
version=$2
cd "$(dirname "$0")/.."
: "${SOURCE_DATE_EPOCH:=$(git log -1 --format=%ct)}"
name=keyconv-$version
mkdir -p "$folder"
git ls-files -z | LC_ALL=C tar --create --null --files-from=- --sort=name \
  --transform="s,^,$name/," --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
  --mode=u+rw,go+r,go-w --format=gnu | gzip -9n >"$folder/$name.tar.gz"
(cd "$folder" && sha256sum "$name.tar.gz" >"$name.tar.gz.sha256")
