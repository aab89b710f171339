// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// File-type icons: the names and images stay aligned, in table order, with a fallback.
#include <QtTest>

#include "WizardTestSupport.h"
#include "wizard/FileTypeIcons.h"

using namespace snapsalvager;

namespace {
TRecogniserInputs Inputs(std::initializer_list<const char*> types) {
  TRecogniserInputs inputs;
  for (const char* t : types) inputs.Enable(t);
  return inputs;
}
}  // namespace

class TestFileTypeIcons : public QObject {
  Q_OBJECT

 private slots:
  void ListFollowsTableOrderWithOneIconPerName() {
    QStringList names{QStringLiteral(".OLD")};
    QList<QIcon> icons;  // deliberately out of step: the build starts afresh
    BuildExtIconList(Inputs({"CR2", "JPG", "CRW"}), names, icons);
    QCOMPARE(names, QStringList({".JPG", ".CRW", ".CR2"}));
    QCOMPARE(icons.size(), names.size());
    for (const QIcon& icon : icons) {
      QVERIFY(!icon.isNull());
      QCOMPARE(icon.pixmap(kExtIconSize, kExtIconSize).size(), QSize(16, 16));
    }
  }

  void NothingEnabledGivesEmptyLists() {
    QStringList names{QStringLiteral(".JPG")};
    QList<QIcon> icons{DefaultExtIcon()};
    BuildExtIconList(TRecogniserInputs{}, names, icons);
    QVERIFY(names.isEmpty());
    QVERIFY(icons.isEmpty());
  }

  void IndexIgnoresCaseAndNeedsAnExtension() {
    const QStringList names{".JPG", ".CRW", ".CR2"};
    QCOMPARE(ExtIconIndex(names, QStringLiteral("File0003.jpg")), 0);
    QCOMPARE(ExtIconIndex(names, QStringLiteral("File0004.Cr2")), 2);
    QCOMPARE(ExtIconIndex(names, QStringLiteral("archive.tar.crw")), 1);
    QCOMPARE(ExtIconIndex(names, QStringLiteral("File0005.MOV")), -1);
    QCOMPARE(ExtIconIndex(names, QStringLiteral("JPG")), -1);
    QCOMPARE(ExtIconIndex({}, QStringLiteral("File0001.JPG")), -1);
  }

  void UnknownTypeHasNoThemeIconAndFallsBack() {
    QVERIFY(GetExtIcon(QStringLiteral("Sample.QQZ9")).isNull());
    QVERIFY(!DefaultExtIcon().isNull());
    QCOMPARE(DefaultExtIcon().pixmap(16, 16).size(), QSize(16, 16));
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestFileTypeIcons)
#include "tst_FileTypeIcons.moc"
