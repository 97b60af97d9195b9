// A program the command runs (each score of a batch, the report's
// engraver): its standard input given whole, its standard output and error
// collected through pipes, so that no temporary file is needed.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace ostinel_cli {

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // A child still running is stopped (SIGTERM) and waited for.
  ~ChildProcess();

  // Starts the program (looked up in PATH when the name has no slash) with
  // its arguments; its standard input reads `input`. False with a message
  // when it cannot start.
  bool Start(const std::string& program, const std::vector<std::string>& arguments, std::string input,
             std::string* error);

  bool Started() const { return m_pid > 0; }
  bool Ended() const { return m_ended; }
  // Its exit status, or 128 + the signal that ended it.
  int Status() const { return m_status; }
  const std::string& Output() const { return m_output; }
  const std::string& Errors() const { return m_errors; }
  void Signal(int signal);

  // Runs until it has ended (or until a stop, when it is signalled and
  // waited for); its status.
  int Wait();

  // Moves what is ready between the children's pipes and their buffers,
  // waiting at most the milliseconds for something to be.
  static void Step(const std::vector<ChildProcess*>& children, int milliseconds);

 private:
  void Reap(bool block);

  pid_t m_pid = -1;
  int m_in = -1;
  int m_out = -1;
  int m_err = -1;
  std::string m_input;
  size_t m_written = 0;
  std::string m_output;
  std::string m_errors;
  bool m_ended = false;
  int m_status = -1;
};

}  // namespace ostinel_cli
