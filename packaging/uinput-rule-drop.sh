# Takes the removed udev rule's access away from /dev/uinput. The uinput
# module stays loaded: other programs may use it.
if command -v udevadm >/dev/null 2>&1; then
    udevadm control --reload-rules >/dev/null 2>&1 || true
    udevadm trigger --action=change --name-match=uinput >/dev/null 2>&1 || true
fi
