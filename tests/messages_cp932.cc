// The catalogue compiled once more, with the Windows build's charset.
#include "../src/core/messages.cc"
