#!/bin/busybox sh
# The test VM's init: mounts what the tests need, loads evdev and uinput,
# runs every test binary listed in /vm/tests and powers off. The first
# serial port is the kernel's console; the second carries the results.
/bin/busybox --install -s /bin
export PATH=/bin HOME=/root
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs tmpfs /tmp
mount -t tracefs tracefs /sys/kernel/tracing

results=/dev/ttyS1
stty -F $results raw -echo
say() { echo "@@keyconv-vm $*" >$results; }
say up "$(uname -r)"

# Before the modules: installing the package must load uinput itself.
if [ -f /vm/keyconv.deb ]; then
  KEYCONV_DEB=/vm/keyconv.deb
  export KEYCONV_DEB
fi
for module in evdev uinput; do
  lsmod | grep -q "^$module " || modprobe $module || say "cannot load $module"
done

cd /tmp
while read -r binary; do
  say binary "$binary"
  KEYCONV_DEVICE_TESTS=required "$binary" --gtest_color=no --gtest_filter="$(cat /vm/filter)" \
    >$results 2>&1
  say exit "$binary" $?
done </vm/tests
say end
poweroff -f
