#include "rate_limit.h"

#include <algorithm>

namespace {

double Refilled(const RateLimiter& limiter, const RequestBucket& bucket, int64_t nowMs) {
  double elapsed = static_cast<double>(std::max<int64_t>(0, nowMs - bucket.updatedMs)) / 1000.0;
  return std::min(limiter.burst, bucket.tokens + elapsed * limiter.perSecond);
}

void ForgetIdleAddresses(RateLimiter& limiter, int64_t nowMs) {
  std::erase_if(limiter.buckets, [&](const auto& entry) {
    return Refilled(limiter, entry.second, nowMs) >= limiter.burst;
  });
  if (limiter.buckets.size() >= kMaxTrackedAddresses) limiter.buckets.clear();
}

}  // namespace

bool AllowRequest(RateLimiter& limiter, const std::string& address, int64_t nowMs) {
  std::lock_guard<std::mutex> hold(limiter.lock);
  auto found = limiter.buckets.find(address);
  if (found == limiter.buckets.end()) {
    if (limiter.buckets.size() >= kMaxTrackedAddresses) ForgetIdleAddresses(limiter, nowMs);
    found = limiter.buckets.emplace(address, RequestBucket{limiter.burst, nowMs}).first;
  }
  RequestBucket& bucket = found->second;
  bucket.tokens = Refilled(limiter, bucket, nowMs);
  bucket.updatedMs = nowMs;
  if (bucket.tokens < 1.0) return false;
  bucket.tokens -= 1.0;
  return true;
}
