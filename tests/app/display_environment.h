// For a test program whose tests share one private X server: started before
// the first test, stopped after the last.
#pragma once
#include <gtest/gtest.h>

#include "tests/app/private_display.h"

class DisplayEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { display_ = new PrivateDisplay(); }
  void TearDown() override {
    delete display_;
    display_ = nullptr;
  }
  // True while the server runs.
  bool ok() const { return display_ != nullptr && display_->ok(); }

  // Registers the environment with GoogleTest, which owns it.
  static DisplayEnvironment* Register() {
    auto* environment = new DisplayEnvironment;
    ::testing::AddGlobalTestEnvironment(environment);
    return environment;
  }

 private:
  PrivateDisplay* display_ = nullptr;
};
