# The test VM's kernel: Debian's own, taken out of its package into the
# build tree (no boot loader or initramfs hooks run, nothing is installed).

# Puts vmlinuz, the version and the evdev and uinput modules into $1.
fetch_vm_kernel() {
  local dir=$1 package
  package=$(vm_kernel_package) || {
    [ "$(id -u)" -eq 0 ] && apt-get update >/dev/null && package=$(vm_kernel_package)
  } || {
    echo "cannot find Debian's kernel package (linux-image-amd64): run apt-get update" >&2
    return 1
  }
  [ -f "$dir/$package.done" ] && return 0
  echo "== test VM kernel: $package"
  rm -rf "$dir" && mkdir -p "$dir/download"
  # As root apt would hand the download to user _apt, who cannot write here.
  (cd "$dir/download" && apt-get -q -o APT::Sandbox::User="$(id -un)" download "$package") ||
    return 1
  dpkg-deb --fsys-tarfile "$dir"/download/*.deb |
    tar -x -C "$dir" --wildcards './boot/vmlinuz-*' './lib/modules/*/modules.order' \
      './lib/modules/*/kernel/drivers/input/evdev.ko' \
      './lib/modules/*/kernel/drivers/input/misc/uinput.ko'
  rm -rf "$dir/download"
  touch "$dir/$package.done"
}

# The versioned image package that linux-image-amd64 depends on.
vm_kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | grep . | head -n 1
}
