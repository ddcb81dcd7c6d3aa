#include "pose/pose_filter.h"

#include <algorithm>
#include <cmath>

namespace vantrels {

namespace {

constexpr int32_t kCapacity = PoseFilter::kWindowCapacity;
// Samples older than this, relative to the newest, leave the window (but at least two stay).
constexpr double kWindowSeconds = 0.04;
// The fit is never extrapolated further than this past the newest sample.
constexpr double kMaxExtrapolationSeconds = 0.05;
// Below this spread of the sample times the line's slope is meaningless.
constexpr double kMinTimeSpread = 1e-8;
// A sample this far from the current output, or this much older than the newest, starts the window anew.
constexpr double kRestartDistance = 0.5;
constexpr double kRestartAgeSeconds = 1.0;
constexpr double kCorrectionSeconds = 0.02;
constexpr double kSpeedSmoothingSeconds = 0.03;
// An unsmoothed output this far from the smoothed one re-initialises the smoothing.
constexpr double kSmoothingJump = 0.5;
constexpr double kLinearCutoffGain = 20.0;   // Hz per m/s
constexpr double kAngularCutoffGain = 10.0;  // Hz per rad/s

static_assert((kCapacity & (kCapacity - 1)) == 0, "the ring index wraps with a mask");

// Masking keeps every index inside the ring, also k = -1 on an empty window.
int32_t RingIndex(int32_t first, int32_t k) {
  return (first + k) & (kCapacity - 1);
}

const PoseSample &Newest(const PoseFilter &f) {
  return f.samples[RingIndex(f.first, f.count - 1)];
}

Vec3 RelativePosition(const PoseFilter &f, const PoseSample &s) {
  return f.headRelative ? s.position - s.headAnchor : s.position;
}

// The time side of the window's straight-line fit, shared by the position and the rotation line.
struct TimeLine {
  bool fitted = false;  // false: too few samples, prediction off or times too close; the newest sample stands
  int32_t count = 0;
  double times[kCapacity] = {};
  double mean = 0.0;
  double stt = 0.0;
  double tau = 0.0;  // evaluation time, at most 50 ms past the newest sample
};

TimeLine LineAt(const PoseFilter &f, double t, const FilterSettings &settings) {
  TimeLine line;
  if (!settings.prediction || f.count < 2) return line;
  line.count = f.count;
  double sum = 0.0;
  for (int32_t k = 0; k < f.count; ++k) {
    line.times[k] = f.samples[RingIndex(f.first, k)].time;
    sum += line.times[k];
  }
  line.mean = sum / static_cast<double>(f.count);
  for (int32_t k = 0; k < f.count; ++k) {
    const double dt = line.times[k] - line.mean;
    line.stt += dt * dt;
  }
  line.fitted = !(line.stt < kMinTimeSpread);
  line.tau = std::min(line.times[f.count - 1] + kMaxExtrapolationSeconds, t);
  return line;
}

// Least-squares line through (times[k], values[k]) evaluated at the line's tau.
Vec3 Evaluate(const TimeLine &line, const Vec3 (&values)[kCapacity]) {
  const double n = static_cast<double>(line.count);
  Vec3 sum;
  for (int32_t k = 0; k < line.count; ++k) sum = sum + values[k];
  const Vec3 mean{sum.x / n, sum.y / n, sum.z / n};
  Vec3 stp;
  for (int32_t k = 0; k < line.count; ++k) {
    const double dt = line.times[k] - line.mean;
    stp.x += (values[k].x - mean.x) * dt;
    stp.y += (values[k].y - mean.y) * dt;
    stp.z += (values[k].z - mean.z) * dt;
  }
  const double dtau = line.tau - line.mean;
  return {mean.x + stp.x * dtau / line.stt, mean.y + stp.y * dtau / line.stt, mean.z + stp.z * dtau / line.stt};
}

Quat Negated(const Quat &q) {
  return {-q.w, -q.x, -q.y, -q.z};
}

// The fitted position relative to the head anchor while the window is head-relative.
Vec3 FitPositionOn(const PoseFilter &f, const TimeLine &line) {
  if (!line.fitted) return RelativePosition(f, Newest(f));
  Vec3 positions[kCapacity];
  for (int32_t k = 0; k < f.count; ++k) positions[k] = RelativePosition(f, f.samples[RingIndex(f.first, k)]);
  return Evaluate(line, positions);
}

Vec3 PredictPositionOn(const PoseFilter &f, const TimeLine &line) {
  const Vec3 fit = FitPositionOn(f, line);
  return f.headRelative ? fit + Newest(f).headAnchor : fit;
}

Quat PredictRotationOn(const PoseFilter &f, const TimeLine &line) {
  const Quat &qL = Newest(f).rotation;
  if (!line.fitted) return qL;
  // Each rotation as a rotation vector relative to the newest one, on the short arc. Rotations are
  // never head-relative.
  const Quat inverseL = Conjugate(qL);
  Vec3 vectors[kCapacity];
  for (int32_t k = 0; k < f.count; ++k) {
    Quat d = Multiply(f.samples[RingIndex(f.first, k)].rotation, inverseL);
    if (d.w < 0.0) d = Negated(d);
    vectors[k] = ToRotationVector(d);
  }
  return NormalizeOrIdentity(Multiply(FromRotationVector(Evaluate(line, vectors)), qL));
}

// The evaluation time of a fitted window: t, but never more than 50 ms past the newest sample.
double FitTime(const WindowFit &fit, double t) {
  return std::min(fit.newestTime + kMaxExtrapolationSeconds, t);
}

// A line of the fit evaluated at tau. The same expression, in the same order, as Evaluate above.
Vec3 EvaluateAt(const WindowFit &fit, const Vec3 &mean, const Vec3 &stp, double tau) {
  const double dtau = tau - fit.timeMean;
  return {mean.x + stp.x * dtau / fit.stt, mean.y + stp.y * dtau / fit.stt, mean.z + stp.z * dtau / fit.stt};
}

}  // namespace

Vec3 PoseFilter::FitPosition(double t, const FilterSettings &settings) const {
  return FitPositionOn(*this, LineAt(*this, t, settings));
}

Vec3 PoseFilter::PredictPosition(double t, const FilterSettings &settings) const {
  return PredictPositionOn(*this, LineAt(*this, t, settings));
}

Quat PoseFilter::PredictRotation(double t, const FilterSettings &settings) const {
  return PredictRotationOn(*this, LineAt(*this, t, settings));
}

// One pass of LineAt, FitPositionOn and PredictRotationOn's per-sample work, keeping what does not depend on
// the evaluation time. Sums start at zero and run from the oldest sample to the newest, as there.
const WindowFit &PoseFilter::FitWindow() {
  WindowFit &fit = windowFit;
  if (fit.current) return fit;
  fit = WindowFit{};
  fit.current = true;

  double times[kCapacity];
  double sum = 0.0;
  for (int32_t k = 0; k < count; ++k) {
    times[k] = samples[RingIndex(first, k)].time;
    sum += times[k];
  }
  const double n = static_cast<double>(count);
  fit.timeMean = sum / n;
  for (int32_t k = 0; k < count; ++k) {
    const double dt = times[k] - fit.timeMean;
    fit.stt += dt * dt;
  }
  fit.newestTime = Newest(*this).time;
  fit.sloped = !(fit.stt < kMinTimeSpread);
  if (!fit.sloped) return fit;

  // Plain arrays without initialisers: filled below before they are read.
  double px[kCapacity], py[kCapacity], pz[kCapacity];
  double rx[kCapacity], ry[kCapacity], rz[kCapacity];
  const Quat inverseL = Conjugate(Newest(*this).rotation);
  Vec3 positionSum;
  Vec3 vectorSum;
  for (int32_t k = 0; k < count; ++k) {
    const PoseSample &sample = samples[RingIndex(first, k)];
    const Vec3 p = RelativePosition(*this, sample);
    Quat d = Multiply(sample.rotation, inverseL);
    if (d.w < 0.0) d = Negated(d);
    const Vec3 r = ToRotationVector(d);
    px[k] = p.x, py[k] = p.y, pz[k] = p.z;
    rx[k] = r.x, ry[k] = r.y, rz[k] = r.z;
    positionSum = positionSum + p;
    vectorSum = vectorSum + r;
  }
  fit.positionMean = {positionSum.x / n, positionSum.y / n, positionSum.z / n};
  fit.rotationMean = {vectorSum.x / n, vectorSum.y / n, vectorSum.z / n};
  for (int32_t k = 0; k < count; ++k) {
    const double dt = times[k] - fit.timeMean;
    fit.positionStp.x += (px[k] - fit.positionMean.x) * dt;
    fit.positionStp.y += (py[k] - fit.positionMean.y) * dt;
    fit.positionStp.z += (pz[k] - fit.positionMean.z) * dt;
    fit.rotationStr.x += (rx[k] - fit.rotationMean.x) * dt;
    fit.rotationStr.y += (ry[k] - fit.rotationMean.y) * dt;
    fit.rotationStr.z += (rz[k] - fit.rotationMean.z) * dt;
  }
  return fit;
}

Vec3 PoseFilter::CachedFitPosition(double t, const FilterSettings &settings) {
  if (settings.prediction && count >= 2) {
    const WindowFit &fit = FitWindow();
    if (fit.sloped) return EvaluateAt(fit, fit.positionMean, fit.positionStp, FitTime(fit, t));
  }
  return RelativePosition(*this, Newest(*this));
}

Vec3 PoseFilter::CachedPredictPosition(double t, const FilterSettings &settings) {
  const Vec3 fit = CachedFitPosition(t, settings);
  return headRelative ? fit + Newest(*this).headAnchor : fit;
}

Quat PoseFilter::CachedPredictRotation(double t, const FilterSettings &settings) {
  const Quat &qL = Newest(*this).rotation;
  if (settings.prediction && count >= 2) {
    const WindowFit &fit = FitWindow();
    if (fit.sloped) {
      const Vec3 r = EvaluateAt(fit, fit.rotationMean, fit.rotationStr, FitTime(fit, t));
      return NormalizeOrIdentity(Multiply(FromRotationVector(r), qL));
    }
  }
  return qL;
}

void PoseFilter::AddSample(const Vec3 &position, const Quat &rotation, bool headRelativeFlag,
                           const std::optional<Vec3> &headAnchor, double sampleTime, double now,
                           const FilterSettings &settings) {
  const Quat unitRotation = NormalizeOrIdentity(rotation);
  const bool useAnchor = headRelativeFlag && headAnchor.has_value();
  const Vec3 anchor = headAnchor.value_or(Vec3{});
  const PoseSample sample{sampleTime, position, anchor, unitRotation};

  const int32_t countBefore = count;
  bool restarted = false;
  bool replacedNewest = false;
  // The output the filter gives now, before this sample; the corrections keep it.
  Vec3 pp;
  Quat qp;
  if (countBefore > 0) {
    pp = CachedPredictPosition(now, settings) + positionCorrection;
    qp = Multiply(rotationCorrection, CachedPredictRotation(now, settings));
    const double newestTime = Newest(*this).time;
    if (Length(pp - position) > kRestartDistance || newestTime > sampleTime + kRestartAgeSeconds) {
      count = 0;
      restarted = true;
    } else if (newestTime >= sampleTime) {
      // Late or repeated: it replaces the newest sample, and the window is not trimmed.
      samples[RingIndex(first, count - 1)] = sample;
      replacedNewest = true;
    } else if (count == kCapacity) {
      first = RingIndex(first, 1);
      count = kCapacity - 1;
    }
  }

  if (!replacedNewest) {
    samples[RingIndex(first, count)] = sample;
    ++count;
    while (count > 2 && samples[first].time < sampleTime - kWindowSeconds) {
      first = RingIndex(first, 1);
      --count;
    }
  }
  headRelative = useAnchor;
  windowFit.current = false;

  if (countBefore == 0 || restarted) {
    positionCorrection = Vec3{};
    rotationCorrection = Quat{};
  } else {
    positionCorrection = pp - CachedPredictPosition(now, settings);
    rotationCorrection = NormalizeOrIdentity(Multiply(qp, Conjugate(CachedPredictRotation(now, settings))));
  }
}

void PoseFilter::Step(const std::optional<Vec3> &headNow, const Vec3 &headStep, double now, double dt,
                      const FilterSettings &settings) {
  if (count == 0) return;

  double decay = 1.0;
  if (!settings.prediction) {
    decay = 0.0;
  } else if (dt > 0.0) {
    decay = std::exp(-dt / kCorrectionSeconds);
  }
  positionCorrection = positionCorrection * decay;
  rotationCorrection = Slerp(Quat{}, rotationCorrection, decay);

  const PoseSample &newest = Newest(*this);
  Vec3 base;
  if (headRelative) base = headNow.has_value() ? *headNow : newest.headAnchor;
  const Vec3 p = CachedFitPosition(now, settings) + positionCorrection + base;
  const Quat q = NormalizeOrIdentity(Multiply(rotationCorrection, CachedPredictRotation(now, settings)));
  // The head's own movement this frame; it passes through the smoothing unsmoothed.
  const Vec3 h = (headRelative && headNow.has_value()) ? headStep : Vec3{};

  if (outputValid && dt > 0.0) {
    const double a = SmoothingAlpha(dt, kSpeedSmoothingSeconds);
    linearSpeed += (Length(p - lastPosition - h) / dt - linearSpeed) * a;
    Quat turn = Multiply(q, Conjugate(lastRotation));
    if (turn.w < 0.0) turn = Negated(turn);
    angularSpeed += (Length(ToRotationVector(turn)) / dt - angularSpeed) * a;
  }
  lastPosition = p;
  lastRotation = q;

  if (outputValid && settings.smoothingSeconds > 0.0 && Length(p - smoothedPosition) <= kSmoothingJump) {
    smoothedPosition = smoothedPosition + h;
    double tauP = settings.smoothingSeconds;
    double tauQ = settings.smoothingSeconds;
    if (settings.adaptiveSmoothing) {
      tauP = AdaptiveTimeConstant(settings.smoothingSeconds, linearSpeed, kLinearCutoffGain);
      tauQ = AdaptiveTimeConstant(settings.smoothingSeconds, angularSpeed, kAngularCutoffGain);
    }
    smoothedPosition = smoothedPosition + (p - smoothedPosition) * SmoothingAlpha(dt, tauP);
    smoothedRotation = Slerp(smoothedRotation, q, SmoothingAlpha(dt, tauQ));
  } else {
    smoothedPosition = p;
    smoothedRotation = q;
    outputValid = true;
  }
}

void PoseFilter::ResetFilter() {
  outputValid = false;
  count = 0;
  windowFit.current = false;
  positionCorrection = Vec3{};
  rotationCorrection = Quat{};
  linearSpeed = 0.0;
  angularSpeed = 0.0;
}

}  // namespace vantrels
