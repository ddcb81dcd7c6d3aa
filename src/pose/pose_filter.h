// Per-tracker pose filter: bridges the tracking server's irregular, late samples and the host's per-frame
// pose requests. It fits a straight line in time through the samples of the last 40 ms, extrapolates it to
// the present (at most 50 ms past the newest sample), carries the jump a new sample would cause as a
// correction that fades with a 20 ms time constant, re-attaches head-relative points to the headset's
// current head point, and smooths the result.
#pragma once

#include <cstdint>
#include <optional>

#include "pose/pose_math.h"

namespace vantrels {

// Provider-wide settings, overwritten from every accepted POSES header.
struct FilterSettings {
  bool prediction = true;          // extrapolate in time and blend new samples in through the corrections
  double smoothingSeconds = 0.0;   // base time constant of the output smoothing; 0 turns smoothing off
  bool adaptiveSmoothing = false;  // shorten the smoothing time constants with speed
};

// One entry of the sample window.
struct PoseSample {
  double time = 0.0;  // seconds on the server time base
  Vec3 position;      // absolute position as received
  Vec3 headAnchor;    // head point at sample time; zero when the sample came without one
  Quat rotation;      // received rotation, normalised
};

// The per-window quantities of the straight-line fits through the window: the mean time, the time spread
// Stt, and per axis the means and the Stp sums of the positions and of the rotation vectors relative to the
// newest rotation. They depend only on the samples held and on headRelative (never on the evaluation time
// or the settings), so they are computed once per window and every evaluation in between is a few
// multiplications.
struct WindowFit {
  bool current = false;  // describes the window as it is now
  bool sloped = false;   // Stt is large enough for a slope; otherwise the newest sample stands
  double newestTime = 0.0;
  double timeMean = 0.0;
  double stt = 0.0;
  Vec3 positionMean;  // relative positions
  Vec3 positionStp;
  Vec3 rotationMean;  // rotation vectors relative to the newest rotation
  Vec3 rotationStr;
};

struct PoseFilter {
  static constexpr int32_t kWindowCapacity = 16;

  PoseSample samples[kWindowCapacity];  // ring; sample k (0 = oldest) at (first + k) mod 16
  int32_t first = 0;
  int32_t count = 0;
  bool headRelative = false;  // the newest sample was stored head-relative; governs how all positions are read
  bool outputValid = false;   // smoothedPosition and smoothedRotation hold an output
  Vec3 positionCorrection;    // continuity offset added to the predicted position
  Quat rotationCorrection;    // continuity rotation applied after the predicted rotation
  Vec3 smoothedPosition;
  Quat smoothedRotation;
  Vec3 lastPosition;  // previous frame's unsmoothed pose
  Quat lastRotation;
  double linearSpeed = 0.0;   // smoothed, m/s
  double angularSpeed = 0.0;  // smoothed, rad/s

  // Takes one accepted sample. headAnchor is the head point of the message that carried it; the sample
  // is stored head-relative when headRelativeFlag is set and an anchor is given.
  void AddSample(const Vec3 &position, const Quat &rotation, bool headRelativeFlag,
                 const std::optional<Vec3> &headAnchor, double sampleTime, double now, const FilterSettings &settings);
  // Once per host frame, before the output is read. headNow is the headset's current head point (absent
  // while the headset pose is unavailable), headStep its movement since the previous frame, dt the frame
  // interval (0 to 0.1 s).
  void Step(const std::optional<Vec3> &headNow, const Vec3 &headStep, double now, double dt,
            const FilterSettings &settings);

  // Evaluate the window at time t; all three need count >= 1. FitPosition is relative to the head anchor
  // while the window is head-relative, PredictPosition is absolute. These compute the fit from the samples
  // on every call.
  Vec3 FitPosition(double t, const FilterSettings &settings) const;
  Vec3 PredictPosition(double t, const FilterSettings &settings) const;
  Quat PredictRotation(double t, const FilterSettings &settings) const;

  // The same three evaluations from windowFit, which they bring up to date first when the window has
  // changed; what AddSample and Step use. Their results are bit for bit those of the three above.
  Vec3 CachedFitPosition(double t, const FilterSettings &settings);
  Vec3 CachedPredictPosition(double t, const FilterSettings &settings);
  Quat CachedPredictRotation(double t, const FilterSettings &settings);

  // Empties the window and drops the output and the corrections (tracker timed out).
  void ResetFilter();

  // Fit of the window as it was when last needed. Only AddSample and ResetFilter change the window; code
  // that writes samples, first, count or headRelative itself must clear windowFit.current.
  WindowFit windowFit;

 private:
  // Brings windowFit up to date; needs count >= 2.
  const WindowFit &FitWindow();
};

}  // namespace vantrels
