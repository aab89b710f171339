// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The error manager keeps libjpeg from ending the process: errors come back to the caller,
// warnings are counted or, when asked, end the decode.
#include "formats/JpegErrors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fixtures/Jpegs.h"

namespace snapsalvager {
namespace {

struct TDecode {
  jpeg_decompress_struct Cinfo;
  TJpegErrors Errors;
  bool Created;
};

// Rows decoded, or -1 when the error manager jumped back. C-style: nothing with a
// destructor lives in the frame of the setjmp.
int DecodeRows(TDecode* d, const uint8_t* data, size_t size, bool warningIsError) {
  std::memset(d, 0, sizeof *d);
  ArmJpegErrors(&d->Cinfo, &d->Errors, warningIsError);
  if (setjmp(d->Errors.Jump)) return -1;
  jpeg_create_decompress(&d->Cinfo);
  d->Created = true;
  jpeg_mem_src(&d->Cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d->Cinfo, TRUE);
  jpeg_start_decompress(&d->Cinfo);
  JSAMPARRAY row = (*d->Cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d->Cinfo), JPOOL_IMAGE,
                                                d->Cinfo.output_width * d->Cinfo.output_components, 1);
  while (d->Cinfo.output_scanline < d->Cinfo.output_height) jpeg_read_scanlines(&d->Cinfo, row, 1);
  jpeg_finish_decompress(&d->Cinfo);
  return static_cast<int>(d->Cinfo.output_scanline);
}

int Decode(const std::vector<uint8_t>& bytes, bool warningIsError, int* warnings) {
  TDecode d;
  const int rows = DecodeRows(&d, bytes.data(), bytes.size(), warningIsError);
  *warnings = d.Errors.Warnings;
  if (d.Created) jpeg_destroy_decompress(&d.Cinfo);
  return rows;
}

TEST(JpegErrorsTest, ErrorsReturnAndWarningsAreCountedOrStopTheDecode) {
  const std::vector<uint8_t> photo = fixtures::EncodeJpeg(64, 48);
  int warnings = -1;
  EXPECT_EQ(Decode(photo, true, &warnings), 48);
  EXPECT_EQ(warnings, 0);

  const std::vector<uint8_t> notJpeg(4096, 0x5A);
  EXPECT_EQ(Decode(notJpeg, false, &warnings), -1);

  // Without its EOI: libjpeg warns of the early end of the data.
  const std::vector<uint8_t> cut(photo.begin(), photo.end() - 2);
  EXPECT_EQ(Decode(cut, false, &warnings), 48);
  EXPECT_GE(warnings, 1);
  EXPECT_EQ(Decode(cut, true, &warnings), -1);
  EXPECT_EQ(warnings, 1);
}

}  // namespace
}  // namespace snapsalvager
