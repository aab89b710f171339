// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The one libjpeg error manager. libjpeg's own calls exit() on an error; this one longjmps
// back to the setjmp of the function that armed it, prints nothing and counts warnings
// (corrupt data), or treats a warning as an error when the caller wants no damage at all.
//
// The function holding the setjmp must be plain C-style code: no object with a destructor
// may live in its frame, since the longjmp skips destructors.
#pragma once

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>

namespace snapsalvager {

struct TJpegErrors {
  jpeg_error_mgr Manager;  // first: libjpeg hands back its address as cinfo->err
  std::jmp_buf Jump;       // set by the caller (setjmp(errors.Jump)) before each libjpeg call
  int Warnings;
  bool WarningIsError;
  // The first warning or error and where a decompression stood when it came: libjpeg's
  // message code (-1 for an error exit) and the iMCU row read out of the scan's rows.
  bool Broke;
  int BreakCode;
  unsigned BreakRow;
  unsigned BreakRows;
};

// Installs errors in cinfo (before jpeg_create_decompress): an error or, with
// warningIsError, a warning longjmps to errors->Jump; warnings are counted in Warnings and
// the first of them or the error is kept in Broke/BreakCode/BreakRow.
void ArmJpegErrors(jpeg_decompress_struct* cinfo, TJpegErrors* errors, bool warningIsError);

// Ends the libjpeg call under way as an error does: a source manager or progress monitor
// calls it when the data runs out or turns hostile.
[[noreturn]] void FailJpeg(j_common_ptr cinfo);

}  // namespace snapsalvager
