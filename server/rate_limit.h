// A bound on the requests each client address may make: a bucket of `burst` requests per
// address, refilled at `perSecond`.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

struct RequestBucket {
  double tokens;
  int64_t updatedMs;
};

struct RateLimiter {
  double perSecond;
  double burst;
  std::mutex lock;
  std::unordered_map<std::string, RequestBucket> buckets;
};

// The most addresses remembered; past it, the addresses whose bucket has refilled are forgotten.
inline constexpr size_t kMaxTrackedAddresses = 65536;

// Takes one request from the address's bucket; false when it is empty.
bool AllowRequest(RateLimiter& limiter, const std::string& address, int64_t nowMs);
