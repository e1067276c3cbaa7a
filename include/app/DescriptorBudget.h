#ifndef TARNEL_DESCRIPTORBUDGET_H
#define TARNEL_DESCRIPTORBUDGET_H

// Open files for a bank of a thousand ttys: the soft limit is raised as far
// as needed (up to the hard limit), and what is left says how many ports can
// be probed at once.

#include <cstddef>

// Raises the soft RLIMIT_NOFILE so that `wanted` more descriptors fit beside
// those open now and a reserve for the rest of the program, never above the
// hard limit; returns how many more may be opened now (0 when none).
std::size_t SpareDescriptors(std::size_t wanted);

#endif
