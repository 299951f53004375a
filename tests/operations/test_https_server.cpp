#include "operations/test_https_server.h"

#include <chrono>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace corvane::operations::testing {
namespace {

void runOrThrow(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

}  // namespace

TestCertificates::TestCertificates() {
  const std::string dir = folder;
  caFile = dir + "/ca.pem";
  certificateFile = dir + "/server.pem";
  keyFile = dir + "/server.key";
  const TestCertificates& certificates = *this;
  std::ofstream(dir + "/ext.cnf") << "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n";
  const std::string quiet = " >/dev/null 2>&1";
  runOrThrow("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " +
             dir + "/ca.key -out " + certificates.caFile + " -days 2 -subj '/CN=Corvane Test CA'" +
             quiet);
  runOrThrow("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " +
             certificates.keyFile + " -out " + dir + "/server.csr -subj '/CN=127.0.0.1'" + quiet);
  runOrThrow("openssl x509 -req -in " + dir + "/server.csr -CA " + certificates.caFile +
             " -CAkey " + dir + "/ca.key -CAcreateserial -out " + certificates.certificateFile +
             " -days 2 -extfile " + dir + "/ext.cnf" + quiet);
}

namespace {

std::string lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string reasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 202:
      return "Accepted";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 429:
      return "Too Many Requests";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

}  // namespace

const TestCertificates& TestCertificates::shared() {
  static const TestCertificates certificates;
  return certificates;
}

TestHttpsServer::TestHttpsServer(Handler handler) : handler_(std::move(handler)) {
  // A client that hangs up must not end the test process.
  signal(SIGPIPE, SIG_IGN);
  const auto& certificates = TestCertificates::shared();
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (SSL_CTX_use_certificate_file(context, certificates.certificateFile.c_str(),
                                   SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_use_PrivateKey_file(context, certificates.keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw std::runtime_error("test server certificate unusable");
  }
  context_ = context;
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0) {
    throw std::runtime_error("test server cannot listen");
  }
  socklen_t length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

TestHttpsServer::~TestHttpsServer() {
  stopping_ = true;
  thread_.join();
  close(listener_);
  SSL_CTX_free(static_cast<SSL_CTX*>(context_));
}

std::string TestHttpsServer::url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<TestHttpsServer::Request> TestHttpsServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TestHttpsServer::serve() {
  while (!stopping_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, 20) <= 0) continue;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    handleConnection(connection);
    close(connection);
  }
}

void TestHttpsServer::handleConnection(int socket) {
  timeval timeout{5, 0};
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  SSL* ssl = SSL_new(static_cast<SSL_CTX*>(context_));
  SSL_set_fd(ssl, socket);
  if (SSL_accept(ssl) != 1) {
    SSL_free(ssl);
    return;
  }
  std::string data;
  char buffer[16384];
  std::size_t headerEnd = std::string::npos;
  while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
    const int n = SSL_read(ssl, buffer, sizeof buffer);
    if (n <= 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  Request request;
  if (headerEnd != std::string::npos) {
    std::size_t lineEnd = data.find("\r\n");
    const std::string requestLine = data.substr(0, lineEnd);
    const auto firstSpace = requestLine.find(' ');
    const auto secondSpace = requestLine.find(' ', firstSpace + 1);
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    std::size_t position = lineEnd + 2;
    while (position < headerEnd) {
      const std::size_t end = data.find("\r\n", position);
      const std::string line = data.substr(position, end - position);
      const auto colon = line.find(':');
      if (colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        request.headers[lowercase(line.substr(0, colon))] = value;
      }
      position = end + 2;
    }
    const std::size_t contentLength = request.headers.count("content-length") != 0
                                          ? std::stoul(request.headers["content-length"])
                                          : 0;
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < contentLength) {
      const int n = SSL_read(ssl, buffer, sizeof buffer);
      if (n <= 0) break;
      request.body.append(buffer, static_cast<std::size_t>(n));
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const Reply reply = handler_(request);
    if (!reply.dropConnection) {
      const std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                               reasonPhrase(reply.status) +
                               "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                               "\r\nConnection: close\r\n\r\n";
      const std::string response = head + reply.body;
      const std::size_t piece = reply.dripMillisecondsPerByte > 0 ? 1 : 1 << 20;
      std::size_t sent = 0;
      while (sent < response.size()) {
        if (reply.dripMillisecondsPerByte > 0 && sent >= head.size()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(reply.dripMillisecondsPerByte));
        }
        const std::size_t size =
            sent < head.size() ? head.size() - sent : std::min(response.size() - sent, piece);
        const int n = SSL_write(ssl, response.data() + sent, static_cast<int>(size));
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      SSL_shutdown(ssl);
    }
  }
  SSL_free(ssl);
}

}  // namespace corvane::operations::testing
