#pragma once

// Hands the rotator from the bridge to a sun-noise run as soon as rotctld is
// ready, and back to tracking when the run ends, however it ends: completed,
// refused, or stopped by the operator.

class Bridge;
class SunNoiseRun;

void handRotatorToSunNoise(Bridge& bridge, SunNoiseRun& run);
