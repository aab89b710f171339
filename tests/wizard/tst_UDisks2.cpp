// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Opening the card through udisks2, against a real D-Bus daemon on a private bus and a mock
// udisks2 (python-dbusmock) whose OpenForBackup hands over a read-only descriptor of a card
// image. Direct opening is refused as for a normal desktop user.
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "WizardTestSupport.h"
#include "card/LinuxDrives.h"
#include "card/DriveReads.h"
#include "fixtures/CardImage.h"
#include "wizard/CardOpening.h"
#include "wizard/ScanDoneDialog.h"
#include "wizard/UDisks2Client.h"

using namespace snapsalvager;
using namespace snapsalvager::test;
using snapsalvager::fixtures::CardImage;
using snapsalvager::fixtures::HashFile;

namespace {

const QString kCardObject = QStringLiteral("/org/freedesktop/UDisks2/block_devices/card");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

// The Debian interpreter: python3-dbusmock lives there, not in a private Python.
QString Python() {
  return QFile::exists(QStringLiteral("/usr/bin/python3"))
             ? QStringLiteral("/usr/bin/python3")
             : QStandardPaths::findExecutable(QStringLiteral("python3"));
}

// A dbus-daemon on a socket of its own, and the mock udisks2 on it; both end with the object.
class TPrivateBus {
 public:
  explicit TPrivateBus(const QString& folder) : folder_(folder) {}
  ~TPrivateBus() {
    for (QProcess* p : {&mock_, &daemon_}) {
      if (p->state() == QProcess::NotRunning) continue;
      p->terminate();
      if (!p->waitForFinished(5000)) p->kill();
      p->waitForFinished(5000);
    }
    if (!address_.isEmpty()) QDBusConnection::disconnectFromBus(ControlName());
  }

  // Empty on success, else why the bus could not be set up.
  QString Start(const QString& device, const QString& image) {
    const QString config = folder_ + QStringLiteral("/bus.conf");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
      return QStringLiteral("cannot write the bus configuration");
    file.write(
        QStringLiteral(
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n  <listen>unix:path=%1/bus</listen>\n  <auth>EXTERNAL</auth>\n"
            "  <policy context=\"default\">\n    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
            "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
            "    <allow eavesdrop=\"true\"/>\n  </policy>\n</busconfig>\n")
            .arg(folder_)
            .toUtf8());
    file.close();
    daemon_.start(QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")),
                  {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                   QStringLiteral("--print-address")});
    if (!daemon_.waitForStarted(10000)) return QStringLiteral("dbus-daemon did not start");
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty()) return QStringLiteral("dbus-daemon gave no address");
    // Whoever may reach the folder may talk on the bus (the unprivileged case).
    QFile::setPermissions(folder_ + QStringLiteral("/bus"), QFileDevice::Permissions(0x7777));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address_);
    mock_.setProcessEnvironment(env);
    mock_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString parameters =
        QStringLiteral("{\"device\": \"%1\", \"image\": \"%2\"}").arg(device, image);
    mock_.start(Python(),
                {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                 QStringLiteral(SNAPSALVAGER_UDISKS2_MOCK), QStringLiteral("-p"), parameters});
    if (!mock_.waitForStarted(10000)) return QStringLiteral("the mock did not start");
    for (int i = 0; i < 200; ++i) {
      if (Call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
               QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"),
               {QStringLiteral("org.freedesktop.UDisks2")})
              .arguments()
              .value(0)
              .toBool())
        return {};
      if (mock_.state() == QProcess::NotRunning) break;
      QTest::qWait(50);
    }
    return QStringLiteral("the mock udisks2 did not appear on the bus");
  }

  QString Address() const { return address_; }

  QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& arguments) const {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::connectToBus(address_, ControlName()).call(call);
  }

  // Replaces (or adds) a method of the card's block object by Python code run in the mock.
  bool ReplaceMethod(const QString& method, const QString& signature, const QString& code) const {
    return Call(QStringLiteral("org.freedesktop.UDisks2"), kCardObject, kMock,
                QStringLiteral("AddMethod"), {kBlock, method, signature, QStringLiteral("h"), code})
               .type() == QDBusMessage::ReplyMessage;
  }
  bool ReplaceOpenForBackup(const QString& code) const {
    return ReplaceMethod(QStringLiteral("OpenForBackup"), QStringLiteral("a{sv}"), code);
  }

  int OpenForBackupCalls(const QString& method = QStringLiteral("OpenForBackup")) const {
    const QDBusMessage reply = Call(QStringLiteral("org.freedesktop.UDisks2"), kCardObject, kMock,
                                    QStringLiteral("GetMethodCalls"), {method});
    if (reply.type() != QDBusMessage::ReplyMessage) return -1;
    const QDBusArgument calls = reply.arguments().value(0).value<QDBusArgument>();
    int count = 0;
    calls.beginArray();
    while (!calls.atEnd()) {
      qulonglong time = 0;
      QVariantList arguments;
      calls.beginStructure();
      calls >> time >> arguments;
      calls.endStructure();
      ++count;
    }
    calls.endArray();
    return count;
  }

 private:
  QString ControlName() const { return QStringLiteral("test-control-") + address_; }

  QString folder_;
  QString address_;
  QProcess daemon_;
  QProcess mock_;
};

// Set in the copy of this test that runs as an unprivileged user: "device|result file".
QStringList ChildTask() {
  return qEnvironmentVariable("SNAPSALVAGER_UDISKS2_CHILD")
      .split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

// Runs a command; its standard output, or a null string when it failed.
QString Output(const QString& program, const QStringList& arguments) {
  QProcess p;
  p.start(program, arguments);
  if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    return {};
  return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// Python code for the mock that raises the daemon's error; the message is escaped into one
// Python string literal, line breaks included.
QString RaiseCode(const QString& errorName, const QString& message) {
  QString literal = message;
  literal.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
      .replace(QLatin1Char('\''), QLatin1String("\\'"))
      .replace(QLatin1Char('\n'), QLatin1String("\\n"));
  return QStringLiteral("raise dbus.exceptions.DBusException('%1', name='%2')")
      .arg(literal, errorName);
}

}  // namespace

class TestUDisks2 : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> temp;
  std::unique_ptr<TPrivateBus> bus;
  std::unique_ptr<TScriptedPrompter> prompter;
  std::unique_ptr<TDialogScript> dialogs;
  std::unique_ptr<TMainForm> form;
  std::filesystem::path image;
  char letter = 0;
  int scans = 0;

  QString Device() const { return QString::fromStdString(image.string()); }

  // Options page to scan page with a fresh destination; true when the scan started.
  bool Next() {
    if (form->CurrentPage() == 1) form->BNextClick();
    form->ScanOptionsPage.FillDriveList();
    int item = -1;
    for (int i = 0; i < form->ui.CBDrive->count(); ++i)
      if (form->ui.CBDrive->itemData(i, TScanOptionsPage::kDriveRowRole).toInt() == letter - 'A') item = i;
    if (item <= 0) return false;
    form->ui.CBDrive->setCurrentIndex(item);
    form->ui.CBCamera->setCurrentIndex(
        form->ui.CBCamera->findText(QStringLiteral("Generic Digital Camera")));
    form->ui.CPhoto->setChecked(true);
    form->ui.CVideo->setChecked(false);
    form->ui.CAudio->setChecked(false);
    form->ui.EDestFolder->setText(temp->filePath(QStringLiteral("out%1/").arg(++scans)));
    form->BNextClick();
    return form->CurrentPage() == 3;
  }

  // What a finished scan found: names and sizes.
  QStringList Found() {
    [&] { QTRY_VERIFY_WITH_TIMEOUT(!form->ScanPage.ScanInProgress, 30000); }();
    QStringList found;
    for (size_t i = 0; i < form->FoundFiles.Count(); ++i)
      found << QStringLiteral("%1 %2")
                   .arg(QString::fromStdString(form->FoundFiles[i].Name))
                   .arg(form->FoundFiles[i].Size);
    return found;
  }

 private slots:
  void initTestCase() {
    if (!ChildTask().isEmpty()) {
      temp = std::make_unique<QTemporaryDir>();
      return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() ||
        QProcess::execute(Python(), {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) != 0)
      QSKIP("dbus-daemon or python3-dbusmock is not installed");
    temp = std::make_unique<QTemporaryDir>();
    QVERIFY(temp->isValid());
    CardImage card(4000);
    card.noise(5).jpegAt(10).jpegAt(1200).jpegAt(3100);
    image = card.writeTo(std::filesystem::path(temp->path().toStdString()) / "card.img");
    bus = std::make_unique<TPrivateBus>(temp->path());
    const QString failure = bus->Start(Device(), Device());
    if (!failure.isEmpty()) QFAIL(qPrintable(failure));
  }

  void cleanupTestCase() {
    TUDisks2Client::SetBusAddressForTests({});
    bus.reset();
  }

  void init() {
    if (ChildTask().isEmpty()) {
      TUDisks2Client::SetBusAddressForTests(bus->Address());
      SetDirectCardOpenRefusedForTests(false);
      ForgetCardDescriptor("");
      LinuxDrives::DetachAll();
      letter = LinuxDrives::AttachImage(image.string());
    }
    prompter = std::make_unique<TScriptedPrompter>();
    dialogs = std::make_unique<TDialogScript>([](QDialog& dialog) {
      if (auto* done = qobject_cast<TRecoveryDoneForm*>(&dialog)) done->ui.Button1->click();
      return dialog.result();
    });
    form = MakeMainForm();
    form->ScanOptionsPage.DriveLetterOfFolder = [](const QString&) { return char(0); };
    form->ScanOptionsPage.FreeSpaceProbe = [](const QString&) { return int64_t{1} << 50; };
    form->ScanPage.CreateScanDialogs();
    form->show();
  }

  void cleanup() {
    form.reset();
    dialogs.reset();
    prompter.reset();
    SetDirectCardOpenRefusedForTests(false);
    ForgetCardDescriptor("");
    LinuxDrives::DetachAll();
  }

  // The descriptor is asked for once and serves every later scan, with the image's path gone.
  void ScanThroughUDisks2FindsWhatADirectScanFinds() {
    QVERIFY(letter != 0);
    const uint64_t hash = HashFile(image);
    QVERIFY(Next());
    const QStringList direct = Found();
    QCOMPARE(direct.size(), 3);
    QCOMPARE(bus->OpenForBackupCalls(), 0);

    SetDirectCardOpenRefusedForTests(true);
    form->BBackClick();
    QVERIFY(Next());
    QCOMPARE(Found(), direct);
    QCOMPARE(bus->OpenForBackupCalls(), 1);
    QVERIFY(HasCardDescriptor(image.string()));

    const auto moved = image.parent_path() / "moved.img";
    std::filesystem::rename(image, moved);
    form->BBackClick();
    const bool started = Next();
    const QStringList again = started ? Found() : QStringList();
    std::filesystem::rename(moved, image);
    QVERIFY(started);
    QCOMPARE(again, direct);
    QCOMPARE(bus->OpenForBackupCalls(), 1);
    QVERIFY(!prompter->Texts().join(QLatin1Char('\n')).contains(QStringLiteral("无法")));
    QCOMPARE(HashFile(image), hash);
  }

  void RefusalsShowOneMessageAndTheWindowStaysUsable_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("not authorized")
        << RaiseCode(QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorized"),
                     QStringLiteral("Not authorized to perform operation"))
        << Tr("没有获得读取存储卡 %1 的授权：身份验证被取消或被拒绝。\r\n\r\n"
              "请再次点击“下一步”，并在系统弹出的身份验证窗口中输入密码。");
    QTest::newRow("prompt dismissed")
        << RaiseCode(QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed"),
                     QStringLiteral("The authentication dialog was dismissed"))
        << Tr("没有获得读取存储卡 %1 的授权：身份验证被取消或被拒绝。\r\n\r\n"
              "请再次点击“下一步”，并在系统弹出的身份验证窗口中输入密码。");
    // No agent to ask for the password: told apart from a refusal, no window promised.
    QTest::newRow("no agent")
        << RaiseCode(QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain"),
                     QStringLiteral("Not authorized to perform operation"))
        << Tr("没有获得读取存储卡 %1 的授权：这里没有可以询问密码的身份验证程序（polkit "
              "身份验证代理），"
              "所以系统不会弹出身份验证窗口。\r\n\r\n"
              "请在桌面会话中启动 "
              "Snapsalvager（桌面会提供身份验证代理），或者请系统管理员帮助您。");
    // Any other failure: one clear message; the daemon's traceback goes to the terminal.
    QTest::newRow("other failure")
        << RaiseCode(QStringLiteral("org.freedesktop.UDisks2.Error.Failed"),
                     QStringLiteral(
                         "Traceback (most recent call last):\n  File x, line 1\nOSError: boom"))
        << Tr("系统的磁盘服务 udisks2 无法打开存储卡 %1。详细信息已写到终端（标准错误输出）。");
    // The mock has no OpenDevice yet: the busy answer of an older daemon stands.
    QTest::newRow("mounted") << RaiseCode(QStringLiteral("org.freedesktop.UDisks2.Error.Failed"),
                                          QStringLiteral(
                                              "Error opening /dev/sdz1: Device or resource busy"))
                             << Tr("存储卡 %1 正在使用中（例如已被挂载），无法打开。\r\n\r\n"
                                   "请在文件管理器中卸载该卡（不要拔出），然后再次点击“下一步”。");
  }

  void RefusalsShowOneMessageAndTheWindowStaysUsable() {
    QFETCH(QString, code);
    QFETCH(QString, message);
    SetDirectCardOpenRefusedForTests(true);
    QVERIFY(bus->ReplaceOpenForBackup(code));
    QVERIFY(!Next());
    QCOMPARE(form->CurrentPage(), 2);
    QCOMPARE(prompter->Texts(),
             QStringList{
                 message.arg(QStringLiteral("%1: (%2)").arg(QLatin1Char(letter)).arg(Device()))});
    QVERIFY(form->ui.BNext->isEnabled());
    QVERIFY(form->ui.BBack->isEnabled());
    QVERIFY(!HasCardDescriptor(image.string()));

    // Asked again, the daemon says yes this time: the scan runs.
    QVERIFY(bus->ReplaceOpenForBackup(
        QStringLiteral(
            "import os\nfd = os.open('%1', os.O_RDONLY)\nret = dbus.types.UnixFd(fd)\nos.close(fd)")
            .arg(Device())));
    QVERIFY(Next());
    QCOMPARE(Found().size(), 3);
  }

  // udisks2 opens a card exclusively for a backup, which a mounted card refuses; a plain
  // read-only open of it works. (Runs after the refusals: from here on the mock has OpenDevice.)
  void MountedCardIsOpenedPlainlyReadOnly() {
    SetDirectCardOpenRefusedForTests(true);
    QVERIFY(bus->ReplaceOpenForBackup(
        RaiseCode(QStringLiteral("org.freedesktop.UDisks2.Error.Failed"),
                  QStringLiteral("Error opening /dev/sdz1: Device or resource busy"))));
    QVERIFY(bus->ReplaceMethod(
        QStringLiteral("OpenDevice"), QStringLiteral("sa{sv}"),
        QStringLiteral("import os\nassert args[0] == 'r'\nfd = os.open('%1', os.O_RDONLY)\n"
                       "ret = dbus.types.UnixFd(fd)\nos.close(fd)")
            .arg(Device())));
    QVERIFY2(Next(), qPrintable(prompter->Texts().join(QLatin1Char('\n'))));
    QCOMPARE(Found().size(), 3);
    QCOMPARE(bus->OpenForBackupCalls(QStringLiteral("OpenDevice")), 1);
  }

  void UnreachableCardNamesTheDirectReason() {
    SetDirectCardOpenRefusedForTests(true);
    TUDisks2Client::SetBusAddressForTests(QStringLiteral("unix:path=/nonexistent"));
    QVERIFY(!Next());
    QCOMPARE(form->CurrentPage(), 2);
    const QString device = QStringLiteral("%1: (%2)").arg(QLatin1Char(letter)).arg(Device());
    QCOMPARE(prompter->Texts().size(), 1);
    QVERIFY(prompter->Texts().value(0).startsWith(EngineText(TText::CannotOpenCard, {device.toStdString(), std::strerror(EACCES)})
                                                      .chopped(1)));
  }

  // The real thing: the card is a loop device only root may read, the wizard runs as nobody,
  // and the mock daemon (root) opens the device and hands the descriptor over.
  void UnprivilegedUserScansThroughUDisks2() {
    if (::geteuid() != 0) QSKIP("needs root to attach a loop device and to become nobody");
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    const QString device = Output(QStandardPaths::findExecutable(QStringLiteral("losetup")),
                                  {QStringLiteral("--find"), QStringLiteral("--show"),
                                   QStringLiteral("--read-only"), Device()});
    if (setpriv.isEmpty() || !device.startsWith(QLatin1String("/dev/loop")) ||
        !QFile::exists(device))
      QSKIP("loop devices or setpriv are not available here");
    struct TDetach {
      QString Device;
      ~TDetach() { Output(QStringLiteral("losetup"), {QStringLiteral("-d"), Device}); }
    } detach{device};
    const uint64_t hash = HashFile(image);
    QVERIFY(Next());
    const QStringList direct = Found();
    QCOMPARE(direct.size(), 3);

    // Folders the unprivileged copy can reach: the bus socket and its result file.
    QFile::setPermissions(temp->path(),
                          QFile::permissions(temp->path()) | QFile::ExeOther | QFile::ReadOther);
    const QString shared = temp->filePath(QStringLiteral("shared"));
    QVERIFY(QDir().mkpath(shared));
    QVERIFY(QFile::setPermissions(shared, QFileDevice::Permissions(0x7777)));
    TPrivateBus loopBus(shared);
    const QString failure = loopBus.Start(device, device);
    if (!failure.isEmpty()) QFAIL(qPrintable(failure));

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString result = shared + QStringLiteral("/found.txt");
    env.insert(QStringLiteral("SNAPSALVAGER_UDISKS2_CHILD"), device + QLatin1Char('|') + result);
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), loopBus.Address());
    env.insert(QStringLiteral("HOME"), shared);
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                          QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                          QStringLiteral("ChildScan")});
    QVERIFY(child.waitForFinished(120000));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitCode() == 0, output.constData());
    QFile found(result);
    QVERIFY2(found.open(QIODevice::ReadOnly), output.constData());
    QCOMPARE(QString::fromUtf8(found.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             direct);
    QCOMPARE(loopBus.OpenForBackupCalls(), 1);
    QCOMPARE(HashFile(image), hash);
  }

  // The unprivileged copy's part: pick the loop device from the drive list and scan it with
  // no test seam at all; udisks2 is found on the system bus the environment names.
  void ChildScan() {
    const QStringList task = ChildTask();
    if (task.size() != 2) QSKIP("run by UnprivilegedUserScansThroughUDisks2");
    QVERIFY(::geteuid() != 0);
    QVERIFY(!QFile(task[0]).open(QIODevice::ReadOnly));  // no direct way in
    LinuxDrives::Refresh();
    letter = LinuxDrives::LetterOfPath(task[0].toStdString());
    QVERIFY(letter != 0);
    QVERIFY2(Next(), qPrintable(prompter->Texts().join(QLatin1Char('\n'))));
    const QStringList found = Found();
    QFile out(task[1]);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(found.join(QLatin1Char('\n')).toUtf8());
  }

  void StartUpQuestionOnlyWhenNeitherWayCanOpen() {
    SetAdministratorOverride(false);
    prompter->Clear();
    { TMainForm withUDisks2; }
    QVERIFY(prompter->Texts().isEmpty());
    TUDisks2Client::SetBusAddressForTests(QStringLiteral("unix:path=/nonexistent"));
    { TMainForm withoutBus; }
    SetAdministratorOverride(std::nullopt);
    QCOMPARE(prompter->Texts().size(), 1);
    // The administrator question (pinned by the window's suite), which names pkexec.
    QVERIFY(prompter->Texts().first().contains(QStringLiteral("pkexec snapsalvager")));
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestUDisks2)
#include "tst_UDisks2.moc"
