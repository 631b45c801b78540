#include "tools/dispenser_sim/command_line.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

const char kHelp[] =
    "Usage: dispenser-sim [options]\n"
    "A simulated controller of a CNG fuel dispenser, for the service tool's tests,\n"
    "demonstrations and training. It answers the tool's frames over a\n"
    "pseudo-terminal or TCP and keeps a controller memory that can live in a file.\n"
    "\n"
    "Where it listens (one of; default --pty). The Windows build has\n"
    "--tcp-server only:\n"
    "  --pty                 create a pseudo-terminal and print the path of its\n"
    "                        other end (e.g. /dev/pts/7) on one line of stdout\n"
    "  --tcp-server PORT     accept the tool on 127.0.0.1:PORT (the tool's\n"
    "                        TCPC_127.0.0.1:PORT); 0 takes a free port; prints\n"
    "                        127.0.0.1:PORT on one line of stdout\n"
    "  --tcp-client PORT     connect to the tool on 127.0.0.1:PORT (the tool's\n"
    "                        TCPS_PORT), retrying until it listens and after every\n"
    "                        disconnection; prints 127.0.0.1:PORT on stdout\n"
    "\n"
    "The controller (ignored when --image loads an existing file: then the file's\n"
    "own status byte and main settings tell all of this):\n"
    "  --variant V           0, 1 or 2 (default 1)\n"
    "  --address A           bus address of group 0, 1-239 (default 1); decimal,\n"
    "                        or hexadecimal with 0x. Address 0xF0 always reaches\n"
    "                        group 0\n"
    "  --nozzles N           nozzles per group, 1-8 (default 4)\n"
    "  --groups G            nozzle groups: 1-4 for variant 0, 1-2 otherwise (default 1)\n"
    "  --group-addresses A,B,...\n"
    "                        bus address of each group (default: --address and\n"
    "                        the addresses after it)\n"
    "\n"
    "Behaviour:\n"
    "  --key on|off          the configuration key (default on); while off, every\n"
    "                        memory write is refused (error 0x58). SIGUSR1 turns it\n"
    "                        over while running\n"
    "  --password P          ask for password P: 0-9999 (variants 0, 1) or 0-65535\n"
    "                        (variant 2). Default: no password (its state reads as\n"
    "                        sixteen 0x11 bytes). Until P is entered, writes are\n"
    "                        refused (0x5B); a wrong entry is refused (0x5B); after\n"
    "                        three wrong entries entry is locked (0x5C) until restart\n"
    "  --cng, --no-cng       report CNG diagnostics ('$' in byte 12 of the error\n"
    "                        record, and an answer to the identification probe);\n"
    "                        default: on for variant 2, off otherwise\n"
    "  --point-to-point      also take read and write headers sent without a select\n"
    "                        frame (the tool's link address 0); they go to bank 0\n"
    "  --rate ML             fill rate in millilitres per second (default 1000)\n"
    "  --start-ms MS         after a preset the pump takes MS to start: the nozzle\n"
    "                        runs with amount 0 meanwhile (default 0)\n"
    "  --lift-ms MS          after a preset the nozzle stays idle MS (not yet\n"
    "                        lifted) before its pump starts (default 0)\n"
    "  --hold-ms MS          a finished or stopped fill returns to idle after MS\n"
    "                        without a close command (default 10000; 0 = never)\n"
    "\n"
    "Memory image:\n"
    "  --image FILE          load the memory from FILE when it exists (else start\n"
    "                        fresh and create it); save it there on exit\n"
    "  --save-each-write     also save FILE after every write that changed memory\n"
    "\n"
    "Timing:\n"
    "  --pace                take the wire time of 4800 baud 8N1 (2.083 ms a byte)\n"
    "                        for what arrives and for what goes out\n"
    "  --reply-delay-ms MS   turnaround before a reply (default 1)\n"
    "  --gap-ms MS           a frame left incomplete this long is dropped (default 1000)\n"
    "\n"
    "The line as the tool's adapter makes it:\n"
    "  --echo                every byte the tool sends comes back to it, as on a\n"
    "                        2-wire RS-485 line whose adapter keeps its receiver on:\n"
    "                        before the reply, and with --pace as each byte's wire\n"
    "                        time passes (the echo takes no wire time of its own)\n"
    "  --fault-collision P   with --echo: the probability that an echoed byte comes\n"
    "                        back changed, as when two talkers meet; the controller\n"
    "                        still receives the byte that was sent\n"
    "  --usb-latency MS      what the tool receives, echo and replies, arrives in\n"
    "                        bursts, as from a USB serial chip's latency timer: the\n"
    "                        first byte held starts the timer, and when MS have\n"
    "                        passed everything held goes out at once (0-1000,\n"
    "                        default 0: bytes go out as they arrive)\n"
    "\n"
    "Faults (each a probability from 0 to 1, default 0):\n"
    "  --fault-no-reply P    the request is lost: not acted on, not answered\n"
    "  --fault-late P        the reply goes out --late-ms later\n"
    "  --fault-truncate P    only a part of the reply goes out\n"
    "  --fault-checksum P    the reply's trailing checksum is wrong (memory read,\n"
    "                        status and error record replies)\n"
    "  --fault-refuse P      a write of more than one byte, a nozzle command or a\n"
    "                        preset is refused (0xFF, error 0x5A) and not acted on\n"
    "  --fault-noise P       1-8 random bytes follow the reply\n"
    "  --late-ms MS          delay of a late reply (default 1500)\n"
    "  --fault-once KIND:TEXT  put one fault on the first request whose trace\n"
    "                        description contains TEXT; KIND is no-reply, late,\n"
    "                        truncate, checksum, refuse, noise, late-noise (noise\n"
    "                        --late-ms after the reply) or collision (with --echo:\n"
    "                        the echo of the request's last byte comes back changed).\n"
    "                        Repeatable: each takes the next matching request\n"
    "  --seed S              seed of the fault generator (default 1)\n"
    "\n"
    "Trace (every frame received and every reply, in hex and in words):\n"
    "  --trace               to standard error\n"
    "  --trace-file FILE     appended to FILE\n"
    "\n"
    "  --help                this text\n"
    "\n"
    "Errors the controller reports in byte 7 of its error record: 0x50 write body\n"
    "checksum wrong, 0x51 bad value, 0x52 nozzle busy, 0x53 no such nozzle, 0x58\n"
    "configuration key off, 0x5A injected refusal, 0x5B wrong or missing password,\n"
    "0x5C password entry locked.\n"
    "Bad arguments exit with status 2. SIGINT and SIGTERM stop it cleanly.\n";

// Decimal, or hexadecimal after 0x; no signs.
bool parseLong(const std::string& text, long low, long high, long* out) {
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 10) return false;
  for (char c : digits) {
    unsigned char u = static_cast<unsigned char>(c);
    if (!(hex ? std::isxdigit(u) : std::isdigit(u))) return false;
  }
  long v = std::strtol(digits.c_str(), nullptr, hex ? 16 : 10);
  if (v < low || v > high) return false;
  *out = v;
  return true;
}

bool parseProbability(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !(v >= 0.0 && v <= 1.0)) return false;
  *out = v;
  return true;
}

class Parser {
 public:
  Parser(int argc, const char* const* argv, SimOptions* o, std::string* error)
      : argc_(argc), argv_(argv), o_(o), error_(error) {}

  bool run();

 private:
  bool option(const std::string& name, const std::string* inlineValue);
  bool value(const std::string& name, std::string* out);
  bool number(const std::string& name, long low, long high, long* out);
  bool probability(const std::string& name, double* out);
  bool fail(const std::string& message) {
    *error_ = message;
    return false;
  }
  bool finish();

  int argc_;
  const char* const* argv_;
  SimOptions* o_;
  std::string* error_;
  int next_ = 1;
  const std::string* inline_ = nullptr;
  int transports_ = 0;
  bool groupAddressesGiven_ = false;
  std::string groupAddresses_;
};

bool Parser::run() {
  while (next_ < argc_) {
    std::string arg = argv_[next_++];
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0)
      return fail("unexpected argument \"" + arg + "\"");
    size_t eq = arg.find('=');
    std::string name = arg.substr(0, eq);
    std::string inlineValue = eq == std::string::npos ? "" : arg.substr(eq + 1);
    if (!option(name, eq == std::string::npos ? nullptr : &inlineValue)) return false;
  }
  return finish();
}

bool Parser::value(const std::string& name, std::string* out) {
  if (inline_) {
    *out = *inline_;
    inline_ = nullptr;
    return true;
  }
  if (next_ >= argc_) return fail(name + " needs a value");
  *out = argv_[next_++];
  return true;
}

bool Parser::number(const std::string& name, long low, long high, long* out) {
  std::string text;
  if (!value(name, &text)) return false;
  if (!parseLong(text, low, high, out))
    return fail(name + " takes a whole number from " + std::to_string(low) + " to " +
                std::to_string(high) + ", not \"" + text + "\"");
  return true;
}

bool Parser::probability(const std::string& name, double* out) {
  std::string text;
  if (!value(name, &text)) return false;
  if (!parseProbability(text, out))
    return fail(name + " takes a probability from 0 to 1, not \"" + text + "\"");
  return true;
}

bool Parser::option(const std::string& name, const std::string* inlineValue) {
  inline_ = inlineValue;
  long n = 0;
  bool ok = true;
  FaultRates& f = o_->session.faults;
  if (name == "--help") {
    o_->help = true;
  } else if (name == "--pty") {
    o_->transport = TransportKind::Pty;
    ++transports_;
  } else if (name == "--tcp-server" || name == "--tcp-client") {
    bool server = name == "--tcp-server";
    ok = number(name, server ? 0 : 1, 65535, &n);
    o_->transport = server ? TransportKind::TcpServer : TransportKind::TcpClient;
    o_->tcpPort = static_cast<int>(n);
    ++transports_;
  } else if (name == "--variant") {
    ok = number(name, 0, 2, &n);
    o_->controllerLayout.variant = static_cast<int>(n);
  } else if (name == "--address") {
    ok = number(name, 1, 239, &n);
    for (int g = 0; g < layout::kMaxGroups; ++g) o_->controllerLayout.groupAddress[g] = static_cast<int>(n) + g;
  } else if (name == "--nozzles") {
    ok = number(name, 1, layout::kMaxNozzles, &n);
    o_->controllerLayout.nozzles = static_cast<int>(n);
  } else if (name == "--groups") {
    ok = number(name, 1, layout::kMaxGroups, &n);
    o_->controllerLayout.groups = static_cast<int>(n);
  } else if (name == "--group-addresses") {
    ok = value(name, &groupAddresses_);
    groupAddressesGiven_ = true;
  } else if (name == "--key") {
    std::string text;
    ok = value(name, &text);
    if (ok && text != "on" && text != "off") return fail("--key takes on or off, not \"" + text + "\"");
    o_->controller.keyOn = text == "on";
  } else if (name == "--password") {
    ok = number(name, 0, 65535, &n);
    o_->controller.password = static_cast<int>(n);
  } else if (name == "--cng" || name == "--no-cng") {
    o_->controller.cng = name == "--cng" ? 1 : 0;
  } else if (name == "--point-to-point") {
    o_->session.pointToPoint = true;
  } else if (name == "--rate") {
    ok = number(name, 1, 1000000, &n);
    o_->controller.fills.rateMlPerSecond = static_cast<int>(n);
  } else if (name == "--start-ms") {
    ok = number(name, 0, 60000, &n);
    o_->controller.fills.startMs = static_cast<int>(n);
  } else if (name == "--lift-ms") {
    ok = number(name, 0, 600000, &n);
    o_->controller.fills.liftMs = static_cast<int>(n);
  } else if (name == "--hold-ms") {
    ok = number(name, 0, 86400000, &n);
    o_->controller.fills.holdMs = static_cast<int>(n);
  } else if (name == "--image") {
    ok = value(name, &o_->imagePath);
    if (ok && o_->imagePath.empty()) return fail("--image needs a file name");
  } else if (name == "--save-each-write") {
    o_->saveEachWrite = true;
  } else if (name == "--pace") {
    o_->session.pace = true;
  } else if (name == "--reply-delay-ms") {
    ok = number(name, 0, 60000, &n);
    o_->session.replyDelayUs = n * 1000;
  } else if (name == "--gap-ms") {
    ok = number(name, 1, 600000, &n);
    o_->session.gapLimitUs = n * 1000;
  } else if (name == "--echo") {
    o_->session.line.echo = true;
  } else if (name == "--fault-collision") {
    ok = probability(name, &o_->session.line.collision);
  } else if (name == "--usb-latency") {
    ok = number(name, 0, 1000, &n);
    o_->session.line.usbLatencyUs = n * 1000;
  } else if (name == "--fault-no-reply") {
    ok = probability(name, &f.noReply);
  } else if (name == "--fault-late") {
    ok = probability(name, &f.late);
  } else if (name == "--fault-truncate") {
    ok = probability(name, &f.truncate);
  } else if (name == "--fault-checksum") {
    ok = probability(name, &f.badChecksum);
  } else if (name == "--fault-refuse") {
    ok = probability(name, &f.refuse);
  } else if (name == "--fault-noise") {
    ok = probability(name, &f.noise);
  } else if (name == "--fault-once") {
    std::string text;
    ForcedFault forced;
    ok = value(name, &text);
    if (ok && !parseForcedFault(text, &forced))
      return fail(name + " takes KIND:TEXT with KIND one of no-reply, late, truncate, checksum, "
                  "refuse, noise, late-noise, collision, not \"" + text + "\"");
    if (ok) o_->session.forced.push_back(forced);
  } else if (name == "--late-ms") {
    ok = number(name, 0, 600000, &n);
    f.lateMs = static_cast<int>(n);
  } else if (name == "--seed") {
    ok = number(name, 0, 4294967295L, &n);
    o_->session.seed = static_cast<uint32_t>(n);
  } else if (name == "--trace") {
    o_->trace = true;
  } else if (name == "--trace-file") {
    ok = value(name, &o_->traceFile);
    if (ok && o_->traceFile.empty()) return fail("--trace-file needs a file name");
  } else {
    return fail("unknown option " + name);
  }
  if (ok && inline_) return fail(name + " takes no value");
  return ok;
}

bool Parser::finish() {
  layout::ControllerLayout& s = o_->controllerLayout;
  if (transports_ > 1) return fail("choose one of --pty, --tcp-server and --tcp-client");
  int most = layout::maxGroups(s.variant);
  if (s.groups > most)
    return fail("variant " + std::to_string(s.variant) + " has at most " + std::to_string(most) +
                " groups");
  if (groupAddressesGiven_) {
    std::stringstream list(groupAddresses_);
    std::string item;
    int count = 0;
    while (std::getline(list, item, ',')) {
      long a = 0;
      if (count == layout::kMaxGroups || !parseLong(item, 1, 239, &a))
        return fail("--group-addresses takes up to 4 addresses 1-239 separated by commas, not \"" +
                    groupAddresses_ + "\"");
      s.groupAddress[count++] = static_cast<int>(a);
    }
    if (count != s.groups)
      return fail("--group-addresses names " + std::to_string(count) + " addresses for " +
                  std::to_string(s.groups) + " groups");
  }
  for (int g = 0; g < s.groups; ++g) {
    if (s.groupAddress[g] > 239)
      return fail("group addresses run past 239; choose a lower --address");
    for (int h = 0; h < g; ++h)
      if (s.groupAddress[g] == s.groupAddress[h]) return fail("two groups share one address");
  }
  if (s.variant != 2 && o_->controller.password > 9999)
    return fail("variants 0 and 1 take a password from 0 to 9999");
  if (o_->saveEachWrite && o_->imagePath.empty()) return fail("--save-each-write needs --image");
  if (o_->session.line.collision > 0 && !o_->session.line.echo)
    return fail("--fault-collision needs --echo: only an echoing line shows a collision");
  if (o_->trace && !o_->traceFile.empty()) return fail("choose --trace or --trace-file");
  return true;
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, SimOptions* options, std::string* error) {
  return Parser(argc, argv, options, error).run();
}

const char* helpText() { return kHelp; }
