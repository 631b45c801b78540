// The operator's side of the core Write as a script: it answers the entries
// and logs what Write tells it, in order.
#pragma once
#include <string>
#include <vector>

#include "app/core/write_procedure.h"

class ScriptedOperator : public WriteOperator {
 public:
  std::vector<std::string> entries = std::vector<std::string>(8);
  std::vector<std::string> log;
  std::vector<std::string> alerts;   // the alerts alone

  const char* passwordText() override { return "5185"; }
  const char* entryText(int i) override {
    log.push_back("entry " + std::to_string(i + 1));
    return entries[i].c_str();
  }
  bool edited(int i) override { return !entries[i].empty(); }
  void alert(const char* text) override {
    log.push_back(std::string("alert ") + text);
    alerts.emplace_back(text);
  }
  void recordWritten(int i) override { log.push_back("written " + std::to_string(i + 1)); }
  void counterWritten() override { log.push_back("counter"); }
  void readAgain() override { log.push_back("read again"); }
  void readNoLongerCurrent() override { log.push_back("read no longer current"); }
};
