// vantrels-doctor as a player runs it, in scratch homes (HOME and XDG_CONFIG_HOME, LOCALAPPDATA on
// Windows) that reproduce each reason for missing trackers, read through --json.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <process.h>
#else
#include <gnu/libc-version.h>
#include <sys/prctl.h>
#include <unistd.h>
#endif

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "checks.h"
#include "elf_versions.h"
#include "support/datagrams.h"
#include "support/temp_dir.h"
#include "support/tool_run.h"
#include "support/udp_peer.h"

namespace vantrels {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::WriteFile;

const char *const kIds[] = {"steamvr", "registered", "folder", "library", "model", "enabled", "port", "server", "log"};
const std::optional<bool> kNotApplicable;

#if defined(_WIN32)
const char *const kLibrary = "bin/win64/driver_vantrels.dll";
int Pid() {
  return _getpid();
}
std::string Glibc() {
  return "";
}
void SetEnv(const char *name, const std::string &value) {
  _putenv_s(name, value.c_str());
}
#else
const char *const kLibrary = "bin/linux64/driver_vantrels.so";
int Pid() {
  return getpid();
}
std::string Glibc() {
  return gnu_get_libc_version();
}
void SetEnv(const char *name, const std::string &value) {
  value.empty() ? unsetenv(name) : setenv(name, value.c_str(), 1);
}
#endif

using testing::FinishTool;
using testing::StartTool;
using testing::ToolRun;

// A home with SteamVR, its settings and its log, and a copy of the built driver folder registered.
struct Home {
  testing::TempDir dir;
  fs::path driver = dir.path() / "drivers" / "vantrels";
  uint16_t port = testing::FreePort();
  json paths;
  std::string rawPaths;                     // written instead of `paths` when set
  fs::path override;                        // VR_PATHREG_OVERRIDE: where openvrpaths.vrpath is instead
  std::vector<std::shared_ptr<void>> held;  // kept until the doctor has run

  Home() {
    fs::create_directories(dir.path() / "SteamVR");
    fs::create_directories(driver.parent_path());
    fs::copy(VANTRELS_DRIVER_DIR, driver, fs::copy_options::recursive);
    paths = {{"jsonid", "vrpathreg"},
             {"runtime", {(dir.path() / "SteamVR").string()}},
             {"config", {(dir.path() / "config").string()}},
             {"log", {(dir.path() / "logs").string()}},
             {"external_drivers", {driver.string()}}};
    Settings("{\"driver_vantrels\": {\"port\": " + std::to_string(port) + "}}");
    Log("Fri - vantrels: [Vantrels] Listening for the Vantrels server on 127.0.0.1:" + std::to_string(port) + "\n");
  }
  void Settings(const std::string &text) { WriteFile(dir.path() / "config" / "steamvr.vrsettings", text); }
  void Log(const std::string &text) { WriteFile(dir.path() / "logs" / "vrserver.txt", text); }
  std::string Fill(std::string text) const {
    for (const auto &[key, value] : std::map<std::string, std::string>{
             {"{port}", std::to_string(port)}, {"{pid}", std::to_string(Pid())}, {"{driver}", driver.string()}}) {
      for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    }
    return text;
  }
  ToolRun Doctor(const std::string &arguments) {
    if (!rawPaths.empty() || !paths.is_null()) {
      WriteFile(override.empty() ? dir.path() / "openvr" / "openvrpaths.vrpath" : override,
                rawPaths.empty() ? paths.dump() : rawPaths);
    }
    SetEnv("HOME", (dir.path() / "home").string());
    SetEnv("XDG_CONFIG_HOME", dir.path().string());
    SetEnv("LOCALAPPDATA", dir.path().string());
    SetEnv("VR_PATHREG_OVERRIDE", override.string());
    return FinishTool(StartTool("vantrels-doctor", Fill(arguments), false));
  }
};

json Check(const json &report, const std::string &id) {
  for (const json &c : report["checks"])
    if (c["id"] == id) return c;
  return json();
}

// Every GLIBC_2.x name of the library's version needs that is long enough becomes GLIBC_2.99.
void NeedNewerGlibc(const fs::path &library) {
  std::ifstream in(library, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t at = 0; (at = bytes.find("GLIBC_2.", at)) != std::string::npos; ++at) {
    const size_t length = bytes.find('\0', at) - at;
    if (length >= 10 && length <= 12) bytes.replace(at, length, std::string("GLIBC_2.99").append(length - 10, '\0'));
  }
  WriteFile(library, bytes);
}

struct Scenario {
  const char *name;
  std::function<void(Home &)> cause;
  std::map<std::string, std::optional<bool>> verdicts;  // where they differ from a healthy home's
  std::map<std::string, std::string> says;              // text in a check's summary or fix
  std::string arguments = "";
  bool posixOnly = false;
};

// Checks that have nothing to look at once no driver folder is known.
std::map<std::string, std::optional<bool>> NoFolder(std::map<std::string, std::optional<bool>> verdicts) {
  for (const char *id : {"folder", "library", "model"}) verdicts.emplace(id, kNotApplicable);
  return verdicts;
}
const auto kNoSteamVr =
    NoFolder({{"steamvr", false}, {"registered", false}, {"enabled", kNotApplicable}, {"log", kNotApplicable}});

const std::vector<Scenario> kScenarios = {
    {"healthy",
     [](Home &) {},
     {},
     {{"port", "port {port} on 127.0.0.1 (from"}, {"library", "returns the provider"}, {"log", "Listening for the"}}},
    {"SteamVR in a Steam library",
     [](Home &h) {
       h.paths.erase("runtime");
       WriteFile(
           h.dir.path() / "home/.local/share/Steam/steamapps/libraryfolders.vdf",
           "\"libraryfolders\"\n{\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + (h.dir.path() / "games").string() + "\"\n");
       fs::create_directories(h.dir.path() / "games/steamapps/common/SteamVR");
     },
     {},
     {{"steamvr", "games/steamapps/common/SteamVR\""}},
     "",
     true},
    {"no path registry",
     [](Home &h) { h.paths = nullptr; },
     kNoSteamVr,
     {{"registered", "does not exist"}},
     "--port {port}"},
    {"malformed path registry",
     [](Home &h) { h.rawPaths = "{\"external_drivers\": ["; },
     kNoSteamVr,
     {{"registered", "not valid JSON"}},
     "--port {port}"},
    {"path registry moved",
     [](Home &h) { h.override = h.dir.path() / "elsewhere.vrpath"; },
     {},
     {{"registered", "elsewhere.vrpath\""}}},
    {"runtime not a list",
     [](Home &h) { h.paths["runtime"] = 5; },
     {{"steamvr", false}},
     {{"steamvr", "\"runtime\" in \""}, {"registered", "registered once"}}},
    {"external_drivers not a list",
     [](Home &h) { h.paths["external_drivers"] = "x"; },
     NoFolder({{"registered", false}}),
     {{"registered", "not a list"}}},
    {"an entry that is not a folder name",
     [](Home &h) { h.paths["external_drivers"].push_back(5); },
     {{"registered", false}},
     {{"registered", "entry 2 is the number 5"}}},
    {"registered twice",
     [](Home &h) { h.paths["external_drivers"].push_back(h.driver.string() + "/"); },
     {{"registered", false}},
     {{"registered", "registered 2 times"}}},
    {"two driver folders",
     [](Home &h) {
       fs::create_directories(h.dir.path() / "old");
       fs::copy(h.driver, h.dir.path() / "old" / "vantrels", fs::copy_options::recursive);
       h.paths["external_drivers"].push_back((h.dir.path() / "old" / "vantrels").string());
     },
     {{"registered", false}},
     {{"registered", "2 Vantrels driver folders"}}},
    {"registered folder gone",
     [](Home &h) { fs::remove_all(h.driver); },
     {{"registered", false}, {"folder", false}, {"library", kNotApplicable}, {"model", kNotApplicable}},
     {{"registered", "does not exist"}}},
    {"registered entry is a file",
     [](Home &h) {
       fs::remove_all(h.driver);
       WriteFile(h.driver, "x");
     },
     {{"registered", false}, {"folder", false}, {"library", kNotApplicable}, {"model", kNotApplicable}},
     {{"registered", "is not a folder"}}},
    {"not registered",
     [](Home &h) { h.paths["external_drivers"] = json::array(); },
     NoFolder({{"registered", false}}),
     {{"registered", "No Vantrels driver folder"}}},
    {"an unregistered folder given",
     [](Home &h) { h.paths["external_drivers"] = json::array(); },
     {{"registered", kNotApplicable}},
     {{"registered", "is not registered"}},
     "--driver '{driver}'"},
    {"folder named otherwise",
     [](Home &h) {
       fs::rename(h.driver, h.dir.path() / "drivers" / "vantrels-1.0");
       h.paths["external_drivers"] = {(h.dir.path() / "drivers" / "vantrels-1.0").string()};
     },
     {{"folder", false}},
     {{"folder", "is called \"vantrels-1.0\""}}},
    {"library missing",
     [](Home &h) { fs::remove(h.driver / kLibrary); },
     {{"folder", false}, {"library", kNotApplicable}},
     {{"folder", kLibrary}}},
    {"manifest broken",
     [](Home &h) { WriteFile(h.driver / "driver.vrdrivermanifest", "{"); },
     {{"folder", false}},
     {{"folder", "not valid JSON"}}},
    {"library crashes",
     [](Home &h) {
       fs::copy_file(VANTRELS_CRASHING_DRIVER, h.driver / kLibrary, fs::copy_options::overwrite_existing);
     },
     {{"library", false}},
     {{"library", "crashed in HmdDriverFactory"}}},
    {"library needs a newer glibc",
     [](Home &h) { NeedNewerGlibc(h.driver / kLibrary); },
     {{"library", false}},
     {{"library", "It needs glibc 2.99 or later (GLIBC_2.99); this system has glibc " + Glibc() + "."}},
     "",
     true},
    {"render model broken",
     [](Home &h) { fs::remove(h.driver / "resources/rendermodels/vantrel/vantrel.png"); },
     {{"model", kNotApplicable}},
     {{"model", "fallback tracker model"}}},
    {"switched off",
     [](Home &h) { h.Settings(h.Fill(R"({"driver_vantrels": {"port": {port}, "enable": false}})")); },
     {{"enabled", false}},
     {{"enabled", "Manage Add-ons"}}},
    {"blocked by safe mode",
     [](Home &h) { h.Settings(h.Fill(R"({"driver_vantrels": {"port": {port}, "blocked_by_safe_mode": true}})")); },
     {{"enabled", false}},
     {{"enabled", "remove \"blocked_by_safe_mode\""}}},
    {"settings malformed",
     [](Home &h) { h.Settings(R"({"driver_vantrels": )"); },
     {{"enabled", false}},
     {{"enabled", "not valid JSON"}},
     "--port {port}"},
    {"port setting not a number",
     [](Home &h) {
       h.Settings(R"({"driver_vantrels": {"port": "abc"}})");
       WriteFile(h.driver / "resources/settings/default.vrsettings",
                 h.Fill(R"({"driver_vantrels": {"port": {port}}})"));
     },
     {{"port", false}},
     {{"port", "is the text \"abc\", not a port number"}}},
    {"port held by another program",
     [](Home &h) {
       auto peer = std::make_shared<testing::UdpPeer>("127.0.0.1", h.port);
       peer->SendTo(h.port, {0});  // under Wine the program has the socket's file once it has used it
       h.held.push_back(peer);
     },
     {{"port", false}, {"server", kNotApplicable}},
     {{"port", "held by vantrels_doctor"}, {"server", "see port"}}},
#if !defined(_WIN32)
    {"port held by SteamVR's server",
     [](Home &h) {
       h.held.push_back(std::make_shared<testing::UdpPeer>("127.0.0.1", h.port));
       prctl(PR_SET_NAME, "vrserver");
       h.held.push_back(std::shared_ptr<void>(nullptr, [](void *) { prctl(PR_SET_NAME, "vantrels_doctor"); }));
     },
     {{"server", kNotApplicable}},
     {{"port", "SteamVR's server, vrserver (pid {pid}"}, {"server", "see log"}},
     "",
     true},
#endif
    {"SteamVR could not load the driver",
     [](Home &h) { h.Log("Fri - Unable to load driver vantrels because of error 103\n"); },
     {{"log", false}},
     {{"log", "\n  Fri - Unable to load driver vantrels because of error 103"}}},
    {"no line of the driver",
     [](Home &h) { h.Log("Fri - Loaded server driver other\n"); },
     {{"log", false}},
     {{"log", "no line of the driver"}}},
    {"log folder missing",
     [](Home &h) { fs::remove_all(h.dir.path() / "logs"); },
     {{"log", false}},
     {{"log", "does not exist"}}},
};

// Each cause fails its own check (or leaves the ones after it nothing to look at) and no other,
// every failure says what to do, and the exit status follows.
TEST(Doctor, EachCauseShowsInItsOwnCheck) {
  for (const Scenario &s : kScenarios) {
#if defined(_WIN32)
    if (s.posixOnly) continue;
#endif
    SCOPED_TRACE(s.name);
    Home home;
    s.cause(home);
    const ToolRun run = home.Doctor("--json --listen 0.2 " + s.arguments);
    const json report = json::parse(run.output, nullptr, false);
    ASSERT_TRUE(report.is_object() && report.size() == 2 && report["checks"].size() == 9) << run.output;
    bool failed = false;
    for (size_t i = 0; i < 9; ++i) {
      const json &c = report["checks"][i];
      const auto verdict = s.verdicts.find(kIds[i]);
      const std::optional<bool> expected =
          verdict != s.verdicts.end() ? verdict->second : std::optional<bool>(i != 7);  // nothing sends
      EXPECT_EQ(c["id"], kIds[i]);
      EXPECT_EQ(c.size(), 4u);
      EXPECT_EQ(c["ok"], expected ? json(*expected) : json()) << c.dump(1);
      failed |= c["ok"] == false;
      if (c["ok"] == false) {
        EXPECT_NE(c["fix"], "") << c.dump(1);
      }
    }
    EXPECT_EQ(report["ok"], !failed);
    EXPECT_EQ(run.exitCode, failed ? 1 : 0);
    for (const auto &[id, text] : s.says) {
      const json c = Check(report, id);
      EXPECT_NE((c["summary"].get<std::string>() + c["fix"].get<std::string>()).find(home.Fill(text)),
                std::string::npos)
          << text << "\n"
          << c.dump(1);
    }
  }
}

// A real tracking server (the simulator) and a stray sender on the driver's port: every check passes.
TEST(Doctor, SummarisesWhatATrackingServerSends) {
  Home home;
  FILE *sim = StartTool("vantrels-sim", home.Fill("--port {port} --seconds 5 --rate 50 --follow-headset off"));
  std::atomic<bool> done{false};
  std::thread stray([&] {
    testing::UdpPeer peer;
    for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(100))) peer.SendTo(home.port, {'x', 'y'});
  });
  const ToolRun run = home.Doctor("--json --listen 2");
  done = true;
  stray.join();
  FinishTool(sim);
  const json report = json::parse(run.output, nullptr, false);
  ASSERT_TRUE(report.is_object()) << run.output;
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(report["ok"], true);
  const std::string server = Check(report, "server")["summary"];
  for (const char *text :
       {"POSES messages per second on 127.0.0.1:", " from 127.0.0.1:", "(version 4)", "20 body points: Head, Chest",
        "Right Shin", "0 invalid records", "shorter than the 8-byte header"}) {
    EXPECT_NE(server.find(text), std::string::npos) << text << "\n" << server;
  }
}

TEST(Doctor, PrintsALinePerCheckAndWhatToDo) {
  Home home;
  const ToolRun run = home.Doctor("--listen 0.2");
  EXPECT_EQ(run.exitCode, 1);
  for (const char *text : {"\xE2\x9C\x93 steamvr    SteamVR: ", "\n\xE2\x9C\x97 server     Nothing arrived",
                           "\nWhat to do:\n\xE2\x9C\x97 server: Start the tracking server", "1 of 9 checks failed"}) {
    EXPECT_NE(run.output.find(text), std::string::npos) << text << "\n" << run.output;
  }
  for (const char *arguments : {"--port 0", "--port 65536", "--listen 0", "--listen x", "--bogus", "--driver"}) {
    EXPECT_EQ(home.Doctor(arguments).exitCode, 2) << arguments;
  }
}

TEST(DoctorServer, SaysWhatArrivesAndWhyTheDriverWouldDropIt) {
  auto poses = [](std::vector<testing::Record> records, uint8_t version = 4) {
    testing::Poses p;
    p.version = version;
    p.records = std::move(records);
    return p.Bytes();
  };
  testing::Record foot{5}, unknown{25}, broken{6}, lost{7, 0};
  broken.position[0] = std::nanf("");
  std::vector<uint8_t> report = poses({}), newer = poses({}), cut = poses({foot});
  report[5] = 2;
  newer[4] = 5;
  cut.pop_back();
  using doctor::PortState;
  struct Row {
    std::vector<std::pair<std::vector<uint8_t>, std::string>> datagrams;
    PortState state;
    std::string error;
    std::optional<bool> ok;
    std::vector<std::string> says;
  };
  const std::vector<Row> rows = {
      {{{poses({foot, unknown, broken, lost}), "127.0.0.1:1"}, {poses({foot}, 1), "127.0.0.1:1"}},
       PortState::Free,
       "",
       true,
       {"1.0 POSES messages per second on 127.0.0.1:9 from 127.0.0.1:1 (version 1, 4)",
        "2 body points: Left Foot, Left Elbow", "2 invalid records of 5, 1 marked not tracked",
        "no datagram rejected"}},
      {{{report, "a"},
        {newer, "a"},
        {cut, "a"},
        {std::vector<uint8_t>(2049), "a"},
        {{'V'}, "a"},
        {{'x', 'x', 'x', 'x', 4, 1, 0, 0}, "a"}},
       PortState::Free,
       "",
       false,
       {"6 datagrams arrived", "1 host pose reports (type 2)", "1 of version 5", "1 shorter than their record count",
        "1 longer than the 2048 bytes", "1 shorter than the 8-byte header", "1 without the VNTR magic"}},
      {{{poses({}), "127.0.0.1:1"}, {poses({}), "127.0.0.1:2"}},
       PortState::Free,
       "",
       true,
       {"no body points yet", "several senders"}},
      {{}, PortState::Free, "", false, {"Nothing arrived on 127.0.0.1:9 in 2 s"}},
      {{}, PortState::Unknown, "in use", false, {"Could not listen on 127.0.0.1:9: in use"}},
      {{}, PortState::SteamVr, "", kNotApplicable, {"see log"}},
      {{}, PortState::Taken, "", kNotApplicable, {"see port"}},
  };
  for (const Row &row : rows) {
    doctor::Listening listening{row.error, 2.0, {}};
    for (const auto &[bytes, sender] : row.datagrams) {
      doctor::CountDatagram(listening.traffic, bytes.data(), bytes.size(), sender);
    }
    const doctor::CheckResult result = doctor::CheckServer(9, row.state, listening);
    EXPECT_EQ(result.ok, row.ok) << result.summary;
    for (const std::string &text : row.says)
      EXPECT_NE(result.summary.find(text), std::string::npos) << text << "\n" << result.summary;
  }
}

TEST(DoctorLog, QuotesTheLastStartAndEveryLoadFailure) {
  testing::TempDir dir;
  const std::string start = "Fri - vantrels: [Vantrels] Listening for the Vantrels server on 127.0.0.1:21110\r\n";
  std::string long_ = start;
  for (int i = 0; i < 40; ++i) long_ += "[Vantrels] Added tracker " + std::to_string(i) + "\n";
  struct Row {
    std::string text;
    bool ok;
    std::vector<std::string> says, never;
  };
  const std::vector<Row> rows = {
      {start + "[Vantrels] Added tracker A\n" + start + "[Vantrels] Added tracker B\nUnable to load driver other\n" +
           "Loaded server driver vantrels from x\n",
       true,
       {"Added tracker B"},
       {"Added tracker A", "\r", "other", "Loaded"}},
      {"Fri - vantrels: [Vantrels] Could not open UDP port 21110 (is it in use?)\n",
       false,
       {"Could not open UDP port"},
       {}},
      {start + "Fri - Driver 'vantrels' failed to initialise\n", false, {"Driver 'vantrels' failed"}, {}},
      {start + "x/linux64/driver_vantrels.so: version `GLIBC_2.34' not found\n", false, {"GLIBC_2.34"}, {}},
      {long_, true, {"Added tracker 28", "(and 11 more lines)"}, {"Added tracker 29"}},
  };
  for (const Row &row : rows) {
    const doctor::CheckResult result = doctor::CheckLog({dir.path(), "given", row.text, ""});
    EXPECT_EQ(result.ok, row.ok) << result.summary;
    for (const std::string &text : row.says)
      EXPECT_NE(result.summary.find(text), std::string::npos) << text << "\n" << result.summary;
    for (const std::string &text : row.never)
      EXPECT_EQ(result.summary.find(text), std::string::npos) << text << "\n" << result.summary;
  }
}

TEST(DoctorSettings, PortAndSwitchesAsTheDriverAndSteamVrReadThem) {
  auto settings = [](const char *section) {
    doctor::DriverSettings s;
    s.file = "steamvr.vrsettings";
    s.located = s.exists = true;
    s.section = json::parse(section);
    return s;
  };
  struct PortRow {
    std::optional<uint16_t> given;
    const char *user, *defaults;
    uint16_t port;
    bool problem;
  };
  for (const PortRow &r :
       std::vector<PortRow>{{std::nullopt, R"({"port": 21111.0})", R"({"port": 21112})", 21111, false},
                            {std::nullopt, R"({"port": 70000})", R"({"port": 21112})", 21112, true},
                            {std::nullopt, R"({"port": 2.5})", "null", 21110, true},
                            {std::nullopt, "{}", "{}", 21110, false},
                            {5, R"({"port": 21111})", "{}", 5, false}}) {
    const doctor::PortChoice choice = doctor::ChoosePort(r.given, settings(r.user), settings(r.defaults));
    EXPECT_EQ(choice.port, r.port) << r.user;
    EXPECT_EQ(choice.problem.empty(), !r.problem) << r.user;
  }
  for (const auto &[section, ok] :
       std::vector<std::pair<const char *, bool>>{{R"({"enable": true, "blocked_by_safe_mode": false})", true},
                                                  {R"({"enable": "no"})", false},
                                                  {R"({"blocked_by_safe_mode": 1})", false},
                                                  {"null", true}}) {
    EXPECT_EQ(doctor::CheckEnabled(settings(section)).ok, ok) << section;
  }
}

TEST(DoctorLibrary, ReadsTheGlibcVersionsALibraryNeeds) {
  EXPECT_LT(doctor::CompareVersions("2.2.5", "2.17"), 0);
  EXPECT_GT(doctor::CompareVersions("2.34", "2.4"), 0);
  EXPECT_EQ(doctor::CompareVersions("2.17", "2.17.0"), 0);
  EXPECT_EQ(doctor::HighestGlibc({{"libc.so.6", "GLIBC_2.2.5"},
                                  {"libm.so.6", "GLIBC_2.29"},
                                  {"libc.so.6", "GLIBC_PRIVATE"},
                                  {"libgcc_s.so.1", "GCC_3.0"}}),
            "2.29");
#if !defined(_WIN32)
  std::ifstream in(fs::path(VANTRELS_DRIVER_DIR) / kLibrary, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The same needs as binutils reads.
  std::string expected, got;
  FILE *readelf = popen(("readelf -V '" + (fs::path(VANTRELS_DRIVER_DIR) / kLibrary).string() + "'").c_str(), "r");
  char line[512];
  for (std::string file; readelf != nullptr && std::fgets(line, sizeof line, readelf) != nullptr;) {
    char word[256];
    if (std::sscanf(line, " %*[^:]: Version: 1 File: %255s", word) == 1) file = word;
    if (std::sscanf(line, " %*[^:]: Name: %255s", word) == 1) expected += file + " " + word + "\n";
  }
  if (readelf != nullptr) pclose(readelf);
  for (const doctor::VersionNeed &n : doctor::ReadVersionNeeds(bytes)) got += n.file + " " + n.version + "\n";
  EXPECT_NE(got.find("libc.so.6 GLIBC_2."), std::string::npos) << got;
  EXPECT_EQ(got, expected);
  // Damaged copies are read without a step outside them (the sanitizers watch).
  for (size_t size : {size_t{0}, size_t{63}, bytes.size() / 2, bytes.size() - 1}) {
    doctor::ReadVersionNeeds(std::string_view(bytes).substr(0, size));
  }
  for (size_t i = 64; i < bytes.size(); i += 97) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  doctor::ReadVersionNeeds(bytes);
#endif
}

}  // namespace
}  // namespace vantrels
