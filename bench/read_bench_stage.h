// What the Read benchmarks share: a scratch working folder (port.out and any
// trace land there), the tick and the port layer started, and the main window
// built but never shown, so the procedures run as the operator's buttons run
// them without a display.
#pragma once
#include <string>

struct AppState;
class xMainForm;

class ReadBenchStage {
 public:
  // folderPrefix names the scratch folder under /tmp.
  explicit ReadBenchStage(const std::string& folderPrefix);
  ~ReadBenchStage();   // closes the port, stops the layers, removes the folder
  ReadBenchStage(const ReadBenchStage&) = delete;
  ReadBenchStage& operator=(const ReadBenchStage&) = delete;

  bool ok() const { return !folder_.empty(); }
  // Offers the one device in the port choice, opens it and sets address 1.
  bool openPort(const std::string& device);
  void closePort();
  // The last Read reached the controller and found its nozzles.
  static bool readFound(int nozzles);

 private:
  std::string folder_;
};

// The stage's window (built by the last ReadBenchStage) and what its
// procedures work with.
AppState& State();
xMainForm& Form();
