// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The metrics endpoint and the events of the real program, read by the
// real tools: Prometheus, promtool, a JSON Schema validator.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "ConsoleChild.h"
#include "LoopbackHttp.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

// One Prometheus server on loopback scraping one target every second,
// with its storage in folder; job: more of the scrape job's settings.
class PrometheusServer {
 public:
  PrometheusServer(const std::string& folder, std::uint16_t target, const std::string& job = "")
      : port_(FreeLoopbackPort()) {
    std::ofstream(folder + "/prometheus.yml")
        << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
        << "scrape_configs:\n  - job_name: quillmoor98\n"
        << job << "    static_configs:\n"
        << "      - targets: ['127.0.0.1:" << target << "']\n";
    const int log =
        ::open((folder + "/prometheus.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    std::string error;
    pid_ = ProcessRunner::Spawn(
        {"prometheus", "--config.file=" + folder + "/prometheus.yml",
         "--storage.tsdb.path=" + folder + "/tsdb",
         "--web.listen-address=127.0.0.1:" + std::to_string(port_), "--log.level=warn"},
        -1, log, log, error);
    ::close(log);
    EXPECT_GT(pid_, 0) << error;
  }
  ~PrometheusServer() {
    if (pid_ > 0) ProcessRunner::KillAndReap(pid_);
  }
  // The value of an instant query's only sample ("" while there is none).
  std::string Query(const std::string& promql) {
    std::string encoded;
    for (unsigned char c : promql) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      encoded += std::isalnum(c) || c == '_' ? std::string(1, static_cast<char>(c)) : buf;
    }
    const std::string body = Body(Get(port_, "/api/v1/query?query=" + encoded));
    const auto j = nlohmann::json::parse(body, nullptr, false);
    if (j.is_discarded() || j.value("status", "") != "success") return {};
    const auto& result = j["data"]["result"];
    if (result.size() != 1) return {};
    return result[0]["value"][1].get<std::string>();
  }
  // Waits (at most 60 s) until the query gives want.
  bool Await(const std::string& promql, const std::string& want) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Query(promql) == want) return true;
      std::this_thread::sleep_for(250ms);
    }
    return false;
  }

 private:
  std::uint16_t port_;
  pid_t pid_ = -1;
};

TEST(ObserveIntegrationTest, PrometheusSeesTheUserCountChange) {
  if (!NeedTool("prometheus") || !NeedTool("promtool")) {
    GTEST_SKIP() << "prometheus is not installed (scripts/install-deps.sh installs it)";
  }
  ConsoleChild child;
  child.Connect("PC1");
  child.WriteState();
  const std::uint16_t port = FreeLoopbackPort();
  child.Start({"--step", "--metrics", "127.0.0.1:" + std::to_string(port)});
  ASSERT_TRUE(child.WaitFor("tick 1 users 1 files 0\n", 15s)) << child.out;

  // promtool finds nothing to say of the exposition.
  ProcessRunner::Options o;
  o.input = Body(Get(port, "/metrics"));
  ASSERT_NE(o.input.find("quillmoor98_users 1\n"), std::string::npos) << o.input;
  const ProcessResult lint = ProcessRunner::Run({"promtool", "check", "metrics"}, o);
  EXPECT_TRUE(lint.Succeeded()) << lint.out << lint.err;
  EXPECT_EQ(lint.out + lint.err, "");

  PrometheusServer prometheus(child.Dir(), port);
  ASSERT_TRUE(prometheus.Await("quillmoor98_users", "1"));
  EXPECT_EQ(prometheus.Query("up"), "1");
  child.Connect("PC2");
  child.Connect("PC3");
  child.WriteState();
  child.Line();
  ASSERT_TRUE(child.WaitFor("tick 2 users 3 files 0\n", 15s)) << child.out;
  EXPECT_TRUE(prometheus.Await("quillmoor98_users", "3"));
  EXPECT_TRUE(
      prometheus.Await("quillmoor98_visits_begun_total{kind=\"user\",status=\"logged_on\"}", "2"));
  EXPECT_EQ(child.Finish(), 0);
}

// What curl gets from the endpoint: "STATUS" or "000" for no answer.
std::string CurlStatus(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"curl", "-s",           "-o",         "/dev/null",
                                   "-w",   "%{http_code}", "--max-time", "10"};
  argv.insert(argv.end(), args.begin(), args.end());
  return ProcessRunner::Run(argv, {}).out;
}

// openssl ARGUMENTS, run in folder dir.
void Openssl(const std::string& dir, const std::string& arguments) {
  const ProcessResult r =
      ProcessRunner::Run({"sh", "-ec", "cd " + dir + "; openssl " + arguments}, {});
  EXPECT_TRUE(r.Succeeded()) << r.err;
}
const std::string kNewKey = "req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes ";

// Starts the program with its endpoint over TLS: a server certificate made
// in the child's folder and web.yml there naming it (relative names are
// from that folder), then more. Gives the endpoint's URL.
std::string StartOverTls(ConsoleChild& child, const std::string& more, std::uint16_t& port) {
  Openssl(child.Dir(), kNewKey +
                           "-x509 -days 1 -subj /CN=localhost -addext "
                           "subjectAltName=IP:127.0.0.1 -keyout server.key -out server.crt");
  std::ofstream(child.Dir() + "/web.yml") << "tls_server_config:\n  cert_file: server.crt\n"
                                          << "  key_file: server.key\n"
                                          << more;
  port = FreeLoopbackPort();
  child.Start({"--step", "--metrics", "127.0.0.1:" + std::to_string(port), "--web-config",
               child.Dir() + "/web.yml"});
  EXPECT_TRUE(child.WaitFor("tick 1 users ", 15s)) << child.out;
  return "https://127.0.0.1:" + std::to_string(port) + "/metrics";
}

TEST(ObserveIntegrationTest, PrometheusScrapesOverTlsWithBasicAuthentication) {
  for (const char* tool : {"prometheus", "openssl", "htpasswd", "curl"}) {
    if (!NeedTool(tool)) GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh)";
  }
  ConsoleChild child;
  const std::string ca = child.Dir() + "/server.crt";
  const ProcessResult hash =
      ProcessRunner::Run({"htpasswd", "-nbBC", "10", "prometheus", "s3cret"}, {});
  ASSERT_TRUE(hash.Succeeded()) << hash.err;
  child.Connect("PC1");
  child.WriteState();
  std::uint16_t port = 0;
  const std::string url = StartOverTls(
      child,
      "basic_auth_users:\n  prometheus: " + hash.out.substr(hash.out.find(':') + 1, 60) + "\n",
      port);
  EXPECT_EQ(CurlStatus({"--cacert", ca, "-u", "prometheus:s3cret", url}), "200");
  EXPECT_EQ(CurlStatus({"--cacert", ca, "-u", "prometheus:wrong", url}), "401");
  EXPECT_EQ(CurlStatus({"--cacert", ca, "-u", "nobody:s3cret", url}), "401");
  EXPECT_EQ(CurlStatus({"--cacert", ca, url}), "401");
  // A client without TLS gets no HTTP answer at all.
  EXPECT_EQ(Get(port, "/metrics").find("HTTP/"), std::string::npos);

  PrometheusServer prometheus(child.Dir(), port,
                              "    scheme: https\n    tls_config:\n      ca_file: " + ca +
                                  "\n    basic_auth:\n      username: prometheus\n"
                                  "      password: s3cret\n");
  ASSERT_TRUE(prometheus.Await("quillmoor98_users", "1"));
  EXPECT_EQ(prometheus.Query("up"), "1");
  EXPECT_EQ(prometheus.Query("quillmoor98_build_info"), "1");
  EXPECT_EQ(child.Finish(), 0);
}

struct ClientAuth {
  const char* type;
  bool verifies, required;
};
class ObserveIntegrationTls : public testing::TestWithParam<ClientAuth> {};

TEST_P(ObserveIntegrationTls, ClientCertificatesAsTheClientAuthTypeSays) {
  for (const char* tool : {"openssl", "curl"}) {
    if (!NeedTool(tool)) GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh)";
  }
  ConsoleChild child;
  const std::string dir = child.Dir();
  // The clients' CA, a client it signed, and a client that signed itself.
  Openssl(dir, kNewKey + "-x509 -days 1 -subj /CN=clients -keyout ca.key -out ca.crt");
  Openssl(dir,
          kNewKey +
              "-subj /CN=prometheus -keyout client.key -out client.csr && openssl x509 -req "
              "-in client.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 1 -out client.crt");
  Openssl(dir, kNewKey + "-x509 -days 1 -subj /CN=prometheus -keyout other.key -out other.crt");
  std::uint16_t port = 0;
  // Verified and required: as Debian's node exporter documents it; the
  // others allow TLS 1.0 too.
  const ClientAuth auth = GetParam();
  const bool debian = auth.verifies && auth.required;
  const std::string url =
      StartOverTls(child,
                   "  client_ca_file: ca.crt\n  client_auth_type: " + std::string(auth.type) +
                       "\n  min_version: " + (debian ? "TLS12\n" : "TLS10\n") +
                       "http_server_config: {headers: {X-Frame-Options: deny}}\n",
                   port);
  const std::string ca = dir + "/server.crt";
  auto as = [&](const std::string& client, std::vector<std::string> more = {}) {
    more.insert(more.end(), {"--cacert", ca, "--cert", dir + "/" + client + ".crt", "--key",
                             dir + "/" + client + ".key", url});
    return CurlStatus(more);
  };
  EXPECT_EQ(as("client"), "200");
  EXPECT_EQ(as("other"), auth.verifies ? "000" : "200");
  EXPECT_EQ(CurlStatus({"--cacert", ca, url}), auth.required ? "000" : "200");
  EXPECT_EQ(as("client", {"-w", "%header{x-frame-options}"}), "deny");
  // TLS 1.1 only when the configuration lowers the floor (the client's own
  // floor lowered too, so that a refusal is the endpoint's).
  EXPECT_EQ(as("client", {"--tlsv1.1", "--tls-max", "1.1", "--ciphers", "DEFAULT@SECLEVEL=0"}),
            debian ? "000" : "200");
  EXPECT_EQ(child.Finish(), 0);
}
INSTANTIATE_TEST_SUITE_P(AsTheExportersSay, ObserveIntegrationTls,
                         testing::Values(ClientAuth{"RequireAndVerifyClientCert", true, true},
                                         ClientAuth{"VerifyClientCertIfGiven", true, false},
                                         ClientAuth{"RequireAnyClientCert", false, true},
                                         ClientAuth{"RequestClientCert", false, false}),
                         [](const auto& info) { return std::string(info.param.type); });

TEST(ObserveIntegrationTest, UnusableWebConfigurationStopsTheProgramBeforeItReads) {
  ConsoleChild child;
  std::ofstream(child.Dir() + "/web.yml") << "tls_server_config:\n  cert_file: missing.crt\n"
                                          << "  key_file: missing.key\n";
  child.Start({"--step", "--metrics", "127.0.0.1:" + std::to_string(FreeLoopbackPort()),
               "--web-config", child.Dir() + "/web.yml"});
  EXPECT_EQ(child.Finish(), 1);
}

TEST(ObserveIntegrationTest, HostileClientsLeaveTheTicksOnTime) {
  ConsoleChild child;
  child.Connect("PC1");
  child.WriteState();
  const std::uint16_t port = FreeLoopbackPort();
  child.Start({"--step", "--metrics", std::to_string(port)});
  ASSERT_TRUE(child.WaitFor("tick 1 users 1 ", 15s)) << child.out;
  // From another host: more silent connections than the endpoint takes,
  // clients that never finish their headers, and one that sends a megabyte.
  std::vector<int> held;
  for (int i = 0; i < 100; ++i) {
    const int fd = ConnectLoopback(port, "127.0.0.2");
    if (fd < 0) continue;
    if (i % 2) SendAll(fd, "GET /metrics HTTP/1.1\r\nX-Slow: ");
    held.push_back(fd);
  }
  std::thread huge([port] {
    Request(port, "GET /metrics HTTP/1.1\r\nX: " + std::string(1 << 20, 'x') + "\r\n\r\n");
  });
  // Every tick is answered while they hang on (a generous bound: a tick
  // on this server takes milliseconds).
  for (int tick = 2; tick <= 6; ++tick) {
    child.Line();
    ASSERT_TRUE(child.WaitFor("tick " + std::to_string(tick) + " users 1 ", 5s)) << child.out;
  }
  huge.join();
  for (int fd : held) ::close(fd);
  EXPECT_NE(Get(port, "/metrics").find("quillmoor98_users 1\n"), std::string::npos);
  EXPECT_EQ(child.Finish(), 0);
}

TEST(ObserveIntegrationTest, EveryJsonEventLineFollowsTheSchema) {
  ConsoleChild child;
  if (ProcessRunner::Run({"python3", "-c", "import jsonschema"}).exitCode != 0) {
    NeedTool("python3-jsonschema-missing");
    GTEST_SKIP() << "python3-jsonschema is not installed (scripts/install-deps.sh installs it)";
  }
  child.WriteSettings("[Options]\nMaxNumber=1\n");
  child.Connect("PC1");
  child.tables.files.push_back({"DOCS", "PC1", "user-PC1", "/srv/docs/r\xC3\xA9sum\xC3\xA9\n.odt"});
  child.WriteState();
  child.Start({"--step", "--events", "json"});
  ASSERT_TRUE(child.WaitFor("\"tick\":1,", 15s)) << child.out;
  child.Connect("PC2");  // one too many: disconnected by the maximum
  child.WriteState();
  child.Line();
  child.Line();
  ASSERT_TRUE(child.WaitFor("\"tick\":3,", 15s)) << child.out;
  ASSERT_EQ(child.Finish(), 0);
  EXPECT_NE(child.out.find("\"rule\":\"maximum_users\""), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("\"status\":\"program_exited\""), std::string::npos);
  std::ofstream(child.Dir() + "/events.jsonl") << child.out;
  const ProcessResult check = ProcessRunner::Run(
      {"python3", std::string(QM_SOURCE_DIR) + "/tests/observe/integration/validate_events.py",
       std::string(QM_SOURCE_DIR) + "/docs/events.schema.json", child.Dir() + "/events.jsonl"});
  EXPECT_TRUE(check.Succeeded()) << check.out << check.err;
}

}  // namespace
}  // namespace qm::test
