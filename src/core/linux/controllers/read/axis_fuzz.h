// The X axis's fuzz. The kernel drops every change of an axis within half
// its fuzz, which the HID driver sets to a 256th of the range. Every step
// must reach the motion detector, so the filter is off while keyconv reads a
// player's controller, and only then. The setting is the device's, so
// other readers see it too until keyconv puts it back: when it closes the
// controller, at the end, and from the signal handlers.
#pragma once

// Turns the filter of id's X axis, opened at fd, off, remembering its fuzz.
// The rest of the axis goes back as the kernel has it just then: the kernel
// takes the position written as the axis's own, and would drop the next
// report of a stale one as no change.
void axis_fuzz_off(int id, int fd);

// Puts id's fuzz back, and nothing else of the axis, before its descriptor
// closes. A controller that went away takes its setting with it: the
// restore then fails, and is forgotten all the same.
void axis_fuzz_restore(int id);
