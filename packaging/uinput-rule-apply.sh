# Applies the udev rule to /dev/uinput and loads the uinput module, so that
# keyconv works at once, without a reboot. Each step may fail where there is
# no udev or no module loading (containers, chroots): the rule and the
# modules-load.d entry then take effect at the next boot.
if command -v udevadm >/dev/null 2>&1; then
    udevadm control --reload-rules >/dev/null 2>&1 || true
fi
modprobe uinput >/dev/null 2>&1 || true
if command -v udevadm >/dev/null 2>&1; then
    udevadm trigger --action=change --name-match=uinput >/dev/null 2>&1 || true
fi
