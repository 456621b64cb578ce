// A PostgreSQL server of the tests' own: made with initdb in a temporary folder (as an
// unprivileged user when the tests run as root), listening on a free port of 127.0.0.1 and on a
// socket in that folder, with a database "register"; stopped and removed at the end.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace kro::test {

class PostgresServer {
 public:
  PostgresServer() {
    const std::string bin = output("pg_config --bindir 2>/dev/null");
    if (bin.empty()) {
      why = "pg_config not found (install postgresql and libpq-dev)";
      return;
    }
    char folder[] = "/tmp/kro-pg-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
      why = "no temporary folder";
      return;
    }
    dir_ = folder;
    const std::string as = ::geteuid() == 0 ? "runuser -u nobody -- " : "";
    if (!as.empty()) std::system(("chown nobody '" + dir_ + "'").c_str());
    port_ = freePort();
    ctl_ = as + bin + "/pg_ctl -D '" + dir_ + "/data' ";
    if (std::system((as + bin + "/initdb -D '" + dir_ +
                     "/data' -A trust -U kro -E UTF8 --locale=C --no-sync >'" + dir_ + "/initdb.log' 2>&1")
                        .c_str()) != 0) {
      why = "initdb failed: see " + dir_ + "/initdb.log";
      return;
    }
    const std::string options = "-k " + dir_ + " -p " + std::to_string(port_) +
                                " -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=60";
    if (std::system(
            (ctl_ + "-l '" + dir_ + "/server.log' -w -o '" + options + "' start >/dev/null 2>&1").c_str()) !=
        0) {
      why = "the server did not start: see " + dir_ + "/server.log";
      return;
    }
    started_ = true;
    bin_ = bin;
    if (!createDatabase("register")) {
      why = "createdb failed";
      return;
    }
    ok = true;
  }
  ~PostgresServer() {
    if (started_) std::system((ctl_ + "-m immediate -w stop >/dev/null 2>&1").c_str());
    if (!dir_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(dir_, ec);
    }
  }
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  // A new, empty database on the server.
  bool createDatabase(const std::string& name) const {
    return std::system(
               (bin_ + "/createdb -h 127.0.0.1 -p " + std::to_string(port_) + " -U kro " + name).c_str()) ==
           0;
  }
  std::string address(const std::string& database = "register") const {
    return "postgresql://kro@127.0.0.1:" + std::to_string(port_) + "/" + database;
  }

  bool ok = false;
  std::string why;

 private:
  static std::string output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
      char buffer[512];
      while (std::size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
      ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
  }
  static int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(s);
    return ntohs(a.sin_port);
  }

  std::string dir_, ctl_, bin_;
  int port_ = 0;
  bool started_ = false;
};

}  // namespace kro::test
