#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "stop_request.h"

extern char** environ;

namespace ostinel_cli {

namespace {

void Close(int* descriptor) {
  if (*descriptor >= 0) close(*descriptor);
  *descriptor = -1;
}

// Reads what a pipe holds now; closes it at its end.
void Drain(int* descriptor, std::string* into) {
  char buffer[65536];
  for (;;) {
    const ssize_t read = ::read(*descriptor, buffer, sizeof buffer);
    if (read > 0) {
      into->append(buffer, static_cast<size_t>(read));
      continue;
    }
    if (read < 0 && errno == EINTR) continue;
    if (read == 0 || errno != EAGAIN) Close(descriptor);
    return;
  }
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (m_pid > 0 && !m_ended) {
    kill(m_pid, SIGTERM);
    Reap(true);
  }
  Close(&m_in);
  Close(&m_out);
  Close(&m_err);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments, std::string input,
                         std::string* error) {
  // Standard input is a socket, so that writing to a child that has gone
  // fails with EPIPE rather than raising SIGPIPE in this process.
  int in[2], out[2], err[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    close(in[0]);
    close(in[1]);
    return false;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[1], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  const int failure = program.find('/') == std::string::npos
                          ? posix_spawnp(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ)
                          : posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[1]);
  close(out[1]);
  close(err[1]);
  m_in = in[0];
  m_out = out[0];
  m_err = err[0];
  if (failure != 0) {
    m_pid = -1;
    Close(&m_in);
    Close(&m_out);
    Close(&m_err);
    *error = failure == ENOENT ? program + " is not installed" : "cannot start " + program + ": " + std::strerror(failure);
    return false;
  }
  for (const int descriptor : {m_in, m_out, m_err}) fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) | O_NONBLOCK);
  m_input = std::move(input);
  if (m_input.empty()) Close(&m_in);
  return true;
}

void ChildProcess::Signal(int signal) {
  if (m_pid > 0 && !m_ended) kill(m_pid, signal);
}

void ChildProcess::Reap(bool block) {
  int status = 0;
  pid_t done = 0;
  do {
    done = waitpid(m_pid, &status, block ? 0 : WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done != m_pid) return;
  m_ended = true;
  m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int ChildProcess::Wait() {
  while (Started() && !m_ended) {
    if (StopSignal() != 0) {
      Signal(SIGTERM);
      Close(&m_in);
      Reap(true);
      break;
    }
    Step({this}, 100);
  }
  return m_status;
}

void ChildProcess::Step(const std::vector<ChildProcess*>& children, int milliseconds) {
  std::vector<pollfd> ready;
  std::vector<std::pair<ChildProcess*, int*>> owners;
  for (ChildProcess* child : children) {
    if (!child->Started() || child->m_ended) continue;
    if (child->m_in >= 0) {
      ready.push_back(pollfd{child->m_in, POLLOUT, 0});
      owners.emplace_back(child, &child->m_in);
    }
    for (int* descriptor : {&child->m_out, &child->m_err}) {
      if (*descriptor < 0) continue;
      ready.push_back(pollfd{*descriptor, POLLIN, 0});
      owners.emplace_back(child, descriptor);
    }
  }
  if (!ready.empty() && poll(ready.data(), ready.size(), milliseconds) > 0) {
    for (size_t i = 0; i < ready.size(); ++i) {
      if (ready[i].revents == 0) continue;
      ChildProcess* child = owners[i].first;
      int* descriptor = owners[i].second;
      if (descriptor == &child->m_in) {
        const ssize_t written = send(child->m_in, child->m_input.data() + child->m_written,
                                     child->m_input.size() - child->m_written, MSG_NOSIGNAL);
        if (written > 0) child->m_written += static_cast<size_t>(written);
        if ((written < 0 && errno != EAGAIN && errno != EINTR) || child->m_written == child->m_input.size()) {
          Close(&child->m_in);
        }
      } else {
        Drain(descriptor, descriptor == &child->m_out ? &child->m_output : &child->m_errors);
      }
    }
  } else if (ready.empty() && milliseconds > 0) {
    poll(nullptr, 0, milliseconds);
  }
  // A child is done once it has closed its outputs and exited.
  for (ChildProcess* child : children) {
    if (child->Started() && !child->m_ended && child->m_out < 0 && child->m_err < 0) child->Reap(false);
  }
}

}  // namespace ostinel_cli
