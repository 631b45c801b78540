#include "tests/app/core_procedures_fixture.h"

#include <cstring>

#include "app/core/application_link.h"
#include "clock/tick.h"
#include "link/trk.h"
#include "port/port.h"
#include "tests/support/scratch_dir.h"

namespace {

StationConfig TheStation;
Trk* TheLink;

// As the program starts: tick thread, port layer (port.out in a scratch
// folder), the one link.
class CoreEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    scratch_ = new ScratchDir();
    tickStart();
    PortLayerStart();
    TheLink = CreateApplicationLink(TheStation);
  }
  void TearDown() override {
    PortLayerStop();
    tickStop();
    delete scratch_;
  }

 private:
  ScratchDir* scratch_ = nullptr;
};
const ::testing::Environment* const kCore =
    ::testing::AddGlobalTestEnvironment(new CoreEnvironment);

}  // namespace

Trk& CoreProcedureTest::Link() { return *TheLink; }

void CoreProcedureTest::SetUp() {
  // What the link learnt of the nozzles in an earlier test is not this one's.
  std::memset(NozzleTable, 0, sizeof NozzleTable);
  ControllerTest::SetUp();
}

void CoreProcedureTest::TearDown() {
  if (handle_ != 0) PortClose(handle_);
  ControllerTest::TearDown();
}

void CoreProcedureTest::OpenPort() {
  ASSERT_EQ(PortOpen(&handle_, sim->announce().c_str()), kPortOpened);
  TheLink->port = handle_;
}

void CoreProcedureTest::Connect(const MemoryImage& image, const std::vector<std::string>& args) {
  StartController(image, args);
  if (!HasFatalFailure()) OpenPort();
}

void CoreProcedureTest::Connect(const std::vector<std::string>& args) {
  StartController(args);
  if (!HasFatalFailure()) OpenPort();
}
