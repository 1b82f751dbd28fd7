// The runs the benchmark times, each the real step code on whatever channel and clock it is given: a
// real port and the steady clock in orvexa-bench, the simulated scanner and the virtual clock in the
// test suite. Each starts where the workflow would stand (the port open, DeviceInfo as Step 2 leaves it)
// and runs one step to its end.
#pragma once

#include "FakePorts.h"
#include "ScriptedWindow.h"
#include "SimulatedScanner.h"
#include "WireLimit.h"

#include "steps/StepContext.h"

#include <string>
#include <vector>

namespace orvexa::bench {

enum class Scenario { Step1, Step2, Step3, Step3Fonts, Framed1024, Framed512 };

struct ScenarioInfo {
    Scenario scenario;
    const char* name;
    Flow flow;
    ScannerFamily family;
    Outcome expected; // how the step ends when all goes well
};

const std::vector<ScenarioInfo>& allScenarios();
const ScenarioInfo& infoOf(Scenario scenario);

// One scenario's dialog, records and package. The channel must be open on the scanner's port for every
// scenario but Step 1, which finds it among `ports`.
class ScenarioRun {
public:
    ScenarioRun(Scenario scenario, SerialChannel& channel, Clock& clock, ChannelFactory probeChannels,
                std::vector<std::string> ports = {});
    // Runs the step; the outcome it ended with.
    Outcome run();

    ScriptedWindow window;

private:
    Scenario scenario_;
    FakePorts discovery_;
    FirmwarePackage package_;
    ProcessRecords records_;
    StepContext ctx_;
};

} // namespace orvexa::bench
