# Applies the udev rule to /dev/uinput and loads the uinput module, so that
# keyconv works at once, without a reboot. A step that fails says so, and
# the installation goes on: the rule and the module then take effect at the
# next boot.
if keyconv_into_running_system; then
    udev_runs=false
    if keyconv_udev_runs; then
        udev_runs=true
        udevadm control --reload-rules ||
            echo "keyconv: udev could not reload its rules; /dev/uinput is the seat's from the next boot" >&2
    fi
    modprobe uinput ||
        echo "keyconv: the uinput module could not be loaded (modprobe uinput); it loads at the next boot" >&2
    if $udev_runs; then
        udevadm trigger --action=change --name-match=uinput ||
            echo "keyconv: udev could not apply the rule to /dev/uinput; it applies at the next boot" >&2
    fi
fi
