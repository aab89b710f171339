// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The preview page's background checks through the sandboxed decode helper: badges and
// verdicts on the thumbnails, ticking only the whole files, a decoder that crashes or hangs,
// the window answering meanwhile, video frames and waveforms, sorting, and the grid following
// the window's size. Run on the offscreen platform and, by scripts/test-x11.sh, in an X server.
#include <QComboBox>
#include <QElapsedTimer>
#include <QtTest>

#include <cstring>
#include <memory>

#include "PreviewTestSupport.h"
#include "WizardTestSupport.h"
#include "fixtures/MediaSamples.h"
#include "wizard/Thumbnail.h"

using namespace snapsalvager;
using namespace snapsalvager::test;
using TKind = decode::TVerdictKind;
using TBadge = TJpegThumb::TBadge;

namespace {

std::vector<uint8_t> Photo(int width, int height, int texture = 0) {
  fixtures::JpegOptions o;
  o.Width = width;
  o.Height = height;
  o.Texture = texture;
  return fixtures::EncodeJpeg(o);
}

std::vector<uint8_t> CutPhoto() {
  std::vector<uint8_t> bytes = Photo(800, 600, 10);
  bytes.resize(bytes.size() / 2);
  return bytes;
}

std::vector<uint8_t> Saying(const char* word) {
  std::vector<uint8_t> bytes(4096, 0);
  std::copy(word, word + std::strlen(word), bytes.begin());
  return bytes;
}

const fixtures::MediaSample* SampleOfType(const std::string& type) {
  if (!fixtures::MediaSampleToolsAvailable()) return nullptr;
  for (const fixtures::MediaSample& s : fixtures::WholeMediaSamples())
    if (s.Type == type) return &s;
  return nullptr;
}

QImage Picture(const char* name) {
  return QImage(QStringLiteral(":/images/%1.bmp").arg(QLatin1String(name))).convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class TestPreviewChecks : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TScriptedPrompter> prompter;
  std::unique_ptr<TMainForm> form;
  std::unique_ptr<TScanLeftovers> scan;

  Ui::PreviewPage& page() { return form->previewUi; }
  TPreviewPage& preview() { return form->PreviewPage; }

  void Enter() {
    form->ShowPage(form->ui.T4);
    form->EnterPreviewStep();
  }
  bool WaitForChecks(int timeoutMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (preview().Checker && preview().Checker->Running() && clock.elapsed() < timeoutMs)
      QTest::qWait(20);
    return preview().Checker && !preview().Checker->Running();
  }
  QStringList Captions() {
    QStringList out;
    for (int k = 0; k < page().CFileList->count(); ++k) out << page().CFileList->itemText(k);
    return out;
  }
  QStringList ShownNames() {
    QStringList names;
    for (int s = 0; s < preview().SlotBoxes.size(); ++s)
      if (!preview().SlotBoxes[s]->isHidden()) names << preview().SlotBoxes[s]->text();
    return names;
  }
  void Sort(TPreviewOrder order) {
    page().CSort->setCurrentIndex(static_cast<int>(order));
    emit page().CSort->activated(static_cast<int>(order));
  }

 private slots:
  void init() {
    prompter = std::make_unique<TScriptedPrompter>();
    form = MakeMainForm();
    form->show();
    scan = std::make_unique<TScanLeftovers>(*form);
  }
  void cleanup() {
    form.reset();
    scan.reset();
    prompter.reset();
  }

  void EachVerdictGivesItsBadgeAndTooltipLine() {
    struct TCase {
      const char* Type;
      std::vector<uint8_t> Bytes;
      TKind Kind;
      TBadge Badge;
    };
    const std::vector<TCase> cases = {
        {"JPG", Photo(320, 240), TKind::Whole, TBadge::None},
        {"JPG", CutPhoto(), TKind::Damaged, TBadge::Damaged},
        {"JPG", std::vector<uint8_t>(4096, 0x55), TKind::Unreadable, TBadge::Unreadable},
        {"ZIP", std::vector<uint8_t>(1024, 7), TKind::NotChecked, TBadge::None},
    };
    for (const TCase& c : cases) scan->Add(c.Type, c.Bytes);
    Enter();
    QVERIFY(WaitForChecks());
    for (int s = 0; s < static_cast<int>(cases.size()); ++s) {
      const decode::TVerdict& verdict = preview().Checks[static_cast<size_t>(s)].Verdict;
      QCOMPARE(verdict.Kind, cases[s].Kind);
      TJpegThumb* thumb = preview().SlotThumbs[s];
      if (!thumb) {  // the unreadable photo has no thumbnail, only its tick box
        QCOMPARE(cases[s].Kind, TKind::Unreadable);
        continue;
      }
      QCOMPARE(thumb->Badge(), cases[s].Badge);
      const QString words = cases[s].Kind == TKind::Damaged
                                ? EngineText(TText::VerdictDamagedAt, {std::to_string(verdict.Percent)})
                            : cases[s].Kind == TKind::Whole      ? EngineText(TText::VerdictWhole)
                            : cases[s].Kind == TKind::Unreadable ? EngineText(TText::VerdictUnreadable)
                                                                        : QString();
      QCOMPARE(thumb->toolTip(), words.isEmpty() ? QStringLiteral("N/A") : QStringLiteral("N/A\n") + words);
    }
    // Half the photo's bytes: it decodes to somewhere in between.
    QVERIFY(preview().Checks[1].Verdict.Percent > 10 && preview().Checks[1].Verdict.Percent < 90);
    // The badge is drawn over the picture's top right corner.
    const QImage shot = preview().SlotThumbs[1]->grab().toImage();
    const QRgb mark = shot.pixel(94, 20);  // left of the sign in the mark at (91, 12)-(107, 28)
    QVERIFY2(qRed(mark) > 180 && qBlue(mark) < 80, qPrintable(QString::number(mark, 16)));
  }

  void AVerdictReachesAPageShownBeforeItCame() {
    scan->Add("JPG", CutPhoto());
    Enter();
    TJpegThumb* thumb = preview().SlotThumbs[0];
    QVERIFY(WaitForChecks());
    QCOMPARE(preview().SlotThumbs[0], thumb);
    QCOMPARE(thumb->Badge(), TBadge::Damaged);
  }

  void TickOnlyWholeIsOfferedOnceCheckedAndTicksTheWholeOnes() {
    scan->Add("JPG", Photo(64, 48));
    scan->Add("JPG", CutPhoto());
    scan->Add("ZIP", std::vector<uint8_t>(1024, 7));
    scan->Add("JPG", Photo(96, 64));
    scan->AddClips(5);  // unreadable clips, the second page
    form->FoundFiles[3].Selected = false;
    Enter();
    QVERIFY(WaitForChecks());
    QVERIFY(page().LS3->isEnabled());
    QCOMPARE(page().LS3->text(), Tr("只选完好的文件"));
    QTest::mouseClick(page().LS3, Qt::LeftButton);
    QCOMPARE(form->CountSelected(), 2);
    QVERIFY(form->FoundFiles[0].Selected);
    QVERIFY(form->FoundFiles[3].Selected);
    QCOMPARE(page().LNum2->text(), QStringLiteral("2"));
    const QList<bool> boxes = {true, false, false, true, false, false};
    for (int s = 0; s < 6; ++s) QCOMPARE(preview().SlotBoxes[s]->isChecked(), boxes[s]);
  }

  void WhileChecksRunTheLinkCountsAndTheWindowAnswers() {
    // The stand-in hangs on every clip until the client's time limit ends it.
    preview().CheckOptions.Helper = SNAPSALVAGER_FAULTY_HELPER;
    preview().CheckOptions.TimeoutMs = 1500;
    for (int i = 0; i < 4; ++i) scan->Add("MOV", Saying("HANG"));
    Enter();
    QVERIFY(!page().LS3->isEnabled());
    QCOMPARE(page().LS3->text(), Tr("正在检查：%1/%2").arg(0).arg(4));
    // Timers keep their time while the helpers are stuck: the GUI thread never waits on them.
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longestGap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      longestGap = std::max(longestGap, clock.elapsed() - last);
      last = clock.elapsed();
    });
    tick.start(10);
    QTest::qWait(1000);
    tick.stop();
    QVERIFY2(longestGap < 250, qPrintable(QString::number(longestGap)));
    QTest::mouseClick(page().LS2, Qt::LeftButton);  // the page answers clicks meanwhile
    QCOMPARE(page().LNum2->text(), QStringLiteral("0"));
    QVERIFY(WaitForChecks());
    for (size_t i = 0; i < 4; ++i) QCOMPARE(preview().Checks[i].Verdict.Reason, std::string("timeout"));
  }

  void ACrashingDecoderMarksItsFileAndTheRestGoOn() {
    preview().CheckOptions.Helper = SNAPSALVAGER_FAULTY_HELPER;
    scan->Add("MOV", Saying("OK"));
    scan->Add("MOV", Saying("ABORT"));
    scan->Add("MOV", Saying("OK"));
    Enter();
    QVERIFY(WaitForChecks());
    const QList<TBadge> badges = {TBadge::None, TBadge::CouldNotCheck, TBadge::None};
    for (int s = 0; s < 3; ++s) QCOMPARE(preview().SlotThumbs[s]->Badge(), badges[s]);
    QCOMPARE(preview().SlotThumbs[1]->toolTip(), "N/A\n" + EngineText(TText::VerdictCouldNotCheck));
    QCOMPARE(preview().SlotThumbs[2]->toolTip(), "N/A\n" + EngineText(TText::VerdictWhole));
  }

  void WithoutAHelperPhotosStillShowAndTheirFilesSayNotChecked() {
    preview().CheckOptions.Helper = "/nonexistent/snapsalvager-decode";
    scan->Add("JPG", Photo(160, 120));
    Enter();
    QCOMPARE(preview().SlotThumbs[0]->PicStatus(), TJpegDecodeStatus::Image);
    QVERIFY(WaitForChecks());
    QCOMPARE(preview().Checks[0].Verdict.Reason, std::string("no-helper"));
    QCOMPARE(preview().SlotThumbs[0]->Badge(), TBadge::CouldNotCheck);
  }

  void LeavingThePageStopsTheChecks() {
    preview().CheckOptions.Helper = SNAPSALVAGER_FAULTY_HELPER;
    for (int i = 0; i < 3; ++i) scan->Add("MOV", Saying("HANG"));
    Enter();
    QVERIFY(preview().Checker->Running());
    // At once, even when a helper is still starting: it is not waited for to time out.
    QElapsedTimer stopping;
    stopping.start();
    form->ShowPage(form->ui.T3);
    QVERIFY(!preview().Checker->Running());
    QVERIFY2(stopping.elapsed() < 5000, qPrintable(QString::number(stopping.elapsed())));
    QTest::qWait(100);  // nothing posted before the stop lands
    for (const TFileCheck& c : preview().Checks) QCOMPARE(c.Verdict.Kind, TKind::NotChecked);
  }

  void AVideoShowsAFrameAndAnAudioFileItsWaveformWithItsLength() {
    const fixtures::MediaSample* video = SampleOfType("MP4");
    const fixtures::MediaSample* audio = SampleOfType("WAV");
    if (!video || !audio) QSKIP("the media tools are not installed");
    scan->Add("MP4", video->Bytes);
    scan->Add("WAV", audio->Bytes);
    scan->Add("MOV", std::vector<uint8_t>(600, 1));  // nothing decodes: the placeholder stays
    Enter();
    QVERIFY(WaitForChecks());
    const QImage placeholders[] = {Picture(English() ? "pvvideo_en" : "pvvideo"),
                                   Picture(English() ? "pvaudio_en" : "pvaudio")};
    for (int s = 0; s < 2; ++s) {
      QVERIFY(!preview().Checks[static_cast<size_t>(s)].Preview.isNull());
      QVERIFY(preview().SlotThumbs[s]->Offscreen().convertToFormat(QImage::Format_RGB32) != placeholders[s]);
    }
    QCOMPARE(preview().SlotThumbs[2]->Offscreen().convertToFormat(QImage::Format_RGB32), placeholders[0]);
    QVERIFY(preview().Checks[1].Verdict.DurationMs > 0);
    QCOMPARE(ClipLength(1000), QStringLiteral("0:01"));
    QCOMPARE(ClipLength(754'400), QStringLiteral("12:34"));
    QCOMPARE(ClipLength(3'723'000), QStringLiteral("1:02:03"));
    QCOMPARE(ClipLength(0), QString());
  }

  void SortingOrdersThePagesByKindDateAndVerdict() {
    scan->Add("MOV", std::vector<uint8_t>(600, 1));
    scan->Add("JPG", Photo(64, 48), "Shoot Time: 05/17/2010 14:23:05|Model: X|Image Size: 64x48");
    scan->Add("MP3", std::vector<uint8_t>(600, 2));
    scan->Add("JPG", CutPhoto(), "Shoot Time: 12/01/2008 09:00:00|Model: X|Image Size: 800x600");
    scan->Add("ZIP", std::vector<uint8_t>(600, 3));
    scan->Add("CR2", std::vector<uint8_t>(600, 4));
    scan->Add("JPG", Photo(32, 32));  // no date
    Enter();
    QVERIFY(WaitForChecks());
    Sort(TPreviewOrder::Kind);
    QCOMPARE(ShownNames(), (QStringList{"File0002.JPG", "File0004.JPG", "File0007.JPG", "File0006.CR2",
                                        "File0001.MOV", "File0003.MP3"}));
    QCOMPARE(Captions(), (QStringList{"Page #1    File0002.JPG - File0003.MP3",
                                      "Page #2    File0005.ZIP - File0005.ZIP"}));
    Sort(TPreviewOrder::Date);
    QCOMPARE(ShownNames().mid(0, 3), (QStringList{"File0004.JPG", "File0002.JPG", "File0001.MOV"}));
    Sort(TPreviewOrder::Verdict);
    // Whole, damaged, unreadable (the placeholders' bytes), then the types no decoder knows.
    QCOMPARE(ShownNames().mid(0, 2), (QStringList{"File0002.JPG", "File0007.JPG"}));
    QCOMPARE(ShownNames()[2], QStringLiteral("File0004.JPG"));
    QCOMPARE(page().CFileList->itemText(1), QStringLiteral("Page #2    File0005.ZIP - File0005.ZIP"));
    Sort(TPreviewOrder::Number);
    QCOMPARE(ShownNames().first(), QStringLiteral("File0001.MOV"));
    // A tick follows its file whatever the order.
    QTest::mouseClick(preview().SlotBoxes[1], Qt::LeftButton);
    QVERIFY(!form->FoundFiles[1].Selected);
    Sort(TPreviewOrder::Kind);
    QVERIFY(!preview().SlotBoxes[0]->isChecked());
  }

  void TheGridFollowsTheWindowAndPagesByWhatFits() {
    preview().CheckFiles = false;
    scan->AddClips(45);
    form->ShowPage(form->ui.T4);
    Enter();
    QCOMPARE(preview().FilesPerPage(), 6);
    QCOMPARE(page().CFileList->count(), 8);
    QVERIFY(form->maximumWidth() > form->minimumWidth());  // resizable on this page
    const QSize designed = form->size();
    form->resize(designed + QSize(2 * 140, 2 * 120));
    QTRY_COMPARE(preview().FilesPerPage(), 20);
    QCOMPARE(page().CFileList->count(), 3);
    QCOMPARE(page().CFileList->itemText(0), QStringLiteral("Page #1    File0001.MOV - File0020.MOV"));
    QCOMPARE(preview().ThumbnailList.size(), 20);
    QCOMPARE(preview().ThumbnailList[19]->geometry(), QRect(8 + 4 * 140, 1 + 3 * 120, 120, 100));
    QCOMPARE(preview().SlotBoxes[19]->pos(), QPoint(11 + 4 * 140, 100 + 3 * 120));
    // Every thumbnail and tick box lies inside the grown frame.
    const QRect area = page().SBPreview->rect();
    for (int s = 0; s < 20; ++s) {
      QVERIFY(area.contains(preview().ThumbnailList[s]->geometry()));
      QVERIFY(area.adjusted(0, 0, 0, 2).contains(preview().SlotBoxes[s]->geometry()));
    }
    // The column on the right and the buttons keep beside and below it.
    QCOMPARE(page().LS1->x(), 452 + 280);
    QCOMPARE(form->ui.BNext->geometry().bottomRight(), QPoint(645 + 280, 479 + 240));
    // Page 2 holds the next twenty, with their ticks.
    QTest::mouseClick(page().BPageDown, Qt::LeftButton);
    QCOMPARE(ShownNames().first(), QStringLiteral("File0021.MOV"));
    QTest::mouseClick(preview().SlotBoxes[12], Qt::LeftButton);
    QVERIFY(!form->FoundFiles[32].Selected);
    // Smaller again: the page holding the first file on show, six a page.
    form->resize(designed);
    QTRY_COMPARE(preview().FilesPerPage(), 6);
    QCOMPARE(ShownNames().first(), QStringLiteral("File0019.MOV"));
    // Other pages keep the designed size.
    form->ShowPage(form->ui.T3);
    QCOMPARE(form->size(), designed);
    QCOMPARE(form->minimumSize(), form->maximumSize());
  }

  void GridForCountsWhatFits() {
    QCOMPARE(TPreviewPage::GridFor({416, 236}), QSize(3, 2));
    QCOMPARE(TPreviewPage::GridFor({547, 355}), QSize(3, 2));
    QCOMPARE(TPreviewPage::GridFor({548, 356}), QSize(4, 3));
    QCOMPARE(TPreviewPage::GridFor({10, 10}), QSize(1, 1));
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestPreviewChecks)
#include "tst_PreviewChecks.moc"
