#pragma once
// Where the fields of each firmware image format lie. Only the fields named here are ever
// read; everything else in an image is opaque firmware content.
#include <array>
#include <cstdint>
#include <string_view>

#include "firmware/firm_kind.h"

namespace qx80::firm_layout {

constexpr uint32_t VERSION_LENGTH = 4;

// Kinds 1 to 3: a header, a body that is stored scrambled when the image carries a checksum,
// and a 32-byte trailer. Trailer offsets count back from the end of the image.
constexpr uint32_t HEADER_MAGIC = 0x40;
constexpr uint32_t HEADER_VERSION = 0x44;
constexpr uint32_t HEADER_PART_LENGTH = 0x60;
constexpr uint32_t HEADER_CHECK_SCHEME = 0x100;
constexpr uint32_t HEADER_BODY_KEY = 0x104;  // key word 0, then key word 1
constexpr uint32_t BODY_START = 0x200;
constexpr uint32_t TRAILER_CHECK_FLAG = 32;   // 16 bits, little-endian; 0 = no checksum
constexpr uint32_t TRAILER_CHECK_VALUE = 30;  // 16 bits, big-endian
constexpr uint32_t TRAILER_REST = 28;         // not covered by the checksum
constexpr uint32_t CHECK_SCHEME_SCRAMBLED = 2;
// Shortest image that can carry a checksum: header, an empty body and the trailer.
constexpr uint32_t CHECKED_MIN_SIZE = BODY_START + TRAILER_CHECK_FLAG;
// Shortest package part of these kinds: the splitter reads the part length.
constexpr uint32_t PACKAGE_HEADER_MIN_SIZE = HEADER_PART_LENGTH + 4;

struct HeaderKind {
  std::string_view magic;
  FirmKind kind;
  uint32_t maxSize;
};
// Tested in this order.
constexpr std::array<HeaderKind, 3> HEADER_KINDS = {{
    {"UAMC", FIRM_KIND_UAMC, 0x500000},
    {"FWUP", FIRM_KIND_FWUP, 0x80000},
    {"FQI ", FIRM_KIND_FQI, 0x300000},
}};

// Kind 4.
constexpr std::string_view AGPF_MAGIC = "AGPF";
constexpr uint32_t AGPF_VERSION = 4;  // two 4-bit digits, high nibble first
constexpr uint32_t AGPF_TYPE = 7;
constexpr uint8_t AGPF_TYPE_VALUE = 2;
constexpr uint32_t AGPF_LENGTH = 8;  // part length minus AGPF_LENGTH_EXTRA
constexpr uint32_t AGPF_LENGTH_EXTRA = 12;
constexpr uint32_t AGPF_PACKAGE_MIN_SIZE = AGPF_LENGTH + 4;
constexpr uint32_t AGPF_MAX_SIZE = 0x80000;

// Kind 0, a TI AIS boot image: its version lives in a record found through a marker and an
// anchor word; the record's fields are relative to the anchor.
constexpr std::string_view TIPA_MAGIC = "TIPA";
constexpr std::string_view TIPA_MARKER = {"\x01KTV", 4};
constexpr std::string_view TIPA_ANCHOR = {"\x00\x40\x00\xC0", 4};  // 0xC0004000 little-endian
constexpr uint32_t TIPA_ANCHOR_WINDOW = 8;                         // anchor start positions tried from the marker on
constexpr std::string_view TIPA_RECORD_TAG = "MON1";
constexpr uint32_t TIPA_RECORD_TAG_AT = 0x48;
constexpr uint32_t TIPA_RECORD_VERSION_AT = 0x4C;
constexpr uint32_t TIPA_RECORD_TYPE_AT = 0x50;
constexpr uint8_t TIPA_RECORD_TYPE_VALUE = 0x32;
constexpr uint32_t TIPA_RECORD_SIZE = TIPA_RECORD_TYPE_AT + 1;
constexpr uint32_t TIPA_MAX_SIZE = 0x80000;

// SIAM wrapper around a payload; accepted only by CFirmFile::LoadSiam.
constexpr std::string_view SIAM_MAGIC = "SIAM";
constexpr std::string_view SIAM_FORMAT = "2000";
constexpr uint32_t SIAM_FORMAT_AT = 16;
constexpr uint32_t SIAM_PAYLOAD_LENGTH = 20;
constexpr uint32_t SIAM_PAYLOAD = 24;
constexpr uint32_t SIAM_MAX_PAYLOAD = 0x100000;

}  // namespace qx80::firm_layout
