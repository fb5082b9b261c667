# True where the package goes into the running system: not in a chroot
# (Debian's ischroot, or systemd's own test) nor in a container, as while
# an image is built. There the rule and the modules-load.d entry take
# effect at the first boot, and the build host's kernel is left alone.
keyconv_into_running_system() {
    if command -v ischroot >/dev/null 2>&1 && ischroot; then
        return 1
    fi
    if command -v systemd-detect-virt >/dev/null 2>&1 &&
        { systemd-detect-virt --quiet --chroot || systemd-detect-virt --quiet --container; }; then
        return 1
    fi
}

# True while udev's daemon runs: it applies the rules itself when it starts.
keyconv_udev_runs() {
    command -v udevadm >/dev/null 2>&1 && udevadm control --ping >/dev/null 2>&1
}
