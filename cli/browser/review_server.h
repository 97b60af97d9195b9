// The local web server a review in the browser talks to. It answers only
// on the loopback address, only to requests that carry its random token and
// name it by that address as Host, and only at the page's own fixed paths:
// nothing a request says becomes a file path. The review's thread publishes
// what the page shows and takes the page's answers one at a time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace ostinel_cli {

class ReviewServer {
 public:
  // The files the page is made of (paths, read once at the start).
  struct Files {
    std::string page;     // the HTML, where {{token}} stands for the token
    std::string script;   // the page's script
    std::string figures;  // how figures are engraved (shared with the report)
    std::string verovio;  // the engraver's Verovio
  };

  ReviewServer();
  ~ReviewServer();
  ReviewServer(const ReviewServer&) = delete;
  ReviewServer& operator=(const ReviewServer&) = delete;

  // Binds 127.0.0.1 on a free port and serves from another thread; false
  // with a message when it cannot.
  bool Start(Files files, std::string* error);
  // http://127.0.0.1:PORT/?token=...
  std::string Address() const;
  void Stop();

  // What the page shows next (a JSON object); every answer the page sends
  // names the version it answers.
  void Publish(const std::string& state);

  enum class Waited { Answer, Finished, Idle, Stopped };
  // Waits for the page's next answer to the state published last. Finished
  // when the page said it is done; Idle when no request came for the idle
  // time; Stopped when stop() says so (it is asked every tenth of a second).
  Waited NextAnswer(std::string* answer, std::chrono::seconds idle, bool (*stop)());
  // The lines an answer came to, sent back to the page that gave it.
  void Reply(const std::vector<std::string>& lines);

  // The report served at /report once the review is over.
  void SetReport(const std::string& html);

 private:
  bool Allowed(const std::string& host, const std::string& token) const;

  std::unique_ptr<httplib::Server> m_server;
  std::thread m_thread;
  Files m_files;
  std::string m_token;
  int m_port = 0;

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::string m_state = "{}";
  long m_version = 0;
  std::optional<std::string> m_answer;  // taken, not yet replied to
  std::optional<std::vector<std::string>> m_reply;
  bool m_answering = false;  // an answer is on its way through the review
  bool m_finished = false;
  bool m_stopping = false;
  std::string m_report;
  std::chrono::steady_clock::time_point m_lastRequest;
};

}  // namespace ostinel_cli
