#!/usr/bin/env bash
# Builds the Arch package with makepkg from the source release:
#   packaging/arch/build-package.sh FOLDER VERSION
# FOLDER then holds the source release and the PKGBUILD with its checksum
# filled in, which is what a packager publishes, and the package,
# keyconv-<version>-1-<arch>.pkg.tar.zst, each package with a SHA-256
# checksum file.
#
# makepkg's work is in a folder of /tmp named for the version and the user
# who builds: the package records where it was built, so the same sources
# give the same bytes wherever FOLDER is. makepkg
# will not run as root: as root, it runs as nobody (who may not reach
# FOLDER). Its dependencies are not looked for, nor pacman's list of
# installed packages written in: another distribution's package manager has
# them. Every file's time is SOURCE_DATE_EPOCH (the last commit's unless it
# is set).
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
work=${TMPDIR:-/tmp}/keyconv-makepkg-$version-uid$(id -u)
rm -rf "$folder" "$work"
mkdir -p "$folder"
mkdir -m 700 "$work"  # anew: never one that another user made
packaging/make-source-release.sh "$folder" "$version"
release_sum=$(cut -d' ' -f1 "$folder/keyconv-$version.tar.gz.sha256")
sed "s/^_release_sha256=.*/_release_sha256=$release_sum/" "$here/PKGBUILD" >"$folder/PKGBUILD"
cp "$here/keyconv.install" "$folder/keyconv-$version.tar.gz" "$folder/PKGBUILD" "$work/"
if [ ${#as_builder[@]} -gt 0 ]; then chown -R nobody: "$work"; fi
(cd "$work" && "${as_builder[@]}" env HOME="$work" PKGEXT=.pkg.tar.zst PACMAN=true \
  SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" makepkg --nodeps --cleanbuild --noconfirm)
package=$(cd "$work" && ls keyconv-"$version"-*.pkg.tar.zst)
cp "$work/$package" "$folder/"
(cd "$folder" && sha256sum "$package" >"$package.sha256")
rm -rf "$work"
