// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The preview page: pages of six, captions, paging, ticks kept in the records, select all,
// thumbnails and placeholders, over found files as a scan leaves them.
#include <QComboBox>
#include <QPointer>
#include <QtTest>

#include "PreviewTestSupport.h"
#include "WizardTestSupport.h"
#include "wizard/Thumbnail.h"

using namespace snapsalvager;
using namespace snapsalvager::test;

namespace {

QString NoteTailText() { return Tr("你可以预览并选择所需的文件，然后按“下一步”进行保存。"); }

QImage Picture(const char* name) {
  return QImage(QStringLiteral(":/images/%1.bmp").arg(QLatin1String(name)))
      .convertToFormat(QImage::Format_RGB32);
}

std::vector<uint8_t> QuadrantPhoto(int width = 640, int height = 480) {
  fixtures::JpegOptions o;
  o.Width = width;
  o.Height = height;
  return fixtures::EncodeJpeg(o);
}

bool Near(QRgb got, fixtures::Rgb want, int tolerance = 30) {
  return std::abs(qRed(got) - want.R) <= tolerance && std::abs(qGreen(got) - want.G) <= tolerance &&
         std::abs(qBlue(got) - want.B) <= tolerance;
}

}  // namespace

class TestPreviewPages : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TScriptedPrompter> prompter;
  std::unique_ptr<TMainForm> form;
  std::unique_ptr<TScanLeftovers> scan;

  Ui::PreviewPage& page() { return form->previewUi; }

  void Enter() {
    form->ShowPage(form->ui.T4);
    form->EnterPreviewStep();
  }
  void GoTo(int pageIndex) {
    page().CFileList->setCurrentIndex(pageIndex);
    emit page().CFileList->activated(pageIndex);
  }
  QStringList Captions() {
    QStringList out;
    for (int k = 0; k < page().CFileList->count(); ++k) out << page().CFileList->itemText(k);
    return out;
  }
  QStringList VisibleBoxes() {
    QStringList names;
    for (QCheckBox* box : form->PreviewPage.SlotBoxes)
      if (!box->isHidden()) names << box->text();
    return names;
  }

 private slots:
  void init() {
    prompter = std::make_unique<TScriptedPrompter>();
    form = MakeMainForm();
    form->PreviewPage.CheckFiles = false;  // the checks' badges and tooltips: tst_PreviewChecks
    form->show();
    scan = std::make_unique<TScanLeftovers>(*form);
  }
  void cleanup() {
    form.reset();
    scan.reset();
    prompter.reset();
  }

  void SixFilesMakeOnePageNamingTheFirstAndSixth() {
    scan->AddClips(6);
    Enter();
    QCOMPARE(Captions(), QStringList{QStringLiteral("Page #1    File0001.MOV - File0006.MOV")});
    QCOMPARE(page().LPage->text(), QStringLiteral("1/1"));
    QVERIFY(!page().BPageUp->isEnabled());
    QVERIFY(!page().BPageDown->isEnabled());
    QCOMPARE(VisibleBoxes(), (QStringList{"File0001.MOV", "File0002.MOV", "File0003.MOV",
                                          "File0004.MOV", "File0005.MOV", "File0006.MOV"}));
    QCOMPARE(form->PreviewPage.ThumbnailList.size(), 6);
    QCOMPARE(page().LPreviewNote->text(), Tr("总共 %1 个文件. ").arg(6) + NoteTailText());
    QCOMPARE(page().LNum1->text(), QStringLiteral("6"));
    QCOMPARE(page().LNum2->text(), QStringLiteral("6"));
    QVERIFY(page().LS1->isEnabled());
    QVERIFY(page().LS2->isEnabled());
  }

  void SevenAndThirteenFilesMakeTwoAndThreePages() {
    scan->AddClips(7);
    Enter();
    QCOMPARE(Captions(), (QStringList{QStringLiteral("Page #1    File0001.MOV - File0006.MOV"),
                                      QStringLiteral("Page #2    File0007.MOV - File0007.MOV")}));
    QCOMPARE(page().LPage->text(), QStringLiteral("1/2"));

    scan->AddClips(6);
    Enter();
    QCOMPARE(Captions(), (QStringList{QStringLiteral("Page #1    File0001.MOV - File0006.MOV"),
                                      QStringLiteral("Page #2    File0007.MOV - File0012.MOV"),
                                      QStringLiteral("Page #3    File0013.MOV - File0013.MOV")}));
    QCOMPARE(page().LPreviewNote->text(), Tr("总共 %1 个文件. ").arg(13) + NoteTailText());
    GoTo(2);
    QCOMPARE(VisibleBoxes(), QStringList{"File0013.MOV"});
    QCOMPARE(form->PreviewPage.ThumbnailList.size(), 1);
  }

  void PagingButtonsFollowThePageAndLPageIsCentred() {
    scan->AddClips(13);
    Enter();
    QVERIFY(!page().BPageUp->isEnabled());
    QVERIFY(page().BPageDown->isEnabled());
    QTest::mouseClick(page().BPageDown, Qt::LeftButton);
    QCOMPARE(page().CFileList->currentIndex(), 1);
    QCOMPARE(page().LPage->text(), QStringLiteral("2/3"));
    QVERIFY(page().BPageUp->isEnabled());
    QVERIFY(page().BPageDown->isEnabled());
    QCOMPARE(page().LPage->x(), (page().PSelect->width() - page().LPage->width()) / 2);
    QCOMPARE(VisibleBoxes().first(), QStringLiteral("File0007.MOV"));
    QTest::mouseClick(page().BPageDown, Qt::LeftButton);
    QCOMPARE(page().LPage->text(), QStringLiteral("3/3"));
    QVERIFY(!page().BPageDown->isEnabled());
    QTest::mouseClick(page().BPageUp, Qt::LeftButton);
    QTest::mouseClick(page().BPageUp, Qt::LeftButton);
    QCOMPARE(page().LPage->text(), QStringLiteral("1/3"));
    QVERIFY(!page().BPageUp->isEnabled());
    QVERIFY(page().CFileList->isEnabled());
  }

  void ChoosingThePageOnShowKeepsItsThumbnails() {
    scan->AddClips(8);
    Enter();
    const QPointer<TJpegThumb> first = form->PreviewPage.ThumbnailList.first();
    GoTo(0);
    QVERIFY(!first.isNull());
    QCOMPARE(form->PreviewPage.ThumbnailList.first(), first.data());
    GoTo(1);
    QVERIFY(first.isNull());  // another page was filled: the old thumbnails are gone
  }

  void ThumbnailsSitOnTheGridWithTheirTickBoxesBelow() {
    scan->AddClips(6);
    Enter();
    const QList<QPoint> thumbs = {{8, 1}, {148, 1}, {288, 1}, {8, 121}, {148, 121}, {288, 121}};
    const QList<QPoint> boxes = {{11, 100}, {150, 100}, {291, 100}, {11, 220}, {150, 220}, {291, 220}};
    for (int s = 0; s < 6; ++s) {
      QCOMPARE(form->PreviewPage.ThumbnailList[s]->geometry(), QRect(thumbs[s], QSize(120, 100)));
      QCOMPARE(form->PreviewPage.SlotBoxes[s]->pos(), boxes[s]);
      // Wide enough for a whole name such as "File0005.MPG", within the panel.
      QCOMPARE(form->PreviewPage.SlotBoxes[s]->width(), 125);
      QCOMPARE(form->PreviewPage.SlotBoxes[s]->property("Tag").toInt(), s + 1);
    }
  }

  void AnUntickKeepsAcrossPagesAndCountsOnce() {
    scan->AddClips(13);
    Enter();
    GoTo(1);
    QTest::mouseClick(form->PreviewPage.SlotBoxes[1], Qt::LeftButton);  // File0008
    QVERIFY(!form->FoundFiles[7].Selected);
    QCOMPARE(page().LNum2->text(), QStringLiteral("12"));
    GoTo(2);
    QCOMPARE(page().LNum2->text(), QStringLiteral("12"));
    GoTo(1);
    QVERIFY(!form->PreviewPage.SlotBoxes[1]->isChecked());
    QVERIFY(form->PreviewPage.SlotBoxes[0]->isChecked());
    QCOMPARE(page().LNum2->text(), QStringLiteral("12"));
    QCOMPARE(form->CountSelected(), 12);
  }

  void DeselectAllThenSelectAllCoverEveryPage() {
    scan->AddClips(13);
    Enter();
    QTest::mouseClick(page().LS2, Qt::LeftButton);
    QCOMPARE(page().LNum2->text(), QStringLiteral("0"));
    for (int k = 0; k < 3; ++k) {
      GoTo(k);
      for (QCheckBox* box : form->PreviewPage.SlotBoxes)
        if (!box->isHidden()) QVERIFY(!box->isChecked());
    }
    QCOMPARE(page().LNum2->text(), QStringLiteral("0"));
    QTest::mouseClick(page().LS1, Qt::LeftButton);
    QCOMPARE(page().LNum2->text(), QStringLiteral("13"));
    QCOMPARE(form->CountSelected(), 13);
    QVERIFY(form->PreviewPage.SlotBoxes[0]->isChecked());  // page 3 on show
    QVERIFY(page().LS1->isEnabled());
  }

  void FillingAPageNeverChangesASelectedField() {
    scan->AddClips(12);
    form->FoundFiles[1].Selected = false;
    form->FoundFiles[8].Selected = false;
    Enter();
    QVERIFY(!form->PreviewPage.SlotBoxes[1]->isChecked());
    GoTo(1);
    GoTo(0);
    QVERIFY(!form->FoundFiles[1].Selected);
    QVERIFY(!form->FoundFiles[8].Selected);
    QCOMPARE(form->CountSelected(), 10);
    QVERIFY(form->FoundFiles[0].Selected);
  }

  void EachKindOfFileGetsItsPlaceholder() {
    scan->Add("JPG", std::vector<uint8_t>(4096, 0x55));  // no JPEG header: corrupt
    scan->Add("MOV", std::vector<uint8_t>(600, 1));
    scan->Add("MP3", std::vector<uint8_t>(600, 2));
    scan->Add("CR2", std::vector<uint8_t>(600, 3));
    scan->Add("TIF", std::vector<uint8_t>(600, 4));
    scan->Add("ZIP", std::vector<uint8_t>(600, 5));
    Enter();
    const QStringList expected =
        English() ? QStringList{"pvcorrupt", "pvvideo_en", "pvaudio_en",
                                "pvraw_en",  "pvraw_en",   "pvraw_en"}
                  : QStringList{"pvcorrupt", "pvvideo", "pvaudio", "pvraw", "pvraw", "pvraw"};
    QCOMPARE(form->PreviewPage.ThumbnailList.size(), 6);
    for (int s = 0; s < 6; ++s) {
      TJpegThumb* thumb = form->PreviewPage.ThumbnailList[s];
      QVERIFY(thumb->Rendered());
      QVERIFY2(thumb->Offscreen().convertToFormat(QImage::Format_RGB32) ==
                   Picture(qPrintable(expected[s])),
               qPrintable(expected[s]));
      QCOMPARE(thumb->toolTip(), QStringLiteral("N/A"));
      QCOMPARE(thumb->text(), form->PreviewPage.SlotBoxes[s]->text());
    }
  }

  void PlaceholderKindFollowsTheVideoAndAudioGroups() {
    QCOMPARE(TPreviewPage::PlaceholderKind(".MOV"), 2);
    QCOMPARE(TPreviewPage::PlaceholderKind(".3gp"), 2);
    QCOMPARE(TPreviewPage::PlaceholderKind("MTS"), 2);
    QCOMPARE(TPreviewPage::PlaceholderKind(".MP3"), 3);
    QCOMPARE(TPreviewPage::PlaceholderKind(".amr"), 3);
    QCOMPARE(TPreviewPage::PlaceholderKind(".CR2"), 1);
    QCOMPARE(TPreviewPage::PlaceholderKind(".JPG"), 1);
    QCOMPARE(TPreviewPage::PlaceholderKind("..MOV"), 1);  // only one dot is dropped
  }

  void APhotoShowsItsOwnPictureInTheFrameWithItsSummary() {
    scan->Add("JPG", QuadrantPhoto(),
              "Shoot Time: 05/17/2008 14:23:05|Model: Canon EOS 40D|Image Size: 640x480");
    Enter();
    QCOMPARE(form->PreviewPage.ThumbnailList.size(), 1);
    TJpegThumb* thumb = form->PreviewPage.ThumbnailList.first();
    QCOMPARE(thumb->toolTip(), QStringLiteral("Shoot Time: 05/17/2008 14:23:05\nModel: Canon EOS "
                                              "40D\nImage Size: 640x480"));
    QCOMPARE(thumb->PicStatus(), TJpegDecodeStatus::Image);
    QVERIFY(!thumb->HoldsPhoto());  // released after the first render
    const QImage shot = thumb->grab().toImage();
    // The picture sits at (10, 10)-(108, 83) unscaled; the frame shows around it.
    QVERIFY(Near(shot.pixel(30, 25), fixtures::QuadrantColour(0)));
    QVERIFY(Near(shot.pixel(90, 25), fixtures::QuadrantColour(1)));
    QVERIFY(Near(shot.pixel(30, 70), fixtures::QuadrantColour(2)));
    QVERIFY(Near(shot.pixel(90, 70), fixtures::QuadrantColour(3)));
    QCOMPARE(shot.pixel(2, 2), form->PreviewPage.FrameBitmap.pixel(2, 2));
    QCOMPARE(shot.pixel(60, 92), form->PreviewPage.FrameBitmap.pixel(60, 92));
    QCOMPARE(shot.pixel(108, 83), thumb->Offscreen().pixel(98, 73));
  }

  void ATruncatedPhotoShowsWhatDecoded() {
    fixtures::JpegOptions o;
    o.Width = 800;
    o.Height = 600;
    o.Texture = 10;
    std::vector<uint8_t> bytes = fixtures::EncodeJpeg(o);
    bytes.resize(bytes.size() * 6 / 10);
    scan->Add("JPG", bytes);
    Enter();
    TJpegThumb* thumb = form->PreviewPage.ThumbnailList.first();
    QCOMPARE(thumb->PicStatus(), TJpegDecodeStatus::Partial);
    QVERIFY(Near(thumb->Offscreen().pixel(20, 8), fixtures::QuadrantColour(0), 45));
    QVERIFY(Near(thumb->Offscreen().pixel(50, 70), {128, 128, 128}, 8));
  }

  void APhotoBeyond30000000BytesIsPreviewedFromItsStart() {
    fixtures::JpegOptions o;
    o.Width = 320;
    o.Height = 240;
    scan->Add("JPG", fixtures::ProgressiveWithPaddingAfterFirstScan(o, 30'200'000));
    Enter();
    TJpegThumb* thumb = form->PreviewPage.ThumbnailList.first();
    // A real thumbnail: the decode helper reads the whole file; the window's own decoder
    // (where there is no helper) its first 30,000,000 bytes.
    QCOMPARE(thumb->PicStatus(),
             TPreviewChecker::Available() ? TJpegDecodeStatus::Image : TJpegDecodeStatus::Partial);
    QVERIFY(Near(thumb->Offscreen().pixel(20, 15), fixtures::QuadrantColour(0)));
    QVERIFY(Near(thumb->Offscreen().pixel(75, 55), fixtures::QuadrantColour(3)));
  }

  void AnUnreadableTemporaryFileLeavesOnlyItsTickBox() {
    scan->AddClips(1);
    scan->AddMissing("JPG");
    scan->AddClips(1);
    Enter();
    QCOMPARE(form->PreviewPage.ThumbnailList.size(), 2);
    QCOMPARE(VisibleBoxes(), (QStringList{"File0001.MOV", "File0002.JPG", "File0003.MOV"}));
    QCOMPARE(form->PreviewPage.ThumbnailList[1]->pos(), QPoint(288, 1));  // the slot stays empty
  }

  void AddThumbnailAloneDecodesItsPhoto() {
    const TFoundFile& photo = scan->Add("JPG", QuadrantPhoto(160, 120));
    form->PreviewPage.AddThumbnail(QString::fromStdString(photo.TempFile.string()), ".JPG", 1, 8,
                       QString::fromStdString(photo.Name), true, "N/A");
    QCOMPARE(form->PreviewPage.ThumbnailList.size(), 1);
    QCOMPARE(form->PreviewPage.ThumbnailList.first()->PicStatus(), TJpegDecodeStatus::Image);
    QVERIFY(Near(form->PreviewPage.ThumbnailList.first()->Offscreen().pixel(10, 10), fixtures::QuadrantColour(0)));
  }

  void PageIconsComeFromTheExtensionList() {
    scan->AddClips(6, "MOV");
    scan->Add("JPG", QuadrantPhoto(64, 48));
    form->ExtIconNames = QStringList{".JPG"};
    QPixmap red(16, 16);
    red.fill(Qt::red);
    form->ImgListExt = QList<QIcon>{QIcon(red)};
    Enter();
    QCOMPARE(page().CFileList->itemData(0, Qt::UserRole + 1).toInt(), -1);
    QVERIFY(page().CFileList->itemIcon(0).isNull());
    QCOMPARE(page().CFileList->itemData(1, Qt::UserRole + 1).toInt(), 0);
    QVERIFY(!page().CFileList->itemIcon(1).isNull());
  }

  void EnteringAgainStartsFromEmptyLists() {
    scan->AddClips(9);
    Enter();
    GoTo(1);
    ClearFoundFiles(form->FoundFiles);
    scan->AddClips(2);
    Enter();
    QCOMPARE(page().CFileList->count(), 1);
    QCOMPARE(form->PreviewPage.ThumbnailList.size(), 2);
    QCOMPARE(form->PreviewPage.LastShownPage, 0);
    QCOMPARE(page().LNum1->text(), QStringLiteral("2"));
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestPreviewPages)
#include "tst_PreviewPages.moc"
