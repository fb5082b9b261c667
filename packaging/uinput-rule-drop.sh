# Tells udev the rule is gone, so it gives no more access to /dev/uinput.
# udev does not take back access it has already given: the user logged in
# keeps /dev/uinput until the next boot. The uinput module stays loaded
# until then too: other programs may use it.
if keyconv_into_running_system && keyconv_udev_runs; then
    udevadm control --reload-rules ||
        echo "keyconv: udev could not reload its rules; /dev/uinput keeps the rule's access until the next boot" >&2
    udevadm trigger --action=change --name-match=uinput ||
        echo "keyconv: udev could not apply the rule's removal to /dev/uinput" >&2
fi
