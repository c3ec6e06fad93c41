#pragma once
// Reading a compiled resource file (.res): the format windres writes and the native builds
// embed, so that they find the same resource bytes as the Windows executable.
//
// A .res file is a sequence of records, each starting on a 4-byte boundary: a header
// (data size, header size, type and name each either 0xFFFF + a 16-bit number or a
// zero-terminated UTF-16 name, then version, flags, language and characteristics)
// followed by the data. Every length read from the file is checked against its end.
#include <cstdint>
#include <span>

#include "platform/resources/resources.h"

namespace qx80 {

// The data of the first record with this type and numeric name, whatever its language;
// empty when there is none or the file is malformed before that record. Named types are
// compared without regard to ASCII case, as the platform does.
std::span<const uint8_t> FindInResFile(std::span<const uint8_t> res, ResourceType type, uint16_t id);

}  // namespace qx80
