// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "formats/JpegErrors.h"

namespace snapsalvager {
namespace {

TJpegErrors* ErrorsOf(j_common_ptr cinfo) { return reinterpret_cast<TJpegErrors*>(cinfo->err); }

void Remember(j_common_ptr cinfo, int code) {
  TJpegErrors* errors = ErrorsOf(cinfo);
  if (errors->Broke) return;
  errors->Broke = true;
  errors->BreakCode = code;
  if (cinfo->is_decompressor) {
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    errors->BreakRow = d->input_iMCU_row;
    errors->BreakRows = d->total_iMCU_rows;
  }
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  TJpegErrors* errors = ErrorsOf(cinfo);
  Remember(cinfo, cinfo->err->msg_code);
  ++errors->Warnings;
  if (errors->WarningIsError) FailJpeg(cinfo);
}

void OnOutput(j_common_ptr) {}

void OnErrorExit(j_common_ptr cinfo) { FailJpeg(cinfo); }

}  // namespace

void FailJpeg(j_common_ptr cinfo) {
  Remember(cinfo, -1);
  std::longjmp(ErrorsOf(cinfo)->Jump, 1);
}

void ArmJpegErrors(jpeg_decompress_struct* cinfo, TJpegErrors* errors, bool warningIsError) {
  cinfo->err = jpeg_std_error(&errors->Manager);
  errors->Manager.error_exit = OnErrorExit;
  errors->Manager.emit_message = OnMessage;
  errors->Manager.output_message = OnOutput;
  errors->Warnings = 0;
  errors->WarningIsError = warningIsError;
  errors->Broke = false;
  errors->BreakCode = 0;
  errors->BreakRow = 0;
  errors->BreakRows = 0;
}

}  // namespace snapsalvager
