#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/temporary_folder.h"

namespace corvane::operations::testing {

// A certificate authority and a server certificate for 127.0.0.1, made with the openssl tool in
// a temporary folder the first time they are asked for.
struct TestCertificates {
  corvane::testing::TemporaryFolder owner{"corvane-test-ca"};  // removed when the process ends
  std::string folder = owner.path().string();
  std::string caFile;
  std::string certificateFile;
  std::string keyFile;

  TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;
  static const TestCertificates& shared();
};

// A small HTTPS/1.1 server on 127.0.0.1 that answers each request through a handler, one
// connection at a time, and remembers what it received.
class TestHttpsServer {
 public:
  struct Request {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;  // names lower-cased
    std::string body;
  };
  struct Reply {
    int status = 200;
    std::string body;
    bool dropConnection = false;      // close without answering
    int dripMillisecondsPerByte = 0;  // send the body one byte at a time this slowly
  };
  using Handler = std::function<Reply(const Request&)>;

  explicit TestHttpsServer(Handler handler);
  ~TestHttpsServer();
  TestHttpsServer(const TestHttpsServer&) = delete;
  TestHttpsServer& operator=(const TestHttpsServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path) const;
  std::vector<Request> requests() const;

 private:
  void serve();
  void handleConnection(int socket);

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  void* context_ = nullptr;  // SSL_CTX
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::thread thread_;
};

}  // namespace corvane::operations::testing
