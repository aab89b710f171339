// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/UDisks2Client.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace snapsalvager {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
// The bus's own questions and the device list answer at once or not at all.
constexpr int kQueryTimeoutMs = 5000;

QString g_testAddress;
int g_testConnection = 0;

QString TestConnectionName() {
  return QStringLiteral("snapsalvager-udisks2-%1").arg(g_testConnection);
}

QDBusConnection DefaultBus() {
  if (g_testAddress.isEmpty()) return QDBusConnection::systemBus();
  return QDBusConnection::connectToBus(g_testAddress, TestConnectionName());
}

// udisks2 gives device names as NUL-terminated byte strings.
QString DeviceText(const QVariant& value) {
  QByteArray bytes = value.toByteArray();
  while (bytes.endsWith('\0')) bytes.chop(1);
  return QString::fromLocal8Bit(bytes);
}

QStringList DeviceTexts(const QVariant& value) {
  QStringList names;
  if (value.userType() == qMetaTypeId<QDBusArgument>()) {
    const QDBusArgument list = value.value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
      QByteArray bytes;
      list >> bytes;
      names << DeviceText(bytes);
    }
    list.endArray();
  } else {
    for (const QByteArray& bytes : value.value<QByteArrayList>()) names << DeviceText(bytes);
  }
  return names;
}

// Whether a block object's properties name the device: by its node, its preferred name, one
// of its links, or its device number (the drive list may know it under another name).
bool NamesDevice(const QVariantMap& block, const QString& node, const QString& canonical,
                 quint64 number) {
  QStringList names = DeviceTexts(block.value(QStringLiteral("Symlinks")));
  names << DeviceText(block.value(QStringLiteral("Device")))
        << DeviceText(block.value(QStringLiteral("PreferredDevice")));
  for (const QString& name : names) {
    if (name.isEmpty()) continue;
    if (name == node || (!canonical.isEmpty() && name == canonical)) return true;
  }
  const QVariant device = block.value(QStringLiteral("DeviceNumber"));
  return number != 0 && device.isValid() && device.toULongLong() == number;
}

// Waits for the reply with the windows still painted but no clicks taken: the polkit agent
// may keep the user a while.
QDBusMessage WaitForReply(const QDBusConnection& bus, const QDBusMessage& call, int timeoutMs) {
  QDBusPendingCall pending = bus.asyncCall(call, timeoutMs);
  if (!pending.isFinished()) {
    if (QCoreApplication::instance()) {
      QDBusPendingCallWatcher watcher(pending);
      QEventLoop loop;
      QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
      if (!watcher.isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    } else {
      pending.waitForFinished();
    }
  }
  return pending.reply();
}

TUDisks2Client::TFailure FailureOf(const QDBusMessage& reply) {
  using F = TUDisks2Client::TFailure;
  const QString name = reply.errorName();
  // polkit answers this at once when no authentication agent runs to ask for the password.
  if (name == QLatin1String("org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain")) return F::NoAgent;
  if (name.startsWith(QLatin1String("org.freedesktop.UDisks2.Error.NotAuthorized")) ||
      name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
    return F::Refused;  // NotAuthorized, ...CanObtain, ...Dismissed (prompt cancelled)
  if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
      name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
      name == QLatin1String("org.freedesktop.DBus.Error.TimedOut"))
    return F::NoAnswer;
  if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
      name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
      name == QLatin1String("org.freedesktop.DBus.Error.NoServer") ||
      name == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
    return F::NoDaemon;
  // The daemon opens the device exclusively for a backup; a mounted card refuses that.
  if (reply.errorMessage().contains(QLatin1String("resource busy"), Qt::CaseInsensitive))
    return F::Busy;
  return F::Failed;
}

}  // namespace

void TUDisks2Client::SetBusAddressForTests(const QString& address) {
  if (!g_testAddress.isEmpty()) QDBusConnection::disconnectFromBus(TestConnectionName());
  ++g_testConnection;
  g_testAddress = address;
}

TUDisks2Client::TUDisks2Client() : bus_(DefaultBus()) {}

TUDisks2Client::TUDisks2Client(const QDBusConnection& bus) : bus_(bus) {}

bool TUDisks2Client::Available() const {
  if (!bus_.isConnected()) return false;
  const QString bus = QStringLiteral("org.freedesktop.DBus");
  QDBusMessage owner = QDBusMessage::createMethodCall(bus, QStringLiteral("/org/freedesktop/DBus"),
                                                      bus, QStringLiteral("NameHasOwner"));
  owner << kService;
  const QDBusMessage hasOwner = bus_.call(owner, QDBus::Block, kQueryTimeoutMs);
  if (hasOwner.type() == QDBusMessage::ReplyMessage && !hasOwner.arguments().isEmpty() &&
      hasOwner.arguments().first().toBool())
    return true;
  // Not running yet: the bus starts it on the first call.
  const QDBusMessage activatable =
      bus_.call(QDBusMessage::createMethodCall(bus, QStringLiteral("/org/freedesktop/DBus"), bus,
                                               QStringLiteral("ListActivatableNames")),
                QDBus::Block, kQueryTimeoutMs);
  return activatable.type() == QDBusMessage::ReplyMessage && !activatable.arguments().isEmpty() &&
         activatable.arguments().first().toStringList().contains(kService);
}

QString TUDisks2Client::FindBlockObject(const QString& deviceNode, TOpenResult& result) const {
  const QDBusMessage reply =
      bus_.call(QDBusMessage::createMethodCall(kService, kRoot,
                                               QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                               QStringLiteral("GetManagedObjects")),
                QDBus::Block, kQueryTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    result.Failure =
        reply.type() == QDBusMessage::ErrorMessage ? FailureOf(reply) : TFailure::Failed;
    if (result.Failure == TFailure::Refused || result.Failure == TFailure::Busy ||
        result.Failure == TFailure::NoAgent)
      result.Failure = TFailure::Failed;
    result.Detail = reply.errorMessage();
    return {};
  }
  const QString canonical = QFileInfo(deviceNode).canonicalFilePath();
  quint64 number = 0;
  struct stat st {};
  if (::stat(deviceNode.toLocal8Bit().constData(), &st) == 0 && S_ISBLK(st.st_mode))
    number = st.st_rdev;

  const QDBusArgument objects = reply.arguments().first().value<QDBusArgument>();
  QString found;
  objects.beginMap();
  while (!objects.atEnd()) {
    QDBusObjectPath path;
    objects.beginMapEntry();
    objects >> path;
    objects.beginMap();
    while (!objects.atEnd()) {
      QString interface;
      QVariantMap properties;
      objects.beginMapEntry();
      objects >> interface >> properties;
      objects.endMapEntry();
      if (found.isEmpty() && interface == kBlock &&
          NamesDevice(properties, deviceNode, canonical, number))
        found = path.path();
    }
    objects.endMap();
    objects.endMapEntry();
  }
  objects.endMap();
  if (found.isEmpty()) result.Failure = TFailure::UnknownDevice;
  return found;
}

TUDisks2Client::TOpenResult TUDisks2Client::OpenForBackup(const QString& deviceNode,
                                                          int timeoutMs) const {
  TOpenResult result;
  if (!bus_.isConnected()) {
    result.Failure = TFailure::NoDaemon;
    result.Detail = bus_.lastError().message();
    return result;
  }
  const QString object = FindBlockObject(deviceNode, result);
  if (object.isEmpty()) return result;

  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, object, kBlock, QStringLiteral("OpenForBackup"));
  call << QVariantMap();
  call.setInteractiveAuthorizationAllowed(true);
  QDBusMessage reply = WaitForReply(bus_, call, timeoutMs);
  if (reply.type() == QDBusMessage::ErrorMessage && FailureOf(reply) == TFailure::Busy) {
    // A mounted card cannot be opened exclusively; a plain read-only open works, and the
    // authorisation just given is kept, so no second prompt appears.
    QDBusMessage plain =
        QDBusMessage::createMethodCall(kService, object, kBlock, QStringLiteral("OpenDevice"));
    plain << QStringLiteral("r") << QVariantMap();
    plain.setInteractiveAuthorizationAllowed(true);
    const QDBusMessage second = WaitForReply(bus_, plain, timeoutMs);
    // An older daemon without OpenDevice: the busy answer stands.
    if (second.type() == QDBusMessage::ReplyMessage ||
        second.errorName() != QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
      reply = second;
  }

  if (reply.type() != QDBusMessage::ReplyMessage) {
    result.Failure =
        reply.type() == QDBusMessage::ErrorMessage ? FailureOf(reply) : TFailure::Failed;
    result.Detail = reply.errorMessage();
    return result;
  }
  const QDBusUnixFileDescriptor descriptor =
      reply.arguments().isEmpty() ? QDBusUnixFileDescriptor()
                                  : reply.arguments().first().value<QDBusUnixFileDescriptor>();
  // The descriptor object closes its own copy; the receiver gets one of its own.
  const int fd =
      descriptor.isValid() ? ::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0) : -1;
  if (fd < 0) {
    result.Failure = TFailure::Failed;
    result.Detail = QStringLiteral("no file descriptor in the reply");
    return result;
  }
  result.Fd = fd;
  return result;
}

}  // namespace snapsalvager
