// The CRC-32 checksum: the reflected CRC of polynomial 0xEDB88320 (the checksum of zip files
// and network frames), continued from a running value so that a stream can be summed in
// pieces.
#pragma once

#include <cstdint>

// The checksum of length bytes at data continued from a running value (0 to start). A length
// of 0 or null data returns the running value unchanged.
uint32_t bz_Crc32(uint32_t running, uint32_t length, const void *data);
// The same over a text without its terminator; a null text returns the running value.
uint32_t bz_Crc32String(const char *text, uint32_t running);
