#include "app/trace_option.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/window/alert.h"
#include "app/catalog/catalog.h"
#include "app/core/system_error_text.h"
#include "link/wire_trace.h"

TraceOption TakeTraceOption(int* argc, char** argv) {
  TraceOption option;
  if (const char* env = std::getenv("TARVO6_TRACE")) {
    option.asked = *env != '\0';
    option.path = env;
  }
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--trace") == 0) {
      option.asked = true;
      // An argument that begins with "--" is the next option, not the file.
      const bool named = i + 1 < *argc && std::strncmp(argv[i + 1], "--", 2) != 0;
      option.path = named ? argv[++i] : "";
    } else if (std::strncmp(arg, "--trace=", 8) == 0) {
      option.asked = true;
      option.path = arg + 8;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argv[kept] = nullptr;
  *argc = kept;
  return option;
}

namespace {

// Why the trace could not be begun, as one line.
std::string CannotOpenText(const TraceOption& option, int error) {
  char text[1024];
  std::snprintf(text, sizeof text, tr("Cannot write the wire trace to %s: %s"),
                option.path.c_str(), SystemErrorText(error));
  return text;
}

// A trace that ends while the tool runs is said once on standard error: an
// alert in the middle of a procedure would stop it for a file.
void TellTraceTrouble(WireTraceTrouble trouble, const char* path, int error) {
  std::fprintf(stderr, "tarvo_6: ");
  if (trouble == WireTraceTrouble::kBackupInTheWay) {
    std::fprintf(stderr, tr("The wire trace stopped at its size limit: %s is not a regular file "
                            "and is left alone"),
                 path);
  } else {
    std::fprintf(stderr, tr("The wire trace stopped: cannot write %s: %s"), path,
                 SystemErrorText(error));
  }
  std::fprintf(stderr, "\n");
}

bool StartTrace(const TraceOption& option, int* error) {
  SetWireTraceTroubleSink(TellTraceTrouble);
  return WireTraceStart(option.path.c_str(), kWireTraceLimitBytes, error);
}

}  // namespace

void StartTraceOption(const TraceOption& option) {
  if (!option.asked) return;
  if (option.path.empty()) {
    ShowAlert(tr("--trace needs a file name"));
    return;
  }
  int error = 0;
  if (StartTrace(option, &error)) return;
  ShowAlert(CannotOpenText(option, error).c_str());
}

bool StartTraceOnCommandLine(const TraceOption& option) {
  if (!option.asked) return true;
  if (option.path.empty()) {
    std::fprintf(stderr, "tarvo_6: %s\n", tr("--trace needs a file name"));
    std::fprintf(stderr, tr("Try '%s --help'.\n"), "tarvo_6");
    return false;
  }
  int error = 0;
  if (!StartTrace(option, &error)) {
    std::fprintf(stderr, "tarvo_6: %s\n", CannotOpenText(option, error).c_str());
  }
  return true;
}
