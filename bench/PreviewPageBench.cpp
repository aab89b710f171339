// Filling one preview page in the window: six 12-megapixel camera photos from their temporary
// files, decoded, rendered into their thumbnails and shown. Goal: under 150 ms a page.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>

#include <filesystem>
#include <memory>
#include <string>

#include "WizardTestSupport.h"
#include "fixtures/Jpegs.h"
#include "wizard/Thumbnail.h"
#include "wizard/WizardWindow.h"

namespace fs = std::filesystem;
using namespace snapsalvager;

namespace {

// Two pages of the same six photos, so every iteration fills a page anew.
void BM_FillPreviewPageOfSixCameraPhotos(benchmark::State& state) {
  const fs::path dir =
      fs::temp_directory_path() / ("preview-page-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  test::TScriptedPrompter prompter;
  auto form = test::MakeMainForm();
  form->show();
  for (uint32_t i = 1; i <= 6; ++i) {
    fixtures::WriteTemporaryFile(dir / TemporaryFileName(i, "JPG"), fixtures::CameraJpeg12MP(i));
  }
  // Each page holds the six different photos, as a real page holds six different files.
  for (uint32_t page = 0; page < 2; ++page) {
    for (uint32_t i = 1; i <= 6; ++i) {
      const fs::path temp = dir / TemporaryFileName(i, "JPG");
      TFoundFile f;
      f.Name = RecoveredFileName(i + 6 * page, "JPG");
      f.Ext = "JPG";
      f.Size = static_cast<int64_t>(fs::file_size(temp));
      f.TempFile = temp;
      f.Info = "N/A";
      form->FoundFiles.Append(std::move(f));
    }
  }
  form->ShowPage(form->ui.T4);
  form->EnterPreviewStep();
  QComboBox* list = form->previewUi.CFileList;
  int page = 0;
  for (auto _ : state) {
    page = 1 - page;
    list->setCurrentIndex(page);
    form->CFileListChange();
    if (form->ThumbnailList.size() != 6 ||
        form->ThumbnailList.first()->PicStatus() != TJpegDecodeStatus::Image) {
      state.SkipWithError("the page did not show six decoded photos");
      break;
    }
  }
  form.reset();
  fs::remove_all(dir);
}
BENCHMARK(BM_FillPreviewPageOfSixCameraPhotos)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
