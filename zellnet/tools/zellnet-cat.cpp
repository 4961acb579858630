// zellnet-cat: a peer link from the command line, over libzellnet's nine exports.
//   zellnet-cat --server HOST listen           prints its ID, writes what the first peer
//                                              sends to standard output, exits 0 when that
//                                              peer ends the link
//   zellnet-cat --server HOST connect ID       sends standard input as reliable records and
//                                              ends the link once everything arrived
// Both say on standard error whether the link is direct or relayed, and the figures.
// Records of type 0 carry the bytes; a record of type 1 with an 8-byte count ends the input,
// and the listener answers it with the count it received.
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/Gbk.h"
#include "zellnet.h"

namespace {

constexpr uint8_t kDataType = 0;
constexpr uint8_t kEndType = 1;
constexpr size_t kChunk = 8192;

void Say(const std::string& line) {
  const std::string text = "zellnet-cat: " + line + "\n";
  (void)!::write(STDERR_FILENO, text.data(), text.size());
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string Figures(uint64_t bytes, qint64 ms) {
  char text[128];
  const double seconds = static_cast<double>(ms) / 1000.0;
  std::snprintf(text, sizeof text, "%llu bytes in %.3f s (%.1f KB/s)", static_cast<unsigned long long>(bytes), seconds,
                seconds > 0 ? static_cast<double>(bytes) / 1024.0 / seconds : 0.0);
  return text;
}

class Cat {
 public:
  Cat(bool listen, std::string peerId, bool allowRelay)
      : listen_(listen), peerId_(std::move(peerId)), allowRelay_(allowRelay) {}
  ~Cat() {
    if (handle_) NKDestory(handle_);
  }

  bool Start(const std::string& server, const std::string& serial) {
    handle_ = NKCreate(&Cat::Callback, reinterpret_cast<uintptr_t>(this));
    if (!handle_) return Fail("cannot create a zellnet instance");
    if (NKLogin(handle_, server.c_str(), serial.c_str()) != 1) return Fail("login refused: " + Status());
    return true;
  }
  void Quit(int code) {
    if (quitting_) return;
    quitting_ = true;
    QCoreApplication::exit(code);
  }
  bool Fail(const std::string& why) {
    Say("error: " + why);
    Quit(1);
    return false;
  }
  std::string Status() const { return vigil::gbkToUtf8(NKGetStatus(handle_, NK_STATUS_TEXT)); }

 private:
  static void Callback(const unsigned char* pBuf, int nLen, unsigned char nType, uintptr_t user) {
    auto* self = reinterpret_cast<Cat*>(user);
    if (pBuf) self->OnData(pBuf, nLen, nType);
    else self->OnEvent(nType);
  }

  void OnEvent(int code) {
    switch (code) {
      case NK_EVENT_LOGIN:
        if (listen_) {
          Say("id " + std::string(NKGetStatus(handle_, NK_STATUS_ID)));
        } else {
          clock_.start();
          if (NKConnect(handle_, peerId_.c_str(), allowRelay_ ? 1 : 0) != 1) Fail("connect refused: " + Status());
        }
        break;
      case NK_EVENT_LOGOUT: Fail("lost the server: " + Status()); break;
      case NK_EVENT_CONNECTED: OnConnected(); break;
      case NK_EVENT_DISCONNECTED: OnDisconnected(); break;
      default: break;
    }
  }

  void OnConnected() {
    linked_ = true;
    const bool relayed = NKIsFromServer(handle_) == 1;
    Say(std::string("linked ") + (relayed ? "relayed" : "direct") +
        (listen_ ? "" : " in " + std::to_string(clock_.elapsed()) + " ms"));
    clock_.restart();
    if (listen_) return;
    input_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(input_.get(), &QSocketNotifier::activated, [this] { Pump(true); });
    retry_.setSingleShot(true);
    QObject::connect(&retry_, &QTimer::timeout, [this] { Pump(false); });
  }

  void OnDisconnected() {
    if (quitting_) return;
    if (!linked_) {
      if (listen_) {
        Say("a peer failed to link (" + Status() + "); still listening");
        return;
      }
      Fail("no link: " + Status());
      return;
    }
    if (listen_ && Status() == "停止!") {
      Say("received " + Figures(bytes_, clock_.elapsed()));
      Quit(0);
    } else if (!listen_ && stopping_) {
      Say("sent " + Figures(bytes_, clock_.elapsed()));
      Quit(0);
    } else {
      Fail("link lost after " + std::to_string(bytes_) + " bytes");
    }
  }

  void OnData(const unsigned char* data, int size, int type) {
    if (type == kDataType && listen_) {
      if (!WriteAll(STDOUT_FILENO, data, static_cast<size_t>(size))) Fail(std::string("standard output: ") + std::strerror(errno));
      bytes_ += static_cast<uint64_t>(size);
    } else if (type == kEndType && size == 8) {
      uint64_t count = 0;
      std::memcpy(&count, data, 8);
      if (listen_) {
        std::memcpy(end_.data(), &bytes_, 8);
        NKSendData(handle_, end_.data(), 8, kEndType, 1);
      } else if (count == bytes_) {
        stopping_ = true;
        NKStopChat(handle_);  // ends once the last acknowledgement is in
      } else {
        Fail("the peer received " + std::to_string(count) + " of " + std::to_string(bytes_) + " bytes");
      }
    }
  }

  // Moves standard input into the send ring, one read per readable notification, and
  // waits on a short timer while the ring is full.
  void Pump(bool readable) {
    if (quitting_ || endSent_) return;
    if (pending_ == 0 && !eof_ && readable) {
      const ssize_t n = ::read(STDIN_FILENO, chunk_.data(), chunk_.size());
      if (n < 0 && errno != EINTR && errno != EAGAIN) {
        Fail(std::string("standard input: ") + std::strerror(errno));
        return;
      }
      if (n == 0) eof_ = true;
      if (n > 0) pending_ = static_cast<size_t>(n);
    }
    if (pending_ > 0) {
      if (NKSendData(handle_, chunk_.data(), static_cast<int>(pending_), kDataType, 1) != 1) return Wait();
      bytes_ += pending_;
      pending_ = 0;
    }
    if (eof_) {
      std::memcpy(end_.data(), &bytes_, 8);
      if (NKSendData(handle_, end_.data(), 8, kEndType, 1) != 1) return Wait();
      endSent_ = true;
      input_->setEnabled(false);
      return;
    }
    input_->setEnabled(true);
  }
  void Wait() {
    input_->setEnabled(false);
    retry_.start(5);  // the link drains the send ring
  }

  const bool listen_;
  const std::string peerId_;
  const bool allowRelay_;
  NKHANDLE handle_ = nullptr;
  QElapsedTimer clock_;
  std::unique_ptr<QSocketNotifier> input_;
  QTimer retry_;
  std::array<unsigned char, kChunk> chunk_{};
  std::array<unsigned char, 8> end_{};
  size_t pending_ = 0;
  uint64_t bytes_ = 0;
  bool linked_ = false;
  bool eof_ = false;
  bool endSent_ = false;
  bool stopping_ = false;
  bool quitting_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("zellnet-cat");
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "A zellnet peer link from the command line.\n"
      "  zellnet-cat --server HOST listen\n"
      "  zellnet-cat --server HOST connect ID [--no-relay]");
  parser.addHelpOption();
  QCommandLineOption server("server", "Traversal server (vigil-hub) host name or address.", "host");
  QCommandLineOption noRelay("no-relay", "Fail instead of carrying the link through the server.");
  QCommandLineOption timeout("timeout", "Give up after this many seconds (default: never).", "seconds", "0");
  QCommandLineOption serial("serial", "Login key (at least 16 characters).", "key", "zellnet-cat-0000");
  parser.addOptions({server, noRelay, timeout, serial});
  parser.addPositionalArgument("mode", "listen, or connect ID");
  parser.process(app);

  const QStringList args = parser.positionalArguments();
  const bool listen = args.size() == 1 && args[0] == "listen";
  const bool connect = args.size() == 2 && args[0] == "connect";
  if (!parser.isSet(server) || (!listen && !connect)) {
    std::fputs("usage: zellnet-cat --server HOST listen | connect ID [--no-relay] [--timeout S]\n", stderr);
    return 2;
  }
  bool ok = false;
  const int seconds = parser.value(timeout).toInt(&ok);
  if (!ok || seconds < 0) {
    std::fputs("zellnet-cat: bad --timeout\n", stderr);
    return 2;
  }
  Cat cat(listen, connect ? args[1].toStdString() : std::string(), !parser.isSet(noRelay));
  if (seconds > 0)
    QTimer::singleShot(seconds * 1000, &app, [&] { cat.Fail("timed out after " + std::to_string(seconds) + " s"); });
  if (!cat.Start(parser.value(server).toStdString(), parser.value(serial).toStdString())) return 1;
  return app.exec();
}
