#include "app/cli/command_line.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/catalog/catalog.h"
#include "app/cli/commands.h"
#include "app/core/build_info.h"

namespace {

const char kProgram[] = "tarvo_6";

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "%s", tr("Usage: tarvo_6 [--trace FILE] [FLTK window options]\n"
                             "       tarvo_6 --list-ports\n"
                             "       tarvo_6 --read PORT [--address A] [--json] [--trace FILE]\n"
                             "       tarvo_6 --find [PORT...]\n"
                             "       tarvo_6 --help | --version\n"));
  std::fprintf(out, "%s", tr("\n"
                             "Without arguments the window starts.\n"
                             "  --list-ports  the ports the window offers, with their kind\n"
                             "  --read PORT   read the controller on PORT and print what it holds\n"
                             "  --address A   the controller's address in hexadecimal (default 1)\n"
                             "  --json        print one JSON object instead of aligned text\n"
                             "  --find [PORT...]  try each port --list-ports lists, or each\n"
                             "                PORT named, one at a time at address F0 (group 0\n"
                             "                of any controller) and print a line for each port\n"
                             "                where a controller answers: port, variant, nozzles,\n"
                             "                group addresses; only reads\n"
                             "  --trace FILE  append every frame and reply on the wire to FILE\n"
                             "                (also for the window; or TARVO6_TRACE=FILE)\n"
                             "Exit status: 0 read, or --find found a controller;\n"
                             "2 bad arguments; 3 no connection, or --find found none;\n"
                             "4 main settings damaged; 5 the port cannot be opened;\n"
                             "6 ended by a signal (the port is closed first).\n"));
}

int BadArguments(const char* format, const char* argument) {
  std::fprintf(stderr, "%s: ", kProgram);
  std::fprintf(stderr, format, argument);
  std::fprintf(stderr, "\n");
  std::fprintf(stderr, tr("Try '%s --help'.\n"), kProgram);
  return kExitBadArguments;
}

// A controller address: hexadecimal 0 to FF, optionally after 0x; leading
// zeros are taken ("001" is 1).
bool ParseAddressArgument(const char* text, int32_t* address) {
  const char* digits = text;
  if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits += 2;
  const size_t length = std::strlen(digits);
  if (length == 0 || std::strspn(digits, "0123456789abcdefABCDEF") != length) return false;
  const size_t zeros = std::min(std::strspn(digits, "0"), length - 1);
  if (length - zeros > 2) return false;
  *address = static_cast<int32_t>(std::strtol(digits + zeros, nullptr, 16));
  return true;
}

struct Arguments {
  bool help = false, version = false, listPorts = false, json = false, find = false;
  std::vector<std::string> findPorts;
  const char* readPort = nullptr;
  const char* addressText = nullptr;
};

// "--name VALUE" or "--name=VALUE": the value, or nullptr when there is none.
// An argument after the option that begins with "--" is the next option, not
// its value ("--read --json" lacks the port).
const char* OptionValue(int argc, char** argv, int* i, const char* name) {
  const char* arg = argv[*i];
  const size_t length = std::strlen(name);
  if (arg[length] == '=') return arg + length + 1;
  if (*i + 1 < argc && std::strncmp(argv[*i + 1], "--", 2) != 0) return argv[++*i];
  return nullptr;
}

bool IsOption(const char* arg, const char* name) {
  const size_t length = std::strlen(name);
  return std::strncmp(arg, name, length) == 0 && (arg[length] == '\0' || arg[length] == '=');
}

// 0 when the arguments parse; otherwise the exit status, with the error shown.
int Parse(int argc, char** argv, Arguments* a) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      a->help = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      a->version = true;
    } else if (std::strcmp(arg, "--list-ports") == 0) {
      a->listPorts = true;
    } else if (std::strcmp(arg, "--find") == 0) {
      if (a->find) return BadArguments(tr("option '%s' given twice"), "--find");
      a->find = true;
      // The ports are every argument up to the next option.
      while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) {
        a->findPorts.emplace_back(argv[++i]);
      }
    } else if (std::strcmp(arg, "--json") == 0) {
      a->json = true;
    } else if (IsOption(arg, "--read")) {
      if (a->readPort) return BadArguments(tr("option '%s' given twice"), "--read");
      a->readPort = OptionValue(argc, argv, &i, "--read");
      if (!a->readPort || !*a->readPort) {
        return BadArguments(tr("option '%s' needs a port name"), "--read");
      }
    } else if (IsOption(arg, "--address")) {
      if (a->addressText) return BadArguments(tr("option '%s' given twice"), "--address");
      a->addressText = OptionValue(argc, argv, &i, "--address");
      if (!a->addressText) return BadArguments(tr("option '%s' needs an address"), "--address");
    } else {
      return BadArguments(tr("unknown argument '%s'"), arg);
    }
  }
  return 0;
}

}  // namespace

bool IsCommandLineRun(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--", 2) == 0 || std::strcmp(argv[i], "-h") == 0) return true;
  }
  return false;
}

int RunCommandLine(int argc, char** argv) {
  // Messages in the operator's language when the catalog is at hand, as the
  // window finds it; the report's labels and JSON names never change.
  CatalogLoad("tarvo_6.mo", "ru");
  Arguments a;
  if (const int status = Parse(argc, argv, &a)) return status;
  if (a.help) {
    PrintUsage(stdout);
    return kExitDone;
  }
  if (a.version) {
    std::printf("%s, build %s\n", kProgram, kBuildDate);
    return kExitDone;
  }
  const int commands = (a.listPorts ? 1 : 0) + (a.readPort ? 1 : 0) + (a.find ? 1 : 0);
  if (commands != 1) {
    return BadArguments("%s", tr("give exactly one of --list-ports, --read PORT and --find"));
  }
  if (a.find) {
    if (a.json || a.addressText) return BadArguments(tr("'%s' takes no other option"), "--find");
    return FindCommand(a.findPorts);
  }
  if (a.listPorts) {
    if (a.json || a.addressText) {
      return BadArguments(tr("'%s' takes no other option"), "--list-ports");
    }
    return ListPortsCommand();
  }
  int32_t address = 1;
  if (a.addressText && !ParseAddressArgument(a.addressText, &address)) {
    return BadArguments(tr("'%s' is not a controller address (hexadecimal 0 to FF)"),
                        a.addressText);
  }
  return ReadCommand(a.readPort, address, a.json);
}
