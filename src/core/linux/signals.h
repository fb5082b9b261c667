#pragma once

// On Ctrl+C, SIGTERM and SIGHUP: restore the terminal, destroy the virtual
// keyboard, and end by the same signal. On Ctrl+Z: restore the terminal and
// release the keys before stopping, and set the terminal up again on SIGCONT.
void install_fatal_signal_handlers();
