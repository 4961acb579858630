// vigil-hub: the service side of the station's remote access. Each service is switchable;
// this build carries the traversal server (UDP 9601).
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>

#include "hub/TraversalServer.h"
#include "platform/UniqueFd.h"
#include "zellnet/src/RealRuntime.h"

namespace {

// One line per event on standard error (the journal when run as a service).
void LogLine(const std::string& line) {
  const std::string stamped =
      QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss ").toStdString() + line + "\n";
  (void)!::write(STDERR_FILENO, stamped.data(), stamped.size());
}

// SIGTERM and SIGINT end the event loop through a socket pair, the one thing a signal
// handler may safely touch.
int g_signalWrite = -1;
void OnSignal(int) {
  const char byte = 1;
  (void)!::write(g_signalWrite, &byte, 1);
}

bool ParseNumber(const QString& text, unsigned long max, unsigned long& out) {
  bool ok = false;
  out = text.toULong(&ok);
  return ok && out <= max;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("vigil-hub");

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "The service side of the Vigil station: the traversal server that lets stations and "
      "viewers behind NAT routers find each other.");
  parser.addHelpOption();
  QCommandLineOption noTraversal("no-traversal", "Do not run the traversal server.");
  QCommandLineOption listen("listen", "Local IPv4 address of the traversal server (default: all).",
                            "address");
  QCommandLineOption port("traversal-port", "UDP port of the traversal server (default 9601).", "port",
                          "9601");
  QCommandLineOption maxClients("max-clients", "Most logged-in clients kept (default 100000).", "count",
                                "100000");
  QCommandLineOption expire("expire-after", "Seconds of silence before a client is logged out (default 60).",
                            "seconds", "60");
  QCommandLineOption relayRate("relay-rate",
                               "Bytes per second that one relayed link may pass through the hub (default 1048576).",
                               "bytes", "1048576");
  parser.addOptions({noTraversal, listen, port, maxClients, expire, relayRate});
  parser.process(app);

  vigil::hub::TraversalOptions options;
  unsigned long value = 0;
  if (!ParseNumber(parser.value(port), 65535, value) || value == 0) {
    std::fprintf(stderr, "vigil-hub: bad --traversal-port %s\n", qPrintable(parser.value(port)));
    return 2;
  }
  options.port = static_cast<uint16_t>(value);
  if (!ParseNumber(parser.value(maxClients), 100000000, value) || value == 0) {
    std::fprintf(stderr, "vigil-hub: bad --max-clients %s\n", qPrintable(parser.value(maxClients)));
    return 2;
  }
  options.maxClients = value;
  if (!ParseNumber(parser.value(expire), 86400, value) || value < 2) {
    std::fprintf(stderr, "vigil-hub: bad --expire-after %s\n", qPrintable(parser.value(expire)));
    return 2;
  }
  options.expireAfter_ms = static_cast<uint32_t>(value * 1000);
  options.probeAfter_ms = options.expireAfter_ms / 2;
  if (!ParseNumber(parser.value(relayRate), 1000000000, value) || value < 10000) {
    std::fprintf(stderr, "vigil-hub: bad --relay-rate %s (at least 10000)\n", qPrintable(parser.value(relayRate)));
    return 2;
  }
  options.relayBytesPerSecond = static_cast<uint32_t>(value);
  options.address = parser.value(listen).toStdString();

  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    std::perror("vigil-hub: socketpair");
    return 1;
  }
  vigil::UniqueFd signalRead(pair[0]), signalWrite(pair[1]);
  g_signalWrite = signalWrite.get();
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  QSocketNotifier signalNotifier(signalRead.get(), QSocketNotifier::Read);
  QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
    LogLine("stopping");
    app.quit();
  });

  zellnet::RealRuntime runtime;
  std::unique_ptr<vigil::hub::TraversalServer> traversal;
  if (!parser.isSet(noTraversal)) {
    traversal = std::make_unique<vigil::hub::TraversalServer>(runtime, options, LogLine);
    if (!traversal->Start()) return 1;
  }
  if (!traversal) {
    std::fprintf(stderr, "vigil-hub: every service is switched off\n");
    return 2;
  }
  const int rc = app.exec();
  traversal.reset();
  LogLine("stopped");
  return rc;
}
