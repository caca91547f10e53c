#include "app/ui/SingleInstance.h"

#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QtEndian>

#include <memory>

#include "util/Guard.h"

namespace tvx {
namespace {

// A client that connects and then says nothing is dropped after this long.
constexpr int kClientTimeoutMs = 10000;

QByteArray Frame(const QByteArray& message) {
  QByteArray frame(4, '\0');
  qToLittleEndian<quint32>(static_cast<quint32>(message.size()), frame.data());
  return frame + message;
}

}  // namespace

TSingleInstance::TSingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent), socketPath_(socketPath) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, [this] { GuardedCall([this] { Accept(); }); });
}

TSingleInstance::~TSingleInstance() { server_.close(); }

bool TSingleInstance::HandOver(const QString& socketPath, const QByteArray& message, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(Frame(message));
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(timeoutMs)) return false;
  char answer = 0;
  socket.getChar(&answer);
  return answer == 'A';
}

TSingleInstance::TRole TSingleInstance::Start(const QByteArray& message, int timeoutMs) {
  QLockFile lock(socketPath_ + QStringLiteral(".lock"));
  if (!lock.tryLock(timeoutMs)) return TRole::Alone;
  if (HandOver(socketPath_, message, timeoutMs)) return TRole::HandedOver;
  // A window may be open but not answering (stopped, busy in a modal loop
  // of another program); a new window then opens alone rather than taking
  // the socket from it.
  {
    QLocalSocket probe;
    probe.connectToServer(socketPath_);
    if (probe.waitForConnected(200)) return TRole::Alone;
  }
  // Nobody listens: a socket file left by a window that crashed goes.
  QLocalServer::removeServer(socketPath_);
  return server_.listen(socketPath_) ? TRole::Listening : TRole::Alone;
}

void TSingleInstance::Accept() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto* timeout = new QTimer(socket);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, socket, [socket] { socket->abort(); });
    timeout->start(kClientTimeoutMs);
    // The frame may arrive in pieces; it is handled once whole.
    auto done = std::make_shared<bool>(false);
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket, done] {
      GuardedCall([this, socket, done] {
        if (*done || socket->bytesAvailable() < 4) return;
        char head[4];
        socket->peek(head, 4);
        const quint32 size = qFromLittleEndian<quint32>(head);
        if (size <= kMaxMessage && socket->bytesAvailable() < 4 + static_cast<qint64>(size)) return;
        *done = true;
        bool taken = false;
        struct TAnswer {  // also when OnMessage raises: the sender must not wait for nothing
          QLocalSocket* Socket;
          const bool& Taken;
          ~TAnswer() {
            Socket->write(Taken ? "A" : "R", 1);
            Socket->flush();
            Socket->disconnectFromServer();
          }
        } answer{socket, taken};
        if (size > kMaxMessage) return;
        socket->skip(4);
        const QByteArray message = socket->read(size);
        taken = OnMessage && OnMessage(message);
      });
    });
  }
}

}  // namespace tvx
