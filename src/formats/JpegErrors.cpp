#include "formats/JpegErrors.h"

namespace snapsalvager {
namespace {

void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  auto* errors = reinterpret_cast<TJpegErrors*>(cinfo->err);
  ++errors->Warnings;
  if (errors->WarningIsError) FailJpeg(cinfo);
}

void OnOutput(j_common_ptr) {}

void OnErrorExit(j_common_ptr cinfo) { FailJpeg(cinfo); }

}  // namespace

void FailJpeg(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TJpegErrors*>(cinfo->err)->Jump, 1); }

void ArmJpegErrors(jpeg_decompress_struct* cinfo, TJpegErrors* errors, bool warningIsError) {
  cinfo->err = jpeg_std_error(&errors->Manager);
  errors->Manager.error_exit = OnErrorExit;
  errors->Manager.emit_message = OnMessage;
  errors->Manager.output_message = OnOutput;
  errors->Warnings = 0;
  errors->WarningIsError = warningIsError;
}

}  // namespace snapsalvager
