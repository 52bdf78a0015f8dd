#pragma once
// Constants of the stored options block, shared by the program that reads it and the build tool that
// writes it. Changing a value here makes every block written before unreadable, so they are fixed.
#include <cstdint>

namespace sondrel {

// First four bytes of the resource form and last four bytes of the trailer form (little-endian).
inline constexpr uint32_t kOptionsBlockMagic = 0x000FAB10;
// The layout written today; older layouts are still read.
inline constexpr uint16_t kLibraryVersion = 460;
// Name of the RCDATA resource that holds the block.
inline constexpr char kOptionsResourceName[] = "ERDATA";
// Size of the header of the resource form: magic, version, reserved bytes.
inline constexpr uint32_t kBlockHeaderSize = 14;
inline constexpr uint32_t kBlockReservedSize = 8;
// The resource form's payload is zlib-compressed from this version on.
inline constexpr uint16_t kFirstCompressedVersion = 450;

// Every byte of every string of an options stream is XORed with this key, so that addresses and
// passwords do not show up in a plain text search of the program file.
inline constexpr uint8_t kStreamStringKey = 0xA5;
// The mask of the names in the line debug data (kDebugNameMask) lives with that format in
// errorreport/capture/debug_data.h, which the tool includes as well.

}  // namespace sondrel
