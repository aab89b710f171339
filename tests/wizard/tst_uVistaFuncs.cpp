// The Tahoma switching helpers of old Windows versions, kept on Linux for the dialogs.
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "wizard/uVistaFuncs.h"

using namespace snapsalvager;

namespace {
QFont Font(const QString& family, int points) {
  QFont f(family);
  f.setPointSize(points);
  return f;
}
}  // namespace

class TestVistaFuncs : public QObject {
  Q_OBJECT

 private slots:
  void LinuxIsNeverBeforeVista() {
    InitVersionFlags();
    QVERIFY(!IsBeforeVista());
    SetVistaOrLaterOverride(false);
    QVERIFY(IsBeforeVista());
    SetVistaOrLaterOverride(std::nullopt);
    QVERIFY(!IsBeforeVista());
  }

  void FormBecomesTahomaEightUnlessAlreadyTahoma() {
    QWidget form;
    form.setFont(Font(QStringLiteral("Segoe UI"), 11));
    SetFormTahoma(&form);
    QCOMPARE(form.font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(form.font().pointSize(), 8);

    form.setFont(Font(QStringLiteral("tahoma"), 11));
    SetFormTahoma(&form);
    QCOMPARE(form.font().pointSize(), 11);
  }

  void ControlsShrinkNineToEightOnlyForLabelsButtonsAndPanels() {
    QLabel nine;
    nine.setFont(Font(QStringLiteral("Segoe UI"), 9));
    QLabel ten;
    ten.setFont(Font(QStringLiteral("Segoe UI"), 10));
    QPushButton button;
    button.setFont(Font(QStringLiteral("Segoe UI"), 9));
    QFrame panel;
    panel.setFont(Font(QStringLiteral("Segoe UI"), 9));
    QCheckBox box;
    box.setFont(Font(QStringLiteral("Segoe UI"), 9));
    QLabel already;
    already.setFont(Font(QStringLiteral("TAHOMA"), 9));
    for (QWidget* w : std::initializer_list<QWidget*>{&nine, &ten, &button, &panel, &box, &already, nullptr})
      SetControlTahoma(w);
    QCOMPARE(nine.font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(nine.font().pointSize(), 8);
    QCOMPARE(ten.font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(ten.font().pointSize(), 10);
    QCOMPARE(button.font().pointSize(), 8);
    QCOMPARE(panel.font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(box.font().family(), QStringLiteral("Segoe UI"));
    QCOMPARE(box.font().pointSize(), 9);
    QCOMPARE(already.font().pointSize(), 9);
  }
};

QTEST_MAIN(TestVistaFuncs)
#include "tst_uVistaFuncs.moc"
