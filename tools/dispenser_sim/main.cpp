// dispenser-sim: a simulated dispenser controller. See --help.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "tools/dispenser_sim/command_line.h"
#include "tools/dispenser_sim/controller.h"
#include "tools/dispenser_sim/image_file.h"
#include "tools/dispenser_sim/session.h"
#include "tools/dispenser_sim/stop_signals.h"
#include "tools/dispenser_sim/trace.h"
#include "tools/dispenser_sim/transport.h"

namespace {

constexpr int kIdleWaitMs = 10;   // fills move on at least this often

int64_t nowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int badArgument(const std::string& message) {
  std::fprintf(stderr, "dispenser-sim: %s\nTry 'dispenser-sim --help'.\n", message.c_str());
  return 2;
}

bool exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

bool save(const SimOptions& o, const MemoryImage& memory, const Controller& c) {
  std::string error;
  if (saveImage(o.imagePath, memory, c.commits(), &error)) return true;
  std::fprintf(stderr, "dispenser-sim: %s\n", error.c_str());
  return false;
}

std::unique_ptr<Transport> makeTransport(const SimOptions& o) {
  switch (o.transport) {
    case TransportKind::TcpServer: return makeTcpServerTransport(o.tcpPort);
    case TransportKind::TcpClient: return makeTcpClientTransport(o.tcpPort);
    case TransportKind::Pty: break;
  }
  return makePtyTransport();
}

// How the line toward the tool behaves, for the trace's first line.
std::string lineWords(const LineSettings& line) {
  std::string words;
  if (line.echo) words += ", the line echoes";
  if (line.collision > 0) words += " (collisions " + std::to_string(line.collision) + ")";
  if (line.usbLatencyUs > 0)
    words += ", USB latency " + std::to_string(line.usbLatencyUs / 1000) + " ms";
  return words;
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions o;
  std::string error;
  if (!parseCommandLine(argc, argv, &o, &error)) return badArgument(error);
  if (o.help) {
    std::fputs(helpText(), stdout);
    return 0;
  }

  MemoryImage memory;
  int commits = 0;
  if (!o.imagePath.empty() && exists(o.imagePath)) {
    if (!loadImage(o.imagePath, &memory, &commits, &error)) return badArgument(error);
  } else {
    layout::build(o.controllerLayout, memory);
  }
  Trace trace;
  if (o.trace) trace.toStream(stderr);
  if (!o.traceFile.empty() && !trace.toFile(o.traceFile))
    return badArgument("cannot open the trace file " + o.traceFile);

  Controller controller(memory, o.controller);
  controller.setCommits(commits);
  // The file exists from the start, so a trainee can watch it change.
  if (!o.imagePath.empty() && !save(o, memory, controller)) return 2;

  std::unique_ptr<Transport> transport = makeTransport(o);
  std::string announce;
  if (!transport->open(&announce, &error)) {
    std::fprintf(stderr, "dispenser-sim: %s\n", error.c_str());
    return 1;
  }
  installSignalHandlers();
  std::printf("%s\n", announce.c_str());
  std::fflush(stdout);

  int64_t start = nowUs();
  trace.setOrigin(start);
  layout::Shape shape = controller.shape();
  trace.note(start, "variant " + std::to_string(shape.variant) + ", nozzles " +
                        std::to_string(shape.nozzles) + ", groups " +
                        std::to_string(shape.groups) + ", key " +
                        (controller.keyOn() ? "on" : "off") + ", on " + announce +
                        lineWords(o.session.line));

  Session session(controller, o.session, trace);
  std::vector<uint8_t> in;
  while (!stopRequested()) {
    int64_t now = nowUs();
    if (takeKeyToggle()) {
      controller.setKey(!controller.keyOn());
      trace.note(now, std::string("configuration key ") + (controller.keyOn() ? "on" : "off"));
    }
    session.tick(now);
    std::vector<uint8_t> out = session.due(now);
    if (!out.empty()) transport->send(out.data(), out.size());
    if (o.saveEachWrite && controller.takeMemoryChanged()) save(o, memory, controller);

    int timeout = kIdleWaitMs;
    int64_t next = session.nextEventUs();
    if (next != kNever) {
      int64_t untilMs = (next - now + 999) / 1000;
      if (untilMs < timeout) timeout = untilMs < 0 ? 0 : static_cast<int>(untilMs);
    }
    in.clear();
    TransportEvent event = transport->wait(timeout, &in);
    now = nowUs();
    // A new or lost peer starts from a clean line: no half frame, no reply
    // meant for the one before.
    if (event == TransportEvent::Connected || event == TransportEvent::Lost) {
      trace.note(now, event == TransportEvent::Connected ? "connected" : "connection lost");
      session.connectionLost(now);
    }
    if (!in.empty()) session.received(in.data(), in.size(), now);
  }

  int64_t end = nowUs();
  trace.note(end, "stopping after " + std::to_string(controller.commits()) + " commits");
  if (!o.imagePath.empty() && !save(o, memory, controller)) return 1;
  return 0;
}
