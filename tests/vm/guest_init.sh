#!/bin/busybox sh
# The test VM's init: mounts what the tests need, loads evdev and uinput,
# runs every test binary listed in /vm/tests and powers off. The first
# serial port is the kernel's console; the second carries the results.
/bin/busybox --install -s /bin
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
# No tmpfs on /tmp: the initramfs is writable already, and the test files
# may live under /tmp on the host, so at the same paths here.
mkdir -p /tmp
mount -t tracefs tracefs /sys/kernel/tracing

results=/dev/ttyS1
stty -F $results raw -echo
say() { echo "@@keyconv-vm $*" >$results; }
say up "$(uname -r)"

load() { lsmod | grep -q "^$1 " || modprobe "$1" || say "cannot load $1"; }
run_tests() {
  while read -r binary; do
    say binary "$binary"
    KEYCONV_DEVICE_TESTS=required "$binary" --gtest_color=no --gtest_filter="$1" >$results 2>&1
    say exit "$binary" $?
  done </vm/tests
}

cd /tmp
filter=$(cat /vm/filter)
load evdev
# The package first: installing it must load uinput itself.
case $filter in
  \* | DevicePackage*)
    if [ -f /vm/keyconv.deb ]; then
      export KEYCONV_DEB=/vm/keyconv.deb
      run_tests "DevicePackage*"
      unset KEYCONV_DEB
    fi
    ;;
esac
load uinput
# Then the cases without udev, as in containers and this initramfs; then
# the cases of the udev path, with a udev daemon.
case $filter in
  *-*) run_tests "$filter:DeviceUdev*:DevicePackage*" ;;
  *) run_tests "$filter-DeviceUdev*:DevicePackage*" ;;
esac
case $filter in
  \* | DeviceUdev*)
    mount -t tmpfs tmpfs /run
    /lib/systemd/systemd-udevd --daemon 2>/dev/console || say "udev did not start"
    udevadm trigger --action=add && udevadm settle --timeout=30
    say udev running
    run_tests "DeviceUdev*"
    ;;
esac
say end
poweroff -f
