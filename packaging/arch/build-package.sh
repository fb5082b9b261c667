#!/usr/bin/env bash
# Builds the Arch package with makepkg from the source release:
#   packaging/arch/build-package.sh FOLDER VERSION [--repackage]
# FOLDER then holds the source release and the PKGBUILD with its checksum
# filled in, which is what a packager publishes, and the package,
# keyconv-<version>-1-<arch>.pkg.tar.zst, each package with a SHA-256
# checksum file; makepkg's own work stays in FOLDER/work. --repackage runs
# makepkg's package step alone, again, on that work.
#
# makepkg will not run as root: as root, it runs as nobody, in a folder of
# /tmp (nobody may not reach FOLDER), which FOLDER/work then links to. Its
# dependencies are not looked for, nor pacman's list of installed packages
# written in: another distribution's package manager has them. Every file's
# time is SOURCE_DATE_EPOCH (the last commit's unless it is set), so that
# the same sources give the same bytes.
set -euo pipefail
folder=$(realpath -m "$1")
version=$2
here=$(dirname "$(realpath "$0")")
cd "$here/../.."
: "${SOURCE_DATE_EPOCH:=$(git log -1 --format=%ct)}"
export SOURCE_DATE_EPOCH

as_builder=()
if [ "$(id -u)" -eq 0 ]; then
  as_builder=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
fi
steps=(--repackage)
if [ "${3:-}" != --repackage ]; then
  steps=(--cleanbuild)
  if [ -L "$folder/work" ]; then rm -rf "$(readlink "$folder/work")"; fi
  rm -rf "$folder"
  mkdir -p "$folder"
  packaging/make-source-release.sh "$folder" "$version"
  if [ ${#as_builder[@]} -gt 0 ]; then
    ln -s "$(mktemp -d /tmp/keyconv-makepkg.XXXXXX)" "$folder/work"
    chown nobody: "$folder/work/"
  else
    mkdir "$folder/work"
  fi
  release_sum=$(cut -d' ' -f1 "$folder/keyconv-$version.tar.gz.sha256")
  sed "s/^_release_sha256=.*/_release_sha256=$release_sum/" "$here/PKGBUILD" >"$folder/PKGBUILD"
  cp "$here/keyconv.install" "$folder/keyconv-$version.tar.gz" "$folder/PKGBUILD" "$folder/work/"
fi
work=$(realpath "$folder/work")
(cd "$work" && "${as_builder[@]}" env HOME="$work" PKGEXT=.pkg.tar.zst PACMAN=true \
  SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" makepkg --nodeps "${steps[@]}" --force --noconfirm)
package=$(cd "$work" && ls keyconv-"$version"-*.pkg.tar.zst)
cp "$work/$package" "$folder/"
(cd "$folder" && sha256sum "$package" >"$package.sha256")
