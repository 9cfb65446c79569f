// Whether a vision program already holds a capture device.
//
// A second reader of a camera either fails to capture or, on a FIFO, steals
// the vision program's frames, and a tool started beside a running vision
// program would then show something else than what the program publishes.
// The check looks at what processes actually hold open: every process
// named "quorvantel" whose open files include the same file (same device
// and inode, so links and other names of the device count too). Processes
// of other users cannot be inspected and are not found.
#pragma once

#include <sys/types.h>

// The pid of a vision program (other than the caller) that has `path` open,
// or 0 when there is none or `path` does not exist.
pid_t visionProgramHolding(const char *path);
