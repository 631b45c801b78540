#include "app/trace_option.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/alert.h"
#include "app/catalog.h"
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
      option.path = i + 1 < *argc ? argv[++i] : "";
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

void StartTraceOption(const TraceOption& option) {
  if (!option.asked) return;
  if (option.path.empty()) {
    ShowAlert(tr("--trace needs a file name"));
    return;
  }
  if (WireTraceStart(option.path.c_str())) return;
  char text[512];
  std::snprintf(text, sizeof text, tr("Cannot write the wire trace to %s"), option.path.c_str());
  ShowAlert(text);
}

bool StartTraceOnCommandLine(const TraceOption& option) {
  if (!option.asked) return true;
  if (option.path.empty()) {
    std::fprintf(stderr, "tarvo_6: %s\n", tr("--trace needs a file name"));
    return false;
  }
  if (WireTraceStart(option.path.c_str())) return true;
  std::fprintf(stderr, "tarvo_6: ");
  std::fprintf(stderr, tr("Cannot write the wire trace to %s"), option.path.c_str());
  std::fprintf(stderr, "\n");
  return false;
}
