// Message boxes: caption, kind, buttons, default button, font and position.
#include <QPushButton>
#include <QtTest>

#include "wizard/Dialogs.h"

using namespace snapsalvager;

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
    QCOMPARE(box->button(QMessageBox::Yes)->text(), QStringLiteral("是(&Y)"));
    QCOMPARE(box->button(QMessageBox::No)->text(), QStringLiteral("否(&N)"));
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
    QCOMPARE(info->button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
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
};

QTEST_MAIN(TestDialogs)
#include "tst_Dialogs.moc"
