#pragma once

#include <functional>

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>

namespace tvx {

/// One window per user, display and settings file. The first start listens
/// on a local socket; a later start connects, hands over its message (the
/// files it was given, see app/HandOver.h) and exits once the window took
/// it. The socket lives in the user's runtime folder, so only that user's
/// programs reach it.
///
/// Message on the wire: a 32-bit little-endian length and the bytes; the
/// window answers one byte, 'A' when it took the message, 'R' when not.
class TSingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit TSingleInstance(const QString& socketPath, QObject* parent = nullptr);
  ~TSingleInstance() override;

  enum class TRole {
    HandedOver,  ///< an open window took the message: this start is done
    Listening,   ///< no window was open: this one is the window, and listens
    Alone,       ///< neither (a window that does not answer, no usable socket): open a window anyway
  };
  /// Under a lock, so that two starts at once do not both listen: hands the
  /// message to the window listening on the socket, or listens there.
  TRole Start(const QByteArray& message, int timeoutMs = 5000);

  /// Receives each message handed over; returns whether it took it. Runs on
  /// the user-interface thread; an exception counts as not taken.
  std::function<bool(const QByteArray&)> OnMessage;

  /// Sends message to the window listening at socketPath; true when it
  /// answered that it took it.
  static bool HandOver(const QString& socketPath, const QByteArray& message, int timeoutMs);

  /// Messages above this size are refused unread.
  static constexpr quint32 kMaxMessage = 16u << 20;

 private:
  void Accept();

  QString socketPath_;
  QLocalServer server_;
};

}  // namespace tvx
