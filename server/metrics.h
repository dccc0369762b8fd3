// The server's counters, read by Prometheus: requests by action and status, refusals by cause,
// the time taken to answer, and the database errors.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

// Upper bounds, in seconds, of the answer-time histogram's buckets.
inline constexpr std::array<double, 10> kLatencyBounds = {0.0005, 0.001, 0.002, 0.005, 0.01,
                                                          0.02,   0.05,  0.1,   0.5,   2};

struct ServerMetrics {
  std::mutex lock;
  std::map<std::pair<std::string, int>, uint64_t> requests;
  std::map<std::string, uint64_t> refusals;
  std::array<uint64_t, kLatencyBounds.size()> latencyBuckets;
  double latencySum;
  uint64_t latencyCount;
  uint64_t storeErrors;
};

// Counts one answered request; `refusal` names the cause of a refusal, or is null.
void RecordRequest(ServerMetrics& metrics, const std::string& action, int status,
                   const char* refusal, double seconds);
// The counters in Prometheus' text format.
std::string RenderMetrics(ServerMetrics& metrics);
