#pragma once

#include <cstdint>

// The virtual display driver's escape codes and the layouts both sides of the escape channel
// rely on. Words are little-endian 32-bit values unless said otherwise.
namespace vtdrv {

inline constexpr uint32_t kEscIdentify = 0x100000;
inline constexpr uint32_t kEscMapFrame = 0x101002;
inline constexpr uint32_t kEscUnmapFrame = 0x101003;
inline constexpr uint32_t kEscKeepAlive = 0x101004;
inline constexpr uint32_t kEscChangesSize = 0x102001;
inline constexpr uint32_t kEscChangesFetch = 0x102003;
inline constexpr uint32_t kEscStart = 0x10200F;

// ESC_IDENTIFY: a 128-byte reply buffer; 1 to 32 reply bytes beginning with "VTDRV".
inline constexpr int32_t kIdentifyReplyBytes = 128;
inline constexpr int32_t kIdentifyMaxAnswer = 32;
inline constexpr char kIdentifyTag[] = "VTDRV";
inline constexpr int32_t kIdentifyTagBytes = 5;

// ESC_MAP_FRAME: in = process handle (32 bits), then 32-bit 0; out = the frame buffer's address
// in the calling process, pointer-sized (4 bytes on 32-bit builds, 8 on 64-bit ones).
inline constexpr int32_t kMapFrameInBytes = 8;
inline constexpr int32_t kAddressBytes = int32_t(sizeof(void*));
// ESC_UNMAP_FRAME: in = the process handle (32 bits), then the mapped address, pointer-sized
// and unpadded (8 bytes in all on 32-bit builds, 12 on 64-bit ones).
inline constexpr int32_t kUnmapFrameInBytes = 4 + kAddressBytes;

// ESC_CHANGES_SIZE: out = 4 bytes, the size of the pending record list; result 0 when valid.
// ESC_CHANGES_FETCH: in length 4 with no input; out at least that size and never below 0x4000.
inline constexpr uint32_t kMinFetchBytes = 0x4000;

// A change record: length (to the next record, 0 ends the list), payload offset (from the
// record's start) and type, then the payload.
inline constexpr uint32_t kRecordHeaderBytes = 12;
inline constexpr uint32_t kRecordType16 = 16;
inline constexpr uint32_t kRecordChangedRects = 127;
inline constexpr uint32_t kRecordType256 = 256;
// Payload of kRecordChangedRects: 8 unread bytes, a 32-bit count, then count rectangles of four
// signed 32-bit values (left, top, right, bottom) in frame coordinates.
inline constexpr uint32_t kChangedRectsCountOffset = 8;
inline constexpr uint32_t kChangedRectsFirstRect = 12;
inline constexpr uint32_t kRectBytes = 16;

// The frame buffer: width × height pixels, rows of exactly width × 4 bytes, top row first,
// each pixel blue, green, red, unused.
inline constexpr int32_t kFrameBytesPerPixel = 4;

}  // namespace vtdrv
