#include <curl/curl.h>

#include <mutex>
#include <string>

#include "platform/http_client.h"

namespace corvane::platform {
namespace {

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct BodySink {
  std::string body;
  std::size_t received = 0;
  std::size_t limit = 0;
  bool overLimit = false;
  bool refused = false;
  const std::function<bool(std::string_view)>* receiver = nullptr;
};

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto* sink = static_cast<BodySink*>(context);
  const std::size_t bytes = size * count;
  if (sink->received + bytes > sink->limit) {
    sink->overLimit = true;
    return 0;  // makes curl stop with a write error
  }
  sink->received += bytes;
  if (sink->receiver != nullptr && *sink->receiver) {
    if (!(*sink->receiver)(std::string_view(data, bytes))) {
      sink->refused = true;
      return 0;
    }
    return bytes;
  }
  sink->body.append(data, bytes);
  return bytes;
}

class CurlHttpClient final : public HttpClient {
 public:
  explicit CurlHttpClient(HttpClientOptions options) : options_(std::move(options)) {
    initialiseCurlOnce();
  }

  runtime::Result<HttpResponse> perform(const HttpRequest& request) override {
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return runtime::Result<HttpResponse>::failure("HTTP client unavailable.");
    curl_slist* headers = nullptr;
    for (const auto& [name, value] : request.headers) {
      const std::string line = name + ": " + value;
      headers = curl_slist_append(headers, line.c_str());
    }
    // No "Expect: 100-continue" round trip for uploads.
    headers = curl_slist_append(headers, "Expect:");

    BodySink sink;
    sink.limit = request.maxResponseBytes;
    sink.receiver = &request.receiveBody;
    char errorText[CURL_ERROR_SIZE] = {0};
    const long timeoutMs = static_cast<long>(request.timeoutSeconds * 1000);

    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (options_.caFile) curl_easy_setopt(curl, CURLOPT_CAINFO, options_.caFile->c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    const double connectSeconds =
        request.connectTimeoutSeconds > 0 ? request.connectTimeoutSeconds : request.timeoutSeconds;
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectSeconds * 1000));
    if (request.lowSpeedBytesPerSecond > 0 && request.lowSpeedSeconds > 0) {
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, request.lowSpeedBytesPerSecond);
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, request.lowSpeedSeconds);
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(request.maxResponseBytes));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Corvane");
    if (request.method == "GET") {
      curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    } else {
      curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(request.body.size()));
    }

    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    if (sink.overLimit || code == CURLE_FILESIZE_EXCEEDED) {
      return runtime::Result<HttpResponse>::failure("The response is larger than allowed.");
    }
    if (sink.refused) {
      return runtime::Result<HttpResponse>::failure("The response could not be stored.");
    }
    if (code != CURLE_OK) {
      std::string reason = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
      return runtime::Result<HttpResponse>::failure("HTTP request failed: " + reason);
    }
    HttpResponse response;
    response.statusCode = static_cast<int>(status);
    response.body = std::move(sink.body);
    return response;
  }

 private:
  HttpClientOptions options_;
};

}  // namespace

std::shared_ptr<HttpClient> makeHttpClient(HttpClientOptions options) {
  return std::make_shared<CurlHttpClient>(std::move(options));
}

}  // namespace corvane::platform
