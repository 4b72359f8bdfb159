#pragma once

#include <cstddef>
#include <cstdint>

// Feeds arbitrary bytes through the reader, the matcher in its three modes and
// the view accumulation in its three views. The first bytes choose the
// criteria; the rest is the log file.
int fuzzLogFile(const std::uint8_t *data, std::size_t size);
