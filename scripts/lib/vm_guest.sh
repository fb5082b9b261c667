# What the test VM runs besides the project's own files, from Debian's own
# packages, taken out of them into the build tree (no boot loader or
# initramfs hooks run, nothing is installed): the kernel with the evdev and
# uinput modules, and udev for the cases that need a udev daemon.

# Puts boot/vmlinuz-*, the two modules and udev/ (the udev package) into $1.
fetch_vm_guest() {
  local dir=$1 kernel
  kernel=$(vm_kernel_package) || {
    [ "$(id -u)" -eq 0 ] && apt-get update >/dev/null && kernel=$(vm_kernel_package)
  } || {
    echo "cannot find Debian's kernel package (linux-image-amd64): run apt-get update" >&2
    return 1
  }
  local udev
  udev="udev=$(apt-cache policy udev | sed -n 's/^ *Candidate: //p')"
  local done_mark="$dir/$kernel+$udev.done"
  [ -f "$done_mark" ] && return 0
  echo "== test VM: $kernel, $udev"
  rm -rf "$dir" && mkdir -p "$dir/download"
  # As root apt would hand the download to user _apt, who cannot write here.
  (cd "$dir/download" &&
    apt-get -q -o APT::Sandbox::User="$(id -un)" download "$kernel" "$udev") || return 1
  dpkg-deb --fsys-tarfile "$dir"/download/linux-image-*.deb |
    tar -x -C "$dir" --wildcards './boot/vmlinuz-*' \
      './lib/modules/*/kernel/drivers/input/evdev.ko' \
      './lib/modules/*/kernel/drivers/input/misc/uinput.ko'
  mkdir -p "$dir/udev"
  dpkg-deb -x "$dir"/download/udev_*.deb "$dir/udev"
  rm -rf "$dir/download"
  touch "$done_mark"
}

# The versioned image package that linux-image-amd64 depends on.
vm_kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | grep . | head -n 1
}
