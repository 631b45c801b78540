#include "app/window/alert.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/fl_utf8.h>

#include <algorithm>
#include <string>

#include "app/catalog/catalog.h"

namespace {

AlertSink currentSink = nullptr;

// The alert box sizes itself to its longest line, plus its icon and margins;
// a path or a system's reason can make that line wider than the screen, and
// the box then runs off it with its Close button.
constexpr int kAlertFrame = 90;
// Lines are kept to a width that reads well, and never past the screen.
constexpr int kLineWidth = 600;

// Bytes of the longest start of word that fits width (at least one character).
size_t FittingStart(const std::string& word, double width) {
  size_t end = 0;
  while (end < word.size()) {
    const int length = std::max(1, fl_utf8len(word[end]));
    const size_t next = std::min(word.size(), end + static_cast<size_t>(length));
    if (end > 0 && fl_width(word.data(), static_cast<int>(next)) > width) break;
    end = next;
  }
  return end;
}

// One line of text broken at spaces into lines no wider than width; a word
// wider than a line on its own is broken between characters.
std::string WrapLine(const std::string& line, double width) {
  std::string out, current;
  size_t at = 0;
  while (at <= line.size()) {
    size_t space = line.find(' ', at);
    if (space == std::string::npos) space = line.size();
    std::string word = line.substr(at, space - at);
    at = space + 1;
    const std::string joined = current.empty() ? word : current + ' ' + word;
    if (fl_width(joined.c_str()) <= width) {
      current = joined;
      continue;
    }
    if (!current.empty()) out += current + '\n';
    while (fl_width(word.c_str()) > width) {
      const size_t cut = FittingStart(word, width);
      out += word.substr(0, cut) + '\n';
      word.erase(0, cut);
    }
    current = word;
  }
  return out + current;
}

std::string Wrap(const char* text) {
  // Fl::w() first: it opens the display the font is measured on.
  const double width = std::min(kLineWidth, Fl::w() - kAlertFrame - 20);
  fl_font(fl_message_font_, fl_message_size_ == -1 ? FL_NORMAL_SIZE : fl_message_size_);
  std::string out;
  const std::string all(text);
  size_t at = 0;
  for (;;) {
    const size_t end = all.find('\n', at);
    out += WrapLine(all.substr(at, end == std::string::npos ? std::string::npos : end - at), width);
    if (end == std::string::npos) return out;
    out += '\n';
    at = end + 1;
  }
}

}  // namespace

void ShowAlert(const char* text) {
  if (currentSink) {
    currentSink(text);
    return;
  }
  fl_alert("%s", Wrap(text).c_str());
}

void SetAlertSink(AlertSink sink) { currentSink = sink; }

void TranslateAlertButton() {
  // A copy: the box may outlive a catalog that is freed and loaded again.
  static std::string label;
  label = tr("Close");
  fl_close = label.c_str();
}
