// Decoded pictures: the payload classes of the graphics archive and picture files.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/Surface.h"

namespace tk {

struct TPicture {
  std::string ClassName;  // as stored ("TDIB", "TBitmap", "TJPEGImage", or other)
  int Width = 0, Height = 0;
  TPixels Pixels;  // 0x00RRGGBB, top row first
  // Colour table of a DIB of 8 bits or fewer: 256 slots of (blue, green, red, 0),
  // slots beyond the picture's own colours zero. Empty for other pictures.
  std::vector<uint32_t> Palette;
  int BitCount = 0;
  // The class's data exactly as stored after the class name (for TBitmap and TJPEGImage
  // with the byte count). An archive is written back from ClassName and RawPayload; a
  // picture made in memory with no RawPayload is written as a 24-bit TDIB.
  std::string RawPayload;
  // Set when RawPayload was let go after decoding (the game never writes archives): such a
  // picture cannot be written back.
  bool PayloadDropped = false;
  // A picture read for the game is decoded when its pixels are first needed: until then
  // its size, BitCount and Palette are known, Pixels is empty and Deferred is the class
  // data, kept alive by Source (the archive's bytes). Its header was checked when read.
  std::shared_ptr<const void> Source;
  std::string_view Deferred;
  bool Pending() const { return !Deferred.empty(); }
  bool Empty() const { return Width == 0 || Height == 0; }
};

// Decoders; each throws EInvalidGraphic ("DIB is invalid") or EReadError on bad data.
TPicture DecodeDib(std::string_view data);      // header size onwards, no file header
TPicture DecodeBmpFile(std::string_view data);  // "BM" file
TPicture DecodeJpeg(std::string_view data);
// A picture payload of the archive: class name (short string), then the class's data.
// Without keepPayload the stored bytes are not kept (PayloadDropped).
TPicture DecodePicturePayload(std::string_view payload, bool keepPayload = true);
// The same, with the pixels of an uncompressed DIB or bitmap and of a JPEG left for
// DecodePending: the headers are checked now (the same errors as a full decode), the
// pixels decoded later from the payload, which source keeps alive. Other pictures are
// decoded at once.
TPicture ReadPicturePayload(std::string_view payload, std::shared_ptr<const void> source);
// Decodes a pending picture's pixels and lets go of its source. Throws what the decoder
// throws for damaged data (only a JPEG can fail once its header was read); the picture is
// then left empty, so it fails once.
void DecodePending(TPicture& p);
// A picture file by its extension: bmp, jpg/jpeg, dib; others throw EInvalidGraphic
// "Unknown picture file extension (.%s)".
TPicture LoadPictureFile(std::string_view name);

// Whether a picture file would load: the same errors as LoadPictureFile, without decoding
// what cannot fail once the headers are read (the pixels of an uncompressed bitmap).
void CheckPictureFile(std::string_view name);

// Encoders used by the tools.
std::string EncodeDib24(const TPicture& p);  // 40-byte header, bottom-up, 24 bits
std::string EncodeJpeg(const TPicture& p, int quality);
// The archive's picture payload: the class name, then the class's data. With withCount,
// the data of "TBitmap" and "TJPEGImage" gets its uint32 byte count in front, so fileData
// is the BMP file or JPEG stream itself (for example from EncodeJpeg); without it, fileData
// is the class data exactly as stored (TPicture::RawPayload).
std::string MakePicturePayload(std::string_view className, std::string_view fileData,
                               bool withCount = true);

}  // namespace tk
