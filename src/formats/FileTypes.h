// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// One row per file type: everything the program knows of a format outside its structure
// check. The carving table of header tests, the structure-check registry, the temporary
// file's size cap, the photo previews and summaries, the deep scan's own types and the
// window's icon list all read it.
// Adding a format is one row here and, when it has one, its structure-check file.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace snapsalvager {

// Which structure check follows a file of the type (carving's registry maps each to its
// maker); None leaves the file's end to the header rule.
enum class TCheckFamily : uint8_t {
  None,
  Jpeg,
  Avi,
  Wav,
  IsoMovie,         // a movie whose first box is checked before it may start (MOV, MP4, 3GP)
  IsoMedia,         // the other ISO files placed by their moov (CR3, M4A)
  IsoStill,         // a HEIF-family photo, placed by its meta box
  ProgramStream,
  TransportStream,  // or an ISO file, when an ISO file-type box starts it
  Asf,
  Mp3,
  Amr,
  Tiff,
  Flac,
  Mxf,
};
inline constexpr int kCheckFamilyCount = 15;

// What the header row asks beyond its patterns.
enum class THeaderGuard : uint8_t {
  None,
  JpegExclusions,  // no AVI1 frame; on a Canon card no "http" thumbnail
};

// What kind of photo a found file is, for its preview; None for clips and for the types
// without a preview.
enum class TPhotoKind { None, Jpeg, Raw, Heif };

// What a deep scan names the type for whatever the camera row, when the user asked for it:
// photos (today's cameras and phones, and every raw a file's own tags tell), clips (only
// when every video type is asked for), sounds. None leaves the type to the camera row.
enum class TDeepKind : uint8_t { None, Photo, Video, Audio };

// Where a found file's properties text comes from: None gives "N/A", Exif the JPEG photo
// summary, OwnTags the summary a raw or HEIF photo's own tags give.
enum class TSummaryKind : uint8_t { None, Exif, OwnTags };

inline constexpr int kMaxHeaderPatterns = 5;

struct TFileTypeDescriptor {
  std::string_view Ext;  // the type's text: the temporary and saved names' extension
  // Named only by a deep scan's structure tests: no header test yields it.
  bool DeepOnly = false;
  // The header row: its place among the header tests (1 is tried first; the first enabled
  // match wins, so the order decides which type claims a shared magic), 0 for none;
  // whether a match marks the card as holding ISO media; the extra guard; the patterns
  // over bytes 0-9 ("FF D8 FF E0", ".." for a byte not examined), any one of which matches.
  int HeaderStep = 0;
  bool SetsIsoMedia = false;
  THeaderGuard Guard = THeaderGuard::None;
  std::array<std::string_view, kMaxHeaderPatterns> Headers{};
  TCheckFamily Check = TCheckFamily::None;
  // The temporary file's size cap: bytes past it are counted, not stored; 0 for none.
  int64_t SizeCap = 0;
  TPhotoKind Photo = TPhotoKind::None;
  TSummaryKind Summary = TSummaryKind::None;
  TDeepKind Deep = TDeepKind::None;
  // A TIFF-structured raw whose type a deep scan tells by its magic, DNGVersion or Make tag.
  bool MakerNamed = false;
  // No icon column: the window shows the system's icon for Ext, or its generic one.
};

// 50 MiB: a JPG's bytes past it are counted but not stored.
inline constexpr int64_t kJpgMaxSize = 52428800;

inline constexpr int kFileTypeCount = 43;

// The fixed, ordered table: a type's 1-based row is its index everywhere (FileTypeTable is
// its Ext column). Rows 1-29 are the header-tested types, the rest deep-only. The TIFF-
// structured magic (II*0, MM0*) appears in several header rows: which type claims it
// depends only on which rows are enabled and on their HeaderStep.
// clang-format off
inline constexpr std::array<TFileTypeDescriptor, kFileTypeCount> kFileTypes = {{
    {.Ext = "JPG", .HeaderStep = 1, .Guard = THeaderGuard::JpegExclusions, .Headers = {"FF D8 FF E0", "FF D8 FF E1"},
     .Check = TCheckFamily::Jpeg, .SizeCap = kJpgMaxSize, .Photo = TPhotoKind::Jpeg, .Summary = TSummaryKind::Exif},
    {.Ext = "GIF"},
    {.Ext = "BMP"},
    {.Ext = "TIF", .HeaderStep = 2, .Headers = {"49 49 2A 00", "4D 4D 2A 00", "4D 4D 00 2A"},
     .Check = TCheckFamily::Tiff, .Photo = TPhotoKind::Raw},
    {.Ext = "PNG"},
    {.Ext = "AVI", .HeaderStep = 3, .Headers = {"52 49 46 46 .. .. .. .. 41 56"}, .Check = TCheckFamily::Avi},
    {.Ext = "MPG", .HeaderStep = 4, .Headers = {"00 00 01 BA 21 00 01 00", "00 00 01 B3", "00 00 01 BA 44 00 04 00 04 01"},
     .Check = TCheckFamily::ProgramStream},
    // MOV has no row of its own: the QuickTime atom test after the rows names it.
    {.Ext = "MOV", .Check = TCheckFamily::IsoMovie},
    {.Ext = "NEF", .HeaderStep = 11, .Headers = {"4D 4D 00 2A", "49 49 2A 00"}, .Check = TCheckFamily::Tiff,
     .Photo = TPhotoKind::Raw, .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "CRW", .HeaderStep = 12, .Headers = {"49 49 .. 00 .. .. 48 45 41 50", "4D 4D .. 00 .. .. 48 45 41 50"}},
    {.Ext = "CR2", .HeaderStep = 13, .Headers = {"49 49 2A 00 .. .. .. .. 43 52"}, .Check = TCheckFamily::Tiff,
     .Photo = TPhotoKind::Raw, .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "X3F", .HeaderStep = 6, .Headers = {"46 4F 56 62"}},
    {.Ext = "DCR", .HeaderStep = 10, .Headers = {"58 46 49 52", "4D 4D 00 2A"}, .Check = TCheckFamily::Tiff,
     .Photo = TPhotoKind::Raw, .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "ORF", .HeaderStep = 7, .Headers = {"49 49 52 53", "49 49 52 4F"}, .Check = TCheckFamily::Tiff,
     .Photo = TPhotoKind::Raw, .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "RAF", .HeaderStep = 8, .Headers = {"46 55 4A 49 46 49 4C 4D 43 43"}, .Photo = TPhotoKind::Raw},
    {.Ext = "MRW", .HeaderStep = 9, .Headers = {"00 4D 52 4D 00"}},
    {.Ext = "MP4", .HeaderStep = 5, .SetsIsoMedia = true,
     .Headers = {"00 00 00 .. 66 74 79 70 6D 70", "00 00 00 .. 66 74 79 70 69 73"}, .Check = TCheckFamily::IsoMovie},
    {.Ext = "MP3", .HeaderStep = 14,
     .Headers = {"FF FB 92 .. 00 00", "FF FB 80 .. 00 00", "FF FB 90 .. 00 00", "49 44 33 03 00 00", "49 44 33 02 00 00"},
     .Check = TCheckFamily::Mp3},
    {.Ext = "ASF", .HeaderStep = 15, .Headers = {"30 26 B2"}, .Check = TCheckFamily::Asf},
    {.Ext = "WAV", .HeaderStep = 16, .Headers = {"52 49 46 46 .. .. .. .. 57 41"}, .Check = TCheckFamily::Wav},
    {.Ext = "ZIP"},
    {.Ext = "RAR"},
    {.Ext = "SRF", .HeaderStep = 17, .Headers = {"49 49 2A 00"}, .Check = TCheckFamily::Tiff, .Photo = TPhotoKind::Raw},
    {.Ext = "PEF", .HeaderStep = 18, .Headers = {"4D 4D 00 2A", "49 49 2A 00"}, .Check = TCheckFamily::Tiff,
     .Photo = TPhotoKind::Raw, .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "RAW", .HeaderStep = 19, .Headers = {"49 49 55 00"}, .Check = TCheckFamily::Tiff, .Photo = TPhotoKind::Raw},
    {.Ext = "3GP", .HeaderStep = 20, .SetsIsoMedia = true, .Headers = {"00 00 00 .. 66 74 79 70 33 67"},
     .Check = TCheckFamily::IsoMovie},
    {.Ext = "MTS", .HeaderStep = 21, .SetsIsoMedia = true,
     .Headers = {"00 00 00 .. 66 74 79 70 6D 6F", ".. .. .. .. 47 40 00 10"}, .Check = TCheckFamily::TransportStream},
    {.Ext = "DNG", .HeaderStep = 22, .Headers = {"4D 4D 00 2A", "49 49 2A 00"}, .Check = TCheckFamily::Tiff,
     .Photo = TPhotoKind::Raw, .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "AMR", .HeaderStep = 23, .Headers = {"23 21 41 4D 52"}, .Check = TCheckFamily::Amr},
    // Deep-only rows.
    {.Ext = "CR3", .DeepOnly = true, .Check = TCheckFamily::IsoMedia, .Photo = TPhotoKind::Raw,
     .Summary = TSummaryKind::OwnTags, .Deep = TDeepKind::Photo},
    {.Ext = "HEIC", .DeepOnly = true, .Check = TCheckFamily::IsoStill, .Photo = TPhotoKind::Heif,
     .Summary = TSummaryKind::OwnTags, .Deep = TDeepKind::Photo},
    {.Ext = "HEIF", .DeepOnly = true, .Check = TCheckFamily::IsoStill, .Photo = TPhotoKind::Heif,
     .Summary = TSummaryKind::OwnTags, .Deep = TDeepKind::Photo},
    {.Ext = "AVIF", .DeepOnly = true, .Check = TCheckFamily::IsoStill, .Photo = TPhotoKind::Heif,
     .Summary = TSummaryKind::OwnTags, .Deep = TDeepKind::Photo},
    {.Ext = "M4A", .DeepOnly = true, .Check = TCheckFamily::IsoMedia, .Deep = TDeepKind::Audio},
    {.Ext = "ARW", .DeepOnly = true, .Check = TCheckFamily::Tiff, .Photo = TPhotoKind::Raw, .Summary = TSummaryKind::OwnTags,
     .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "NRW", .DeepOnly = true, .Check = TCheckFamily::Tiff, .Photo = TPhotoKind::Raw, .Summary = TSummaryKind::OwnTags,
     .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "RW2", .DeepOnly = true, .Check = TCheckFamily::Tiff, .Photo = TPhotoKind::Raw, .Summary = TSummaryKind::OwnTags,
     .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "RWL", .DeepOnly = true, .Check = TCheckFamily::Tiff, .Photo = TPhotoKind::Raw, .Summary = TSummaryKind::OwnTags,
     .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "SRW", .DeepOnly = true, .Check = TCheckFamily::Tiff, .Photo = TPhotoKind::Raw, .Summary = TSummaryKind::OwnTags,
     .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "3FR", .DeepOnly = true, .Check = TCheckFamily::Tiff, .Photo = TPhotoKind::Raw, .Summary = TSummaryKind::OwnTags,
     .Deep = TDeepKind::Photo, .MakerNamed = true},
    // Phase One keeps the raw data in its own directory, not in TIFF strips: no check.
    {.Ext = "IIQ", .DeepOnly = true, .Photo = TPhotoKind::Raw, .Summary = TSummaryKind::OwnTags,
     .Deep = TDeepKind::Photo, .MakerNamed = true},
    {.Ext = "FLAC", .DeepOnly = true, .Check = TCheckFamily::Flac, .Deep = TDeepKind::Audio},
    {.Ext = "MXF", .DeepOnly = true, .Check = TCheckFamily::Mxf, .Deep = TDeepKind::Video},
}};
// clang-format on

// The row whose Ext equals ext exactly (case-sensitive); null when none.
constexpr const TFileTypeDescriptor* FileTypeOf(std::string_view ext) {
  for (const TFileTypeDescriptor& row : kFileTypes) {
    if (row.Ext == ext) return &row;
  }
  return nullptr;
}

}  // namespace snapsalvager
