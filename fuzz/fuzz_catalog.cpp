// The .mo catalog loader: the input is the catalog file. Whatever it holds,
// the load must either refuse it or give a catalog whose lookups answer a
// terminated text, and a refused file must leave the catalog loaded before it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/catalog/catalog.h"
#include "fuzz/fuzz_file.h"

namespace {

// A small catalog made by msgfmt, loaded before every input so a refused
// input can be seen to keep it.
const char kKnownId[] = "Read..";
const char kKnownText[] = "Chitat";

std::string knownCatalog() {
  std::string po = FuzzFolder() + "/known.po";
  FILE* f = std::fopen(po.c_str(), "w");
  std::fprintf(f, "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                  "msgid \"%s\"\nmsgstr \"%s\"\n", kKnownId, kKnownText);
  std::fclose(f);
  std::string command = "msgfmt -o " + FuzzFolder() + "/known.mo " + po;
  if (std::system(command.c_str()) != 0) std::abort();
  return "known.mo";
}

// Ids to look up: a few the tool uses, and texts cut from the input itself.
std::vector<std::string> idsOf(const uint8_t* data, size_t size) {
  std::vector<std::string> ids = {"", "Read..", "error", "\x80\x81", "Load 10l"};
  size_t start = 0;
  for (size_t i = 0; i <= size && ids.size() < 24; ++i) {
    if (i == size || data[i] == 0) {
      ids.emplace_back(reinterpret_cast<const char*>(data) + start, i - start);
      start = i + 1;
    }
  }
  return ids;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string known = knownCatalog();
  if (CatalogLoad(known.c_str(), FuzzFolder().c_str()) != 1) std::abort();
  FuzzWriteFile("input.mo", data, size);
  const int result = CatalogLoad("input.mo", FuzzFolder().c_str());
  if (result != 1 && (result > -1 || result < -5)) std::abort();
  if (result != 1 && std::strcmp(tr(kKnownId), kKnownText) != 0) {
    std::fprintf(stderr, "a refused catalog (%d) replaced the loaded one\n", result);
    std::abort();
  }
  for (const std::string& id : idsOf(data, size)) {
    const char* text = tr(id.c_str());
    if (!text) std::abort();
    volatile size_t length = std::strlen(text);  // the answer must be terminated
    (void)length;
  }
  CatalogFree();
  return 0;
}
