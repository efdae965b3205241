#pragma once

class DeviceFleet;

namespace History {

class Recorder;

// Has `recorder` record what the devices of `fleet` do: every change as the
// fleet tells it, and at each second's sampling whether each device is
// switched on (a switch turned while the state stays tells nothing). The
// polls read the counters (program, pieces) while the recorder lives.
void recordFleet(DeviceFleet *fleet, Recorder *recorder);

} // namespace History
