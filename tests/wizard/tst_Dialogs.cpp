// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Message boxes: caption, kind, buttons, default button, font and position.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "WizardTestSupport.h"
#include "session/Texts.h"
#include "wizard/Dialogs.h"

using namespace snapsalvager;
using namespace snapsalvager::test;

class TestDialogs : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setApplicationName(QStringLiteral("Snapsalvager")); }

  void QuestionHasYesDefaultInTheOwnersFontCentred() {
    QWidget owner;
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(15);
    owner.setFont(font);
    owner.setGeometry(100, 80, 744, 487);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    SetMessageOwner(&owner);
    auto box = MakeMessageBox(TMessageKind::Confirmation, QStringLiteral("第一行\r\n\r\n第二行"));
    QCOMPARE(box->windowTitle(), QStringLiteral("Snapsalvager"));
    QCOMPARE(box->text(), QStringLiteral("第一行\n\n第二行"));
    QCOMPARE(box->icon(), QMessageBox::Question);
    QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box->defaultButton(), box->button(QMessageBox::Yes));
    QCOMPARE(box->button(QMessageBox::Yes)->text(), Tr("是(&Y)"));
    QCOMPARE(box->button(QMessageBox::No)->text(), Tr("否(&N)"));
    QCOMPARE(box->font().family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(box->font().pixelSize(), 15);
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    const QRect o = owner.frameGeometry();
    const QSize s = box->frameGeometry().size();
    QCOMPARE(box->pos(), QPoint(o.left() + (o.width() - s.width()) / 2, o.top() + (o.height() - s.height()) / 2));
    SetMessageOwner(nullptr);
  }

  void InformationAndWarningKinds() {
    auto info = MakeMessageBox(TMessageKind::Information, QStringLiteral("x"));
    QCOMPARE(info->icon(), QMessageBox::Information);
    QCOMPARE(info->standardButtons(), QMessageBox::Ok);
    QCOMPARE(info->button(QMessageBox::Ok)->text(), Tr("确定"));
    auto warn = MakeMessageBox(TMessageKind::Warning, QStringLiteral("x"));
    QCOMPARE(warn->icon(), QMessageBox::Warning);
    QCOMPARE(warn->defaultButton(), warn->button(QMessageBox::Yes));
  }

  void RealBoxAnswersWithTheButtonPressed() {
    QTimer::singleShot(0, [] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      box->button(QMessageBox::No)->click();
    });
    QCOMPARE(AskYesNo(QStringLiteral("?")), QMessageBox::No);
    QTimer::singleShot(0, [] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      box->reject();  // closed without a button
    });
    QCOMPARE(AskYesNo(QStringLiteral("?")), QMessageBox::Cancel);
  }

  // Qt's own file and folder dialogs and standard buttons speak the window's language: Qt's
  // Chinese, or Qt's own English.
  void QtsOwnTextsFollowTheLanguage() {
    QVERIFY(InstallQtTranslations());
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
             English() ? QStringLiteral("Cancel") : QStringLiteral("取消"));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"),
             English() ? QStringLiteral("Look in:") : QStringLiteral("查找范围："));
  }

  // A text too long for its label: a path breaks after its separators, and what still does
  // not fit gives way in the middle, whole in the tooltip. A text that fits is left as is.
  void LongTextsWrapOrElideWithTheirTooltip() {
    QLabel line;
    line.setFixedSize(120, 18);
    SetFittedText(line, QStringLiteral("E: (card.img)"));
    QCOMPARE(line.text(), QStringLiteral("E: (card.img)"));
    QVERIFY(line.toolTip().isEmpty());
    const QString longName = QStringLiteral("E: (a-very-long-name-of-a-card-image-file.img)");
    SetFittedText(line, longName);
    QVERIFY(line.text().contains(QChar(0x2026)));
    QCOMPARE(line.toolTip(), longName);

    QLabel wrapped;
    wrapped.setWordWrap(true);
    wrapped.setFixedSize(200, 60);
    const QString path = QStringLiteral("/home/user/Documents/Snapsalvager/2026-12-07/");
    SetFittedText(wrapped, path);
    QCOMPARE(QString(wrapped.text()).remove(QChar(0x200B)), path);
    QVERIFY(wrapped.toolTip().isEmpty());
    QString deep = path;
    while (deep.size() < 400) deep += QStringLiteral("folder/");
    SetFittedText(wrapped, deep);
    QCOMPARE(wrapped.toolTip(), deep);
    const QRect need = QFontMetrics(wrapped.font())
                           .boundingRect(QRect(0, 0, 200, 10000), Qt::TextWordWrap, wrapped.text());
    QVERIFY(need.width() <= 200 && need.height() <= 60);
  }

  void PrompterSeesEveryKindAndText() {
    QList<QPair<TMessageKind, QString>> seen;
    SetPrompter([&seen](TMessageKind kind, const QString& text) {
      seen.append({kind, text});
      return QMessageBox::Yes;
    });
    ShowInfo(QStringLiteral("a"));
    QCOMPARE(AskYesNo(QStringLiteral("b")), QMessageBox::Yes);
    QCOMPARE(AskYesNoWarning(QStringLiteral("c")), QMessageBox::Yes);
    SetPrompter({});
    QCOMPARE(seen.size(), 3);
    QCOMPARE(seen[0].first, TMessageKind::Information);
    QCOMPARE(seen[1].first, TMessageKind::Confirmation);
    QCOMPARE(seen[2].first, TMessageKind::Warning);
    QCOMPARE(seen[2].second, QStringLiteral("c"));
  }

  // English: the window's own texts come from the translation built into the program (last,
  // as the translator stays installed).
  void EnglishLoadsTheWindowsOwnTranslation() {
    SetLanguage(TLanguage::English);
    const bool loaded = InstallQtTranslations();
    SetLanguage(TLanguage::Chinese);
    QVERIFY(loaded);
    QCOMPARE(QCoreApplication::translate("MainForm", "下一步 >"), QStringLiteral("Next >"));
    QCOMPARE(QCoreApplication::translate("Snapsalvager", "是(&Y)"), QStringLiteral("&Yes"));
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestDialogs)
#include "tst_Dialogs.moc"
