// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The card map: where files, damage and unreadable sectors land in the picture, on a small
// and a large card; the unreadable areas of a card image's ddrescue map; the saved picture
// never replacing a file.
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include "WizardTestSupport.h"
#include "wizard/CardMap.h"

using namespace snapsalvager;
using namespace snapsalvager::test;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kGiB = 1024 * kMiB;

QRgb At(const QImage& picture, int x, int y) { return picture.pixel(x, y) & 0xFFFFFF; }

}  // namespace

class TestCardMap : public QObject {
  Q_OBJECT

 private slots:
  void BandsLandWhereTheirBytesLie_data() {
    QTest::addColumn<qulonglong>("cardBytes");
    QTest::addColumn<qulonglong>("begin");
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<QPoint>("inside");   // a pixel of the band
    QTest::addColumn<QPoint>("outside");  // a pixel that stays free
    // 100 x 4 cells of 10.24 MiB: a row is a quarter of the card, the band cells 109..129.
    QTest::newRow("4 GiB, second row") << qulonglong(4 * kGiB) << qulonglong(kGiB + 100 * kMiB)
                                       << qulonglong(200 * kMiB) << QPoint(15, 12) << QPoint(5, 12);
    // A 3 MB photo on a 512 GiB card is a 40,000th of a cell: still one pixel.
    QTest::newRow("512 GiB, one small file") << qulonglong(512 * kGiB) << qulonglong(384 * kGiB)
                                             << qulonglong(3 * kMiB) << QPoint(0, 30) << QPoint(1, 30);
  }
  void BandsLandWhereTheirBytesLie() {
    QFETCH(qulonglong, cardBytes);
    QFETCH(qulonglong, begin);
    QFETCH(qulonglong, length);
    QFETCH(QPoint, inside);
    QFETCH(QPoint, outside);
    TCardMap map;
    map.CardBytes = cardBytes;
    map.Files.push_back({begin, begin + length, TMapKind::Photo, false});
    const QImage picture = DrawCardMap(map, QSize(100, 40), 4);
    const QRgb free = At(picture, 99, 39 - 2);
    QVERIFY(At(picture, inside.x(), inside.y()) != free);
    QCOMPARE(At(picture, outside.x(), outside.y()), free);
  }

  void KindsDamageAndUnreadableSectorsHaveTheirOwnLook() {
    TCardMap map;
    map.CardBytes = 1000 * kMiB;
    map.Files = {{0, 100 * kMiB, TMapKind::Photo, false},
                 {100 * kMiB, 200 * kMiB, TMapKind::Video, false},
                 {200 * kMiB, 400 * kMiB, TMapKind::Photo, true}};
    map.Unreadable = {{500 * kMiB, 600 * kMiB}};
    const QImage picture = DrawCardMap(map, QSize(100, 10), 1);
    QVERIFY(At(picture, 5, 4) != At(picture, 15, 4));  // a photo is not a video
    // Damaged: the photo's colour crossed by lines.
    QSet<QRgb> damaged;
    for (int x = 20; x < 40; ++x)
      for (int y = 0; y < 8; ++y) damaged.insert(At(picture, x, y));
    QVERIFY(damaged.contains(At(picture, 5, 4)));
    QVERIFY(damaged.size() >= 2);
    QCOMPARE(At(picture, 55, 4), qRgb(220, 0, 0) & 0xFFFFFF);
    QVERIFY(qRed(At(picture, 80, 4)) == qGreen(At(picture, 80, 4)));  // free: grey
  }

  void TheSavedPictureCarriesTheMapAndAKey() {
    TCardMap map;
    map.CardBytes = kGiB;
    const QImage picture = CardMapPicture(map);
    QVERIFY(picture.width() > 1000);
    QVERIFY(picture.height() > 512);
  }

  void UnreadableAreasComeFromTheDdrescueMap() {
    QTemporaryDir dir;
    const std::filesystem::path path = dir.filePath(QStringLiteral("card.img.map")).toStdString();
    std::ofstream(path) << "# Mapfile. Created by Snapsalvager\n"
                           "# current_pos  current_status  current_pass\n"
                           "0x00100000     +               1\n"
                           "#      pos        size  status\n"
                           "0x00000000  0x00100000  +\n"
                           "0x00100000  0x00000200  -\n"
                           "0x00100200  0x00000400  ?\n"
                           "0x00100600  0x00000200  -\n"
                           "0xZZ  0x200  -\n"
                           "0xFFFFFFFFFFFFFF00  0x00000200  -\n";
    const std::vector<std::pair<uint64_t, uint64_t>> want = {{0x100000, 0x100200}, {0x100600, 0x100800}};
    QCOMPARE(UnreadableAreasOf(path), want);
    QVERIFY(UnreadableAreasOf(dir.filePath(QStringLiteral("none.map")).toStdString()).empty());
  }

  void SavingNeverReplacesAFile() {
    QTemporaryDir dir;
    QFile taken(dir.filePath(QStringLiteral("card-map.png")));
    QVERIFY(taken.open(QIODevice::WriteOnly));
    taken.write("mine");
    taken.close();
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QCOMPARE(SaveCardMapPicture(picture, dir.path()), dir.filePath(QStringLiteral("card-map (2).png")));
    QVERIFY(taken.open(QIODevice::ReadOnly));
    QCOMPARE(taken.readAll(), QByteArray("mine"));
    QCOMPARE(QImage(dir.filePath(QStringLiteral("card-map (2).png"))).pixel(3, 3), QColor(Qt::red).rgb());
    QCOMPARE(SaveCardMapPicture(picture, dir.filePath(QStringLiteral("missing/folder"))), QString());
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestCardMap)
#include "tst_CardMap.moc"
