# Takes the removed udev rule's access away from /dev/uinput. The uinput
# module stays loaded until the next boot: other programs may use it.
if keyconv_into_running_system && keyconv_udev_runs; then
    udevadm control --reload-rules ||
        echo "keyconv: udev could not reload its rules; /dev/uinput keeps the rule's access until the next boot" >&2
    udevadm trigger --action=change --name-match=uinput ||
        echo "keyconv: udev could not take the rule's access away from /dev/uinput until the next boot" >&2
fi
