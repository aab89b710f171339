// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Filling one preview page in the window: six 12-megapixel camera photos from their temporary
// files, decoded, rendered into their thumbnails and shown. Goal: under 150 ms a page. And a
// window with 50,000 found files: its first page and the save of them all.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>

#include <chrono>
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
    if (form->PreviewPage.ThumbnailList.size() != 6 ||
        form->PreviewPage.ThumbnailList.first()->PicStatus() != TJpegDecodeStatus::Image) {
      state.SkipWithError("the page did not show six decoded photos");
      break;
    }
  }
  form.reset();
  fs::remove_all(dir);
}
BENCHMARK(BM_FillPreviewPageOfSixCameraPhotos)->Unit(benchmark::kMillisecond)->UseRealTime();

// A big card's worth of small photos in the window: the time from the scan's end to the
// first preview page shown, a tick, and the save of every file. Goals: first page under a
// second, a save at the command line's speed (bench/many-files.sh).
void BM_PreviewAndSaveFiftyThousandFiles(benchmark::State& state) {
  const size_t count = static_cast<size_t>(state.range(0));
  const fs::path dir = fs::temp_directory_path() / ("many-files-bench-" + std::to_string(::getpid()));
  const std::vector<uint8_t> photo = fixtures::EncodeJpeg(64, 48);  // a few KB, as in bench/many-files.sh
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(dir);
    fs::create_directories(dir / "TmpFiles");
    test::TScriptedPrompter prompter;
    auto form = test::MakeMainForm();
    form->show();
    for (uint32_t i = 1; i <= count; ++i) {
      const fs::path temp = dir / "TmpFiles" / TemporaryFileName(i, "JPG");
      fixtures::WriteTemporaryFile(temp, photo);
      TFoundFile f;
      f.Name = RecoveredFileName(i, "JPG");
      f.Ext = "JPG";
      f.Size = static_cast<int64_t>(photo.size());
      f.TempFile = temp;
      f.Info = "N/A";
      f.Selected = true;
      form->FoundFiles.Append(std::move(f));
    }
    form->ShowPage(form->ui.T4);
    QApplication::processEvents();
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    form->EnterPreviewStep();
    QApplication::processEvents();
    const double firstPage = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    start = std::chrono::steady_clock::now();
    form->SaveSelectedFiles(QString::fromStdString(dir.string()));
    const double save = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["first_page_s"] = firstPage;
    state.counters["save_all_s"] = save;
    state.PauseTiming();
    size_t saved = 0;
    // The files, not the card map saved beside them.
    for (fs::directory_iterator it(dir), end; it != end; ++it)
      saved += it->is_regular_file() && it->path().filename() != "card-map.png" ? 1 : 0;
    if (saved != count) state.SkipWithError("not every file was saved");
    form.reset();
    fs::remove_all(dir);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PreviewAndSaveFiftyThousandFiles)->Arg(50000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
