#pragma once

// On Ctrl+C, SIGTERM and SIGHUP: restore the terminal, destroy the virtual
// keyboard, and end by the same signal.
void install_fatal_signal_handlers();
