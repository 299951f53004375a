#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/result.h"

namespace corvane::platform {

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  std::map<std::string, std::string> headers;
  std::string body;
  double timeoutSeconds = 60;
  // Time allowed to connect (TLS included); 0 leaves it to `timeoutSeconds`.
  double connectTimeoutSeconds = 0;
  // A transfer that moves fewer than this many bytes a second for `lowSpeedSeconds` fails;
  // 0 switches the check off.
  long lowSpeedBytesPerSecond = 0;
  long lowSpeedSeconds = 0;
  // A response body longer than this fails the request instead of filling memory.
  std::size_t maxResponseBytes = 8 * 1024 * 1024;
  // When set, the body is handed here piece by piece as it arrives instead of being kept in the
  // response; returning false ends the transfer with an error.
  std::function<bool(std::string_view)> receiveBody;
};

struct HttpResponse {
  int statusCode = 0;
  std::string body;

  bool isSuccess() const { return statusCode >= 200 && statusCode <= 299; }
};

// A blocking HTTPS client. Any HTTP answer, whatever its status, is a response; a failure before
// an answer (name lookup, connection, TLS, time-out, a body over the limit) is an error.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  virtual runtime::Result<HttpResponse> perform(const HttpRequest& request) = 0;
};

struct HttpClientOptions {
  // Extra certificate authorities to trust instead of the system's (tests use their own CA).
  std::optional<std::string> caFile;
};

// The libcurl client: https only, certificates and host names always verified.
std::shared_ptr<HttpClient> makeHttpClient(HttpClientOptions options = {});

}  // namespace corvane::platform
