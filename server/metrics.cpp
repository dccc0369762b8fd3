#include "metrics.h"

#include <cstdio>

namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

void AppendHeader(std::string* text, const char* name, const char* type, const char* help) {
  *text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

void RecordRequest(ServerMetrics& metrics, const std::string& action, int status,
                   const char* refusal, double seconds) {
  std::lock_guard<std::mutex> hold(metrics.lock);
  ++metrics.requests[{action, status}];
  if (refusal) ++metrics.refusals[refusal];
  if (status == 500 || status == 503) ++metrics.storeErrors;
  for (size_t i = 0; i < kLatencyBounds.size(); ++i) {
    if (seconds <= kLatencyBounds[i]) ++metrics.latencyBuckets[i];
  }
  metrics.latencySum += seconds;
  ++metrics.latencyCount;
}

std::string RenderMetrics(ServerMetrics& metrics) {
  std::lock_guard<std::mutex> hold(metrics.lock);
  std::string text;
  AppendHeader(&text, "kestrow_requests_total", "counter",
               "Requests answered, by action and HTTP status.");
  for (const auto& [key, count] : metrics.requests) {
    text += "kestrow_requests_total{action=\"" + key.first + "\",status=\"" +
            std::to_string(key.second) + "\"} " + std::to_string(count) + "\n";
  }
  AppendHeader(&text, "kestrow_refusals_total", "counter", "Requests refused, by cause.");
  for (const auto& [cause, count] : metrics.refusals) {
    text += "kestrow_refusals_total{cause=\"" + cause + "\"} " + std::to_string(count) + "\n";
  }
  AppendHeader(&text, "kestrow_request_duration_seconds", "histogram",
               "Time from a request's headers to its answer.");
  for (size_t i = 0; i < kLatencyBounds.size(); ++i) {
    text += "kestrow_request_duration_seconds_bucket{le=\"" + Number(kLatencyBounds[i]) + "\"} " +
            std::to_string(metrics.latencyBuckets[i]) + "\n";
  }
  text += "kestrow_request_duration_seconds_bucket{le=\"+Inf\"} " +
          std::to_string(metrics.latencyCount) + "\n";
  text += "kestrow_request_duration_seconds_sum " + Number(metrics.latencySum) + "\n";
  text += "kestrow_request_duration_seconds_count " + std::to_string(metrics.latencyCount) + "\n";
  AppendHeader(&text, "kestrow_store_errors_total", "counter",
               "Requests the database could not answer.");
  text += "kestrow_store_errors_total " + std::to_string(metrics.storeErrors) + "\n";
  return text;
}
