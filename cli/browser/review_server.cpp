#include "review_server.h"

#include <httplib.h>
#include <signal.h>
#include <sys/random.h>

#include <cstdio>
#include <nlohmann/json.hpp>

namespace ostinel_cli {

namespace {

using Json = nlohmann::json;

// 128 random bits, as hex.
bool MakeToken(std::string* token) {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  token->clear();
  for (const unsigned char byte : bytes) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", byte);
    *token += hex;
  }
  return true;
}

// Compares in time that does not tell how much of a guess was right.
bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
  return differ == 0;
}

bool ReadWhole(const std::string& path, std::string* text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
  const bool read = std::ferror(file) == 0;
  std::fclose(file);
  return read;
}

constexpr const char* kNoStore = "no-store";

}  // namespace

ReviewServer::ReviewServer() = default;

ReviewServer::~ReviewServer() { Stop(); }

bool ReviewServer::Allowed(const std::string& host, const std::string& token) const {
  // A page of another site that a DNS answer points at this port still
  // names its own host: only the loopback address and this port are ours.
  const std::string port = ":" + std::to_string(m_port);
  return (host == "127.0.0.1" + port || host == "localhost" + port) && SameSecret(token, m_token);
}

bool ReviewServer::Start(Files files, std::string* error) {
  for (std::string* file : {&files.page, &files.script, &files.figures, &files.verovio}) {
    std::string text;
    if (!ReadWhole(*file, &text)) {
      *error = "the review page needs " + *file + " (scripts/setup installs the engraver and its Verovio)";
      return false;
    }
    *file = std::move(text);
  }
  m_files = std::move(files);
  if (!MakeToken(&m_token)) {
    *error = "no random numbers for the review page's token";
    return false;
  }
  m_server = std::make_unique<httplib::Server>();
  httplib::Server& server = *m_server;
  server.set_payload_max_length(64 * 1024);
  server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Allowed(request.get_header_value("Host"), request.get_param_value("token"))) {
      response.status = 403;
      response.set_content("Forbidden\n", "text/plain");
      return httplib::Server::HandlerResponse::Handled;
    }
    m_lastRequest = std::chrono::steady_clock::now();
    response.set_header("Cache-Control", kNoStore);
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("Referrer-Policy", "no-referrer");
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.Get("/", [this](const httplib::Request&, httplib::Response& response) {
    std::string page = m_files.page;
    for (size_t at = page.find("{{token}}"); at != std::string::npos; at = page.find("{{token}}", at)) {
      page.replace(at, 9, m_token);
    }
    response.set_header("Content-Security-Policy",
                        "default-src 'self'; script-src 'self' 'unsafe-eval' 'wasm-unsafe-eval'; "
                        "style-src 'self' 'unsafe-inline'; img-src 'self' data:; frame-ancestors 'none'");
    response.set_content(page, "text/html; charset=utf-8");
  });
  server.Get("/review.js", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(m_files.script, "text/javascript; charset=utf-8");
  });
  server.Get("/figures.js", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(m_files.figures, "text/javascript; charset=utf-8");
  });
  server.Get("/verovio.js", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(m_files.verovio, "text/javascript; charset=utf-8");
  });
  server.Get("/api/state", [this](const httplib::Request&, httplib::Response& response) {
    std::lock_guard<std::mutex> lock(m_mutex);
    response.set_content(m_state, "application/json");
  });
  server.Get("/report", [this](const httplib::Request&, httplib::Response& response) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_report.empty()) {
      response.status = 404;
      response.set_content("The report is made when the review ends.\n", "text/plain");
      return;
    }
    response.set_content(m_report, "text/html; charset=utf-8");
  });
  server.Post("/api/answer", [this](const httplib::Request& request, httplib::Response& response) {
    const Json body = Json::parse(request.body, nullptr, false);
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!body.is_object() || !body.contains("answer") || !body["answer"].is_string() || !body.contains("version") ||
        !body["version"].is_number_integer()) {
      response.status = 400;
      response.set_content(Json{{"error", "an answer is {\"version\": N, \"answer\": \"...\"}"}}.dump(), "application/json");
      return;
    }
    // One answer at a time, and only to what the page was shown: another
    // tab, or a page behind, is told so and reloads.
    if (m_answering || body["version"].get<long>() != m_version) {
      response.status = 409;
      response.set_content(Json{{"error", "the review has moved on; the page shows it again"}}.dump(),
                           "application/json");
      return;
    }
    m_answering = true;
    m_answer = body["answer"].get<std::string>();
    m_reply.reset();
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_reply.has_value() || m_stopping; });
    Json lines = Json::array();
    if (m_reply) {
      for (const std::string& line : *m_reply) lines.push_back(line);
    }
    m_answering = false;
    response.set_content(Json{{"lines", lines}}.dump(-1, ' ', false, Json::error_handler_t::replace),
                         "application/json");
  });
  server.Post("/api/finish", [this](const httplib::Request&, httplib::Response& response) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
    m_changed.notify_all();
    response.set_content("{}", "application/json");
  });

  m_port = server.bind_to_any_port("127.0.0.1");
  if (m_port <= 0) {
    *error = "the review page could not listen on 127.0.0.1";
    return false;
  }
  m_lastRequest = std::chrono::steady_clock::now();
  // The server's threads leave stop signals to the command's own thread.
  sigset_t stops;
  sigset_t before;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stops, &before);
  m_thread = std::thread([&server] { server.listen_after_bind(); });
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  // Until it runs, a stop would not reach it: wait for that (it takes a moment).
  for (int waited = 0; !server.is_running() && waited < 5000; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!server.is_running()) {
    Stop();
    *error = "the review page's server did not start";
    return false;
  }
  return true;
}

std::string ReviewServer::Address() const {
  return "http://127.0.0.1:" + std::to_string(m_port) + "/?token=" + m_token;
}

void ReviewServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
    m_changed.notify_all();
  }
  if (m_server) m_server->stop();
  if (m_thread.joinable()) m_thread.join();
}

void ReviewServer::Publish(const std::string& state) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_version;
  Json json = Json::parse(state, nullptr, false);
  json["version"] = m_version;
  m_state = json.dump(-1, ' ', false, Json::error_handler_t::replace);
  m_changed.notify_all();
}

ReviewServer::Waited ReviewServer::NextAnswer(std::string* answer, std::chrono::seconds idle, bool (*stop)()) {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    if (m_answer) {
      *answer = std::move(*m_answer);
      m_answer.reset();
      return Waited::Answer;
    }
    if (m_finished) return Waited::Finished;
    if (m_stopping || stop()) return Waited::Stopped;
    if (std::chrono::steady_clock::now() - m_lastRequest > idle) return Waited::Idle;
    m_changed.wait_for(lock, std::chrono::milliseconds(100));
  }
}

void ReviewServer::Reply(const std::vector<std::string>& lines) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_reply = lines;
  m_changed.notify_all();
}

void ReviewServer::SetReport(const std::string& html) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_report = html;
}

}  // namespace ostinel_cli
